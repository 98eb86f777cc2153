#include "cli/extract_command.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/address_reader.h"
#include "cli/extract_options.h"
#include "cli/json_page_writer.h"
#include "cli/progress_display.h"
#include "cli/row_writers.h"
#include "cli/stderr_reporter.h"
#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/file_routines.h"
#include "common/open_file_limit.h"
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

// ---- The run ----------------------------------------------------------------

struct RunResult {
  bool allFound = true;
  bool errorReportShown = false;  // rows of a page may be missing
  bool lineSkipped = false;
};

// Pages started ahead of the one whose rows come next: enough to keep every
// connection busy while a slow page holds up the order. One job at a time
// keeps to one page file and one page at a time.
size_t PagesAhead(int jobs) { return jobs == 1 ? 0 : 2 * static_cast<size_t>(jobs); }

DownloadSettings SettingsFor(const ExtractOptions& options) {
  DownloadSettings settings;
  settings.jobs = options.jobs;
  settings.perHost = options.perHost;
  return settings;
}

// The engine's messages go to standard error; a page not found goes to the
// writer too, which may record it in the output.
class RunReporter : public EngineReporter {
 public:
  RunReporter(ProgressDisplay& progress, PageWriter& writer) : stderr_(progress), writer_(writer) {}
  void UrlNotFound(std::string_view pageUrl, std::string_view reason) override {
    writer_.PageNotFound(pageUrl, reason);
    stderr_.UrlNotFound(pageUrl, reason);
  }
  void ShowErrorReport(const std::string& text) override { stderr_.ShowErrorReport(text); }
  bool ShowedErrorReport() const { return stderr_.ShowedErrorReport(); }

 private:
  StderrReporter stderr_;
  PageWriter& writer_;
};

// Hands the list's addresses to the engine in order, with up to PagesAhead
// of them downloading ahead, and each page's rows to the writer as soon as
// its turn has come.
class ExtractionLoop {
 public:
  ExtractionLoop(AddressReader& addresses, PageWriter& writer, const ExtractOptions& options,
                 bool showProgress)
      : addresses_(addresses),
        writer_(writer),
        pagesAhead_(PagesAhead(options.jobs)),
        downloader_(SettingsFor(options)),
        progress_(STDERR_FILENO, showProgress),
        reporter_(progress_, writer),
        counter_(writer),
        engine_(downloader_, reporter_, [this] { OnYield(); }) {
    gProgressShown = showProgress;
  }

  ~ExtractionLoop() { gProgressShown = 0; }

  RunResult Run() {
    RunResult result;
    std::string address;
    while (NextAddress(address)) {
      progress_.StartPage(++pageNumber_, KnownPageCount(), address, counter_.rows());
      writer_.BeginPage(address);
      if (!engine_.GetUrls(counter_, address, kRunPageFile)) result.allFound = false;
      if (!writer_.EndPage()) break;  // nobody reads the rows any more
    }
    engine_.CancelPrefetches();
    progress_.Clear();
    result.errorReportShown = reporter_.ShowedErrorReport();
    result.lineSkipped = addresses_.HadTrouble();
    return result;
  }

 private:
  // The next address in list order: one started ahead, else one read now
  // (waiting for the list when it has none yet).
  bool NextAddress(std::string& address) {
    while (ahead_.empty()) {
      std::string next;
      const AddressReader::Status status = addresses_.Next(next, true);
      if (status == AddressReader::Status::kEnd) return false;
      if (status == AddressReader::Status::kAddress) Queue(std::move(next));
      progress_.Tick(counter_.rows());
    }
    TopUp();
    address = std::move(ahead_.front());
    ahead_.pop_front();
    return true;
  }

  void Queue(std::string address) {
    if (pagesAhead_ > 0) engine_.Prefetch(address, kRunPageFile);
    ahead_.push_back(std::move(address));
  }

  // Starts more pages while the list has addresses ready.
  void TopUp() {
    std::string next;
    while (ahead_.size() < pagesAhead_ &&
           addresses_.Next(next, false) == AddressReader::Status::kAddress) {
      Queue(std::move(next));
    }
  }

  void OnYield() {
    progress_.Tick(counter_.rows());
    TopUp();
  }

  size_t KnownPageCount() const {
    return addresses_.Ended() ? static_cast<size_t>(addresses_.Count()) : 0;
  }

  AddressReader& addresses_;
  PageWriter& writer_;
  size_t pagesAhead_;
  CurlDownloader downloader_;
  ProgressDisplay progress_;
  RunReporter reporter_;
  CountingRowSink counter_;
  ExtractLinks engine_;
  std::deque<std::string> ahead_;
  size_t pageNumber_ = 0;
};

