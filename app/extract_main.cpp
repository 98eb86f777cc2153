#include "cli/extract_command.h"

int main(int argc, char** argv) { return verdigo::RunExtractCommand(argc, argv); }
