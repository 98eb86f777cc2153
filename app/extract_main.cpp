#include "cli/extract_command.h"
#include "common/open_file_limit.h"

int main(int argc, char** argv) {
  // Hundreds of downloads at once need as many descriptors as allowed.
  verdigo::RaiseOpenFileLimit();
  return verdigo::RunExtractCommand(argc, argv);
}
