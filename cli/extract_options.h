#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/download_settings.h"

// The command line of verdigo-extract.
namespace verdigo {

inline constexpr std::string_view kExtractProgramName = "verdigo-extract";

struct ExtractOptions {
  // Addresses given with -u, in order; they come before the lists.
  std::vector<std::string> addresses;
  // In order; "-" is standard input. Empty, with no -u, means standard input.
  std::vector<std::string> listFiles;
  std::string outputFile;  // empty: rows go to standard output
  // Pages read from files (--page; "-" is standard input), before every address.
  std::vector<std::string> pageFiles;
  // The address the --page pages are taken to come from (--base); empty: their files'.
  std::string pageBase;
  // -c: carry on from the rows an interrupted run left for the output file.
  bool continueRun = false;
  bool csv = false;
  bool nullTerminated = false;
  bool json = false;
  bool quiet = false;
  bool showHelp = false;
  bool showVersion = false;
  // How pages are fetched: the defaults, changed by -j, --per-host, -A, -H ...
  DownloadSettings download;
};

struct ParsedArguments {
  ExtractOptions options;
  std::string error;  // why the command line is wrong; empty when it is fine
};

// `args` without the program name. Options follow the GNU conventions: long
// ones may be abbreviated and take "--name=value", short ones may be bundled,
// list files and options may come in any order, "--" ends the options.
// getopt's state is the process's own: one thread at a time.
ParsedArguments ParseExtractArguments(const std::vector<std::string>& args);

std::string ExtractUsageText();

}  // namespace verdigo
