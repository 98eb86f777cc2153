#include "cli/extract_command.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cli/extract_options.h"
#include "cli/progress_display.h"
#include "cli/row_writers.h"
#include "cli/stderr_reporter.h"
#include "common/code_page.h"
#include "common/error_report.h"
#include "common/file_routines.h"
#include "common/list_lines.h"
#include "common/product.h"
#include "common/safe_file_writer.h"
#include "common/temp_folder.h"
#include "engine/curl_downloader.h"
#include "engine/extract_links.h"

namespace verdigo {

namespace {

constexpr int kExitAllFound = 0;
constexpr int kExitSomeNotFound = 1;
constexpr int kExitTrouble = 2;

// ---- Leaving cleanly on Ctrl+C and kill ----------------------------------

volatile sig_atomic_t gProgressShown = 0;

// Runs inside a signal handler: only async-signal-safe calls.
void ClearProgressLine() {
  if (gProgressShown) (void)!::write(STDERR_FILENO, "\r\x1b[K", 4);
}

// ---- Reading the address lists --------------------------------------------

std::string ReadAll(int fd) {
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FailWithErrno(errno);
    if (n == 0) return bytes;
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

std::string ReadListFile(const std::string& name) {
  if (name == "-") return ReadAll(STDIN_FILENO);
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailToOpen(errno, name);
  try {
    std::string bytes = ReadAll(fd);
    ::close(fd);
    return bytes;
  } catch (...) {
    ::close(fd);
    throw;
  }
}

// The addresses of every list, in order; false (after saying why) when a
// list cannot be read.
bool ReadAddresses(std::vector<std::string> listFiles, std::vector<std::string>& addresses) {
  if (listFiles.empty()) listFiles.push_back("-");
  for (const std::string& name : listFiles) {
    try {
      ForEachListLine(ReadListFile(name),
                      [&](std::string_view line) { addresses.emplace_back(line); });
    } catch (const Failure& failure) {
      const std::string shownName = name == "-" ? "standard input" : name;
      PrintProgramMessage("cannot read " + shownName + ": " + failure.what());
      return false;
    }
  }
  return true;
}

// ---- The run ----------------------------------------------------------------

struct RunResult {
  bool allFound = true;
  bool outputFailed = false;
};

RunResult ExtractAll(const std::vector<std::string>& addresses, RowSink& output,
                     const StreamRowWriter* stream, bool showProgress) {
  RunResult result;
  CurlDownloader downloader;
  ProgressDisplay progress(STDERR_FILENO, showProgress);
  gProgressShown = showProgress;
  StderrReporter reporter(progress);
  CountingRowSink counter(output);
  ExtractLinks engine(downloader, reporter, [&] { progress.Tick(counter.rows()); });
  for (size_t i = 0; i < addresses.size(); ++i) {
    progress.StartPage(i + 1, addresses.size(), addresses[i], counter.rows());
    if (!engine.GetUrls(counter, addresses[i], kRunPageFile)) result.allFound = false;
    if (stream != nullptr && stream->error() != 0) {
      result.outputFailed = true;  // nobody reads the rows any more
      break;
    }
  }
  progress.Clear();
  gProgressShown = 0;
  return result;
}

int ExtractToStandardOutput(const std::vector<std::string>& addresses,
                            const ExtractOptions& options, bool showProgress) {
  StreamRowWriter writer(STDOUT_FILENO, options.nullTerminated ? '\0' : '\n');
  const RunResult run = ExtractAll(addresses, writer, &writer, showProgress);
  if (run.outputFailed || !writer.Flush()) {
    PrintProgramMessage("cannot write standard output: " + DescribeErrno(writer.error()));
    return kExitTrouble;
  }
  return run.allFound ? kExitAllFound : kExitSomeNotFound;
}

int ExtractToFile(const std::vector<std::string>& addresses, const ExtractOptions& options,
                  bool showProgress) {
  const std::string& name = options.outputFile;
  try {
    // Opened first, so that a file that cannot be written fails the command
    // before any page is downloaded.
    SafeFileWriter file = SafeFileWriter::Open(name);
    ResultsFileWriter writer(options.csv);
    const RunResult run = ExtractAll(addresses, writer, nullptr, showProgress);
    file.Write(writer.Finish());
    file.Commit();
    return run.allFound ? kExitAllFound : kExitSomeNotFound;
  } catch (const Failure& failure) {
    PrintProgramMessage("cannot write " + name + ": " + failure.what());
    return kExitTrouble;
  }
}

int PrintAndSucceed(std::string_view text) {
  WriteToFd(STDOUT_FILENO, text);
  return kExitAllFound;
}

}  // namespace

int RunExtractCommand(int argc, char** argv) {
  // A closed pipe on standard output shows up as EPIPE from write().
  ::signal(SIGPIPE, SIG_IGN);
  const ParsedArguments parsed =
      ParseExtractArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    PrintProgramMessage(parsed.error + "\nTry 'verdigo-extract --help' for more information.");
    return kExitTrouble;
  }
  const ExtractOptions& options = parsed.options;
  if (options.showHelp) return PrintAndSucceed(ExtractUsageText());
  if (options.showVersion) {
    return PrintAndSucceed(std::string(kExtractProgramName) + " " + std::string(ProgramVersion()) +
                           "\n");
  }
  std::vector<std::string> addresses;
  if (!ReadAddresses(options.listFiles, addresses)) return kExitTrouble;
  RemoveTempFolderOnTerminatingSignals(ClearProgressLine);
  const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  const int status = options.outputFile.empty()
                         ? ExtractToStandardOutput(addresses, options, showProgress)
                         : ExtractToFile(addresses, options, showProgress);
  RemovePrivateTempFolder();
  return status;
}

}  // namespace verdigo