int ExitStatusOf(const RunResult& run) {
  const bool whole = run.allFound && !run.errorReportShown && !run.lineSkipped;
  return whole ? kExitAllFound : kExitSomeNotFound;
}

// A reader that went away ends the run at once and quietly, as for any
// command in a pipeline: die of SIGPIPE like one, unless it was ignored.
[[noreturn]] void EndLikeABrokenPipe(bool sigpipeIgnoredAtStart) {
  RemovePrivateTempFolder();
  if (!sigpipeIgnoredAtStart) {
    ::signal(SIGPIPE, SIG_DFL);
    ::raise(SIGPIPE);
  }
  ::_exit(kExitTrouble);
}

// The writer of the output format the options choose.
std::unique_ptr<PageWriter> MakeWriter(const ExtractOptions& options, PageWriter::WriteFn write) {
  if (options.json) return std::make_unique<JsonPageWriter>(std::move(write));
  if (options.outputFile.empty()) {
    return std::make_unique<RowWriter>(RowWriter::Format::kLines,
                                       options.nullTerminated ? '\0' : '\n', std::move(write));
  }
  return std::make_unique<RowWriter>(
      options.csv ? RowWriter::Format::kCsvFile : RowWriter::Format::kTextFile, '\n',
      std::move(write));
}

int ExtractToStandardOutput(AddressReader& addresses, const ExtractOptions& options,
                            bool showProgress, bool sigpipeIgnoredAtStart) {
  int writeErrno = 0;
  const auto writer = MakeWriter(options, [&](std::string_view bytes) {
    if (!WriteAllToFd(STDOUT_FILENO, bytes, writeErrno)) FailWithErrno(writeErrno);
  });
  const RunResult run = ExtractionLoop(addresses, *writer, options, showProgress).Run();
  if (writer->Finish()) return ExitStatusOf(run);
  if (writeErrno == EPIPE) EndLikeABrokenPipe(sigpipeIgnoredAtStart);
  PrintProgramMessage("cannot write standard output: " + writer->error());
  return kExitTrouble;
}

int ExtractToFile(AddressReader& addresses, const ExtractOptions& options, bool showProgress) {
  std::optional<SafeFileWriter> file;
  try {
    file.emplace(SafeFileWriter::Open(options.outputFile));
  } catch (const Failure& failure) {
    PrintProgramMessage("cannot write " + options.outputFile + ": " + failure.what());
    return kExitTrouble;
  }
  const auto writer = MakeWriter(options, [&](std::string_view bytes) { file->Write(bytes); });
  const RunResult run = ExtractionLoop(addresses, *writer, options, showProgress).Run();
  if (run.errorReportShown) {
    // The results may lack rows: they must not pass for complete ones.
    PrintProgramMessage(options.outputFile +
                        " is left as it was: after an error report, rows may be missing");
    return kExitSomeNotFound;
  }
  try {
    if (!writer->Finish()) throw Failure(writer->error());
    file->Commit();
  } catch (const Failure& failure) {
    PrintProgramMessage("cannot write " + options.outputFile + ": " + failure.what());
    return kExitTrouble;
  }
  return ExitStatusOf(run);
}

int PrintAndSucceed(std::string_view text) {
  WriteAllIgnoringErrors(STDOUT_FILENO, text);
  return kExitAllFound;
}

bool SignalIgnored(int signal) {
  struct sigaction current {};
  return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

int RunExtractCommand(int argc, char** argv) {
  const bool sigpipeIgnoredAtStart = SignalIgnored(SIGPIPE);
  // A closed pipe on standard output shows up as EPIPE from write().
  ::signal(SIGPIPE, SIG_IGN);
  const ParsedArguments parsed =
      ParseExtractArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    PrintProgramMessage(parsed.error + "\nTry 'verdigo-extract --help' for more information.");
    return kExitTrouble;
  }
  ExtractOptions options = parsed.options;
  if (options.showHelp) return PrintAndSucceed(ExtractUsageText());
  if (options.showVersion) {
    return PrintAndSucceed(std::string(kExtractProgramName) + " " + std::string(ProgramVersion()) +
                           "\n");
  }
  options.jobs = JobsThatFitOpenFiles(options.jobs, PrintProgramMessage);
  AddressReader addresses(options.addresses, options.listFiles);
  if (!addresses.OpenFailures().empty()) {
    for (const std::string& failure : addresses.OpenFailures()) PrintProgramMessage(failure);
    return kExitTrouble;
  }
  RemoveTempFolderOnTerminatingSignals(ClearProgressLine);
  const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  const int status =
      options.outputFile.empty()
          ? ExtractToStandardOutput(addresses, options, showProgress, sigpipeIgnoredAtStart)
          : ExtractToFile(addresses, options, showProgress);
  RemovePrivateTempFolder();
  return status;
}

}  // namespace verdigo
