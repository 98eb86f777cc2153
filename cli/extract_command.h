#pragma once

// verdigo-extract: downloads the pages of address lists through the link
// engine and writes their rows to standard output or a results file.
namespace verdigo {

// Exit status: 0 when every page was downloaded, 1 when some page was not
// found, 2 for a wrong command line or a file that cannot be read or written.
int RunExtractCommand(int argc, char** argv);

}  // namespace verdigo
