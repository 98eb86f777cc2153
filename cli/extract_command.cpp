#include "cli/extract_command.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cli/address_reader.h"
#include "cli/extract_options.h"
#include "cli/json_page_writer.h"
#include "cli/leading_pages.h"
#include "cli/page_sources.h"
#include "cli/progress_display.h"
#include "cli/resumable_output.h"
#include "cli/row_writers.h"
#include "cli/standard_streams.h"
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
  bool outOfMemory = false;  // a page failed for want of memory
  std::string refusal;       // why an earlier run cannot be carried on; nothing was done
};

// Pages started ahead of the one whose rows come next: enough to keep every
// connection busy while a slow page holds up the order. One job at a time
// keeps to one page file and one page at a time.
size_t PagesAhead(int jobs) { return jobs == 1 ? 0 : 2 * static_cast<size_t>(jobs); }

// Memory ran out (the error trap's and the downloader's words): the run's
// trouble rather than the page's.
bool SaysOutOfMemory(std::string_view text) { return text.find("Out of memory") != text.npos; }

// The engine's messages go to standard error; a page not found goes to the
// writer too, which may record it in the output.
class RunReporter : public EngineReporter {
 public:
  RunReporter(ProgressDisplay& progress, PageWriter& writer, int errFd)
      : stderr_(progress, errFd), writer_(writer) {}
  void UrlNotFound(std::string_view pageUrl, std::string_view reason) override {
    outOfMemory_ = outOfMemory_ || SaysOutOfMemory(reason);
    writer_.PageNotFound(pageUrl, reason);
    stderr_.UrlNotFound(pageUrl, reason);
  }
  void ShowErrorReport(const std::string& text) override {
    outOfMemory_ = outOfMemory_ || SaysOutOfMemory(text);
    stderr_.ShowErrorReport(text);
  }
  bool ShowedErrorReport() const { return stderr_.ShowedErrorReport(); }
  bool OutOfMemory() const { return outOfMemory_; }

 private:
  StderrReporter stderr_;
  PageWriter& writer_;
  bool outOfMemory_ = false;
};

// What every part of one run shares.
struct RunContext {
  PageSources& pages;  // read before any listed page
  Downloader& downloader;
  PageFiles& pageFiles;
  ExtractStreams streams;
  bool showProgress;
};

// Hands the list's addresses to the engine in order, with up to PagesAhead
// of them downloading ahead, and each page's rows to the writer as soon as
// its turn has come.
class ExtractionLoop {
 public:
  ExtractionLoop(AddressReader& addresses, PageWriter& writer, const ExtractOptions& options,
                 const RunContext& context, ProgressDisplay& progress,
                 ResumableOutput* journal = nullptr)
      : addresses_(addresses),
        pages_(context.pages),
        journal_(journal),
        writer_(writer),
        pagesAhead_(PagesAhead(options.download.jobs)),
        progress_(progress),
        reporter_(progress_, writer, context.streams.err),
        counter_(writer),
        engine_(
            context.downloader, reporter_, [this] { OnYield(); }, context.pageFiles) {
    gProgressShown = progress.enabled();
  }

  ~ExtractionLoop() { gProgressShown = 0; }

  // Also called whenever the run waits or yields.
  void AlsoOnYield(YieldFn fn) { alsoOnYield_ = std::move(fn); }

  RunResult Run() {
    RunResult result;
    TakeEarlierFlags(result);
    bool writing = RunLeadingPages(result);
    std::string address;
    while (writing && NextAddress(address)) {
      progress_.StartPage(++pageNumber_, KnownPageCount(), address, counter_.rows());
      writer_.BeginPage(address);
      if (!engine_.GetUrls(counter_, address, kRunPageFile)) result.allFound = false;
      // Nobody reads the rows any more, or they cannot be written.
      writing = writer_.EndPage() && PageDone(ResumableOutput::Kind::kListed, address, result);
    }
    engine_.CancelPrefetches();
    progress_.Clear();
    result.errorReportShown = result.errorReportShown || reporter_.ShowedErrorReport();
    result.outOfMemory = reporter_.OutOfMemory();
    result.lineSkipped = result.lineSkipped || addresses_.HadTrouble();
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
      if (alsoOnYield_) alsoOnYield_();
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

  // The pages from files, and the pages an interrupted run has done.
  bool RunLeadingPages(RunResult& result) {
    LeadingPages leading(engine_, pages_, journal_);
    const LeadingPages::Hooks hooks{
        [this](std::string_view address) {
          progress_.StartPage(++pageNumber_, KnownPageCount(), address, counter_.rows());
        },
        [this] { ++pageNumber_; }, [this] { progress_.Tick(counter_.rows()); },
        [&](ResumableOutput::Kind kind, std::string_view address) {
          return PageDone(kind, address, result);
        }};
    const bool goOn = leading.Run(writer_, counter_, reporter_, addresses_, hooks);
    result.allFound = result.allFound && leading.allFound();
    result.refusal = leading.refusal();
    return goOn;
  }

  // What the interrupted run met counts as met by this one.
  void TakeEarlierFlags(RunResult& result) const {
    const std::uint8_t flags = journal_ != nullptr ? journal_->EarlierFlags() : 0;
    result.allFound = (flags & ContinueRecord::kPageNotFound) == 0;
    result.errorReportShown = (flags & ContinueRecord::kErrorReport) != 0;
    result.lineSkipped = (flags & ContinueRecord::kLineSkipped) != 0;
  }

  bool PageDone(ResumableOutput::Kind kind, std::string_view address, const RunResult& result) {
    if (journal_ == nullptr) return true;
    // The earlier runs' flags too: a run killed again must not lose them.
    const bool errorReport = result.errorReportShown || reporter_.ShowedErrorReport();
    const bool lineSkipped = result.lineSkipped || addresses_.HadTrouble();
    const int flags = (result.allFound ? 0 : ContinueRecord::kPageNotFound) |
                      (errorReport ? ContinueRecord::kErrorReport : 0) |
                      (lineSkipped ? ContinueRecord::kLineSkipped : 0);
    return journal_->PageDone(kind, address, static_cast<std::uint8_t>(flags));
  }

  void OnYield() {
    progress_.Tick(counter_.rows());
    TopUp();
    if (alsoOnYield_) alsoOnYield_();
  }

  size_t KnownPageCount() const {
    return addresses_.Ended() ? pages_.pages().size() + static_cast<size_t>(addresses_.Count()) : 0;
  }

  AddressReader& addresses_;
  PageSources& pages_;
  ResumableOutput* journal_;  // null: nothing is carried on or kept for later
  PageWriter& writer_;
  size_t pagesAhead_;
  ProgressDisplay& progress_;
  RunReporter reporter_;
  CountingRowSink counter_;
  ExtractLinks engine_;
  std::deque<std::string> ahead_;
  size_t pageNumber_ = 0;
  YieldFn alsoOnYield_;
};

int ExitStatusOf(const RunResult& run) {
  if (run.outOfMemory) return kExitTrouble;
  const bool whole = run.allFound && !run.errorReportShown && !run.lineSkipped;
  return whole ? kExitAllFound : kExitSomeNotFound;
}

// The writer of the output format the options choose. `nulNotice` is said
// when -0 first writes a NUL inside a row as %00.
std::unique_ptr<PageWriter> MakeWriter(const ExtractOptions& options, PageWriter::WriteFn write,
                                       std::function<void()> nulNotice = {}) {
  if (options.json) return std::make_unique<JsonPageWriter>(std::move(write));
  if (options.csv)
    return std::make_unique<RowWriter>(RowWriter::Format::kCsvFile, '\n', std::move(write));
  if (options.outputFile.empty()) {
    auto lines = std::make_unique<RowWriter>(
        RowWriter::Format::kLines, options.nullTerminated ? '\0' : '\n', std::move(write));
    if (nulNotice) lines->OnFirstNulReplaced(std::move(nulNotice));
    return lines;
  }
  return std::make_unique<RowWriter>(RowWriter::Format::kTextFile, '\n', std::move(write));
}

// Thrown from the run's yield when the reader of the rows has gone, to end
// the wait for a page at once. Not a std::exception: no error trap of the
// engine takes it for the page's own failure.
struct ReaderGone {};

ExtractOutcome ExtractToStream(AddressReader& addresses, const ExtractOptions& options,
                               const RunContext& context) {
  int writeErrno = 0;
  // The rows may share the progress line's terminal: they go out through it.
  ProgressDisplay progress(context.streams.err, context.showProgress, context.streams.out);
  const auto writer = MakeWriter(
      options,
      [&](std::string_view bytes) {
        if (!progress.WriteOutput(bytes, writeErrno)) FailWithErrno(writeErrno);
      },
      [&] {
        progress.Clear();
        PrintProgramMessage(kNulInRowNotice, context.streams.err);
      });
  RunResult run;
  try {
    ExtractionLoop loop(addresses, *writer, options, context, progress);
    ReaderWatch reader(context.streams.out);
    loop.AlsoOnYield([&] {
      if (reader.Gone()) throw ReaderGone{};
    });
    run = loop.Run();
  } catch (const ReaderGone&) {
    context.downloader.CancelAll();  // the page waited for, too
    return {kExitTrouble, true};
  }
  if (writer->Finish()) return {ExitStatusOf(run)};
  if (writeErrno == EPIPE) return {kExitTrouble, true};
  PrintProgramMessage("cannot write standard output: " + writer->error(), context.streams.err);
  return {kExitTrouble};
}

ContinueRecord::Format RecordFormatOf(const ExtractOptions& options) {
  if (options.json) return ContinueRecord::Format::kJson;
  return options.csv ? ContinueRecord::Format::kCsv : ContinueRecord::Format::kText;
}

// A file beside the target that a later run can carry on where it can be
// made; otherwise (a device, a FIFO ...) the target written in place, which
// cannot be carried on. Messages go to `err`; both empty when it failed.
struct ResultsFile {
  std::unique_ptr<ResumableOutput> resumable;
  std::optional<SafeFileWriter> inPlace;
};

bool OpenResultsFile(const ExtractOptions& options, int err, ResultsFile& into) {
  try {
    into.resumable = ResumableOutput::Open(options.outputFile, RecordFormatOf(options),
                                           options.continueRun, err);
  } catch (const Failure& failure) {
    PrintProgramMessage(failure.what(), err);
    return false;
  }
  if (into.resumable) return true;
  try {
    into.inPlace.emplace(SafeFileWriter::Open(options.outputFile));
  } catch (const Failure& failure) {
    PrintProgramMessage("cannot write " + options.outputFile + ": " + failure.what(), err);
    return false;
  }
  if (!options.continueRun) return true;
  PrintProgramMessage("cannot carry on " + options.outputFile +
                          ": it is written in place, with nothing kept beside it",
                      err);
  return false;
}

ExtractOutcome ExtractToFile(AddressReader& addresses, const ExtractOptions& options,
                             const RunContext& context) {
  const int err = context.streams.err;
  ResultsFile file;
  if (!OpenResultsFile(options, err, file)) return {kExitTrouble};
  const auto writer = MakeWriter(options, [&](std::string_view bytes) {
    if (file.resumable) {
      file.resumable->Write(bytes);
    } else {
      file.inPlace->Write(bytes);
    }
  });
  ProgressDisplay progress(context.streams.err, context.showProgress);
  const RunResult run =
      ExtractionLoop(addresses, *writer, options, context, progress, file.resumable.get()).Run();
  if (!run.refusal.empty()) {
    PrintProgramMessage(run.refusal, err);
    return {kExitTrouble};
  }
  if (run.errorReportShown) {
    if (file.resumable) file.resumable->Discard();
    // The results may lack rows: they must not pass for complete ones.
    PrintProgramMessage(
        options.outputFile + " is left as it was: after an error report, rows may be missing", err);
    return {run.outOfMemory ? kExitTrouble : kExitSomeNotFound};
  }
  try {
    if (!writer->Finish()) throw Failure(writer->error());
    if (file.resumable) {
      file.resumable->Commit();
    } else {
      file.inPlace->Commit();
    }
  } catch (const Failure& failure) {
    PrintProgramMessage("cannot write " + options.outputFile + ": " + failure.what(), err);
    return {kExitTrouble};
  }
  return {ExitStatusOf(run)};
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

// Why the file at `path` cannot be read; empty when it can. The downloader
// reads the cookie and certificate files only later, and libcurl passes over
// one it cannot read without a word.
std::string WhyUnreadable(const std::string& path) {
  // O_NONBLOCK: a FIFO that nobody writes into must not hold the start up.
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid()) return DescribeOpenFailure(errno, path);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return DescribeErrno(errno);
  if (S_ISDIR(status.st_mode)) return DescribeErrno(EISDIR);
  return {};
}

// libcurl loads the certificate file only for the first https page, and one
// that holds no certificate then fails each such page alike; it takes PEM
// alone. A file that is not a regular one, or too large to look through, is
// left to libcurl.
bool MayHoldCertificates(const std::string& path) {
  constexpr std::uint64_t kLargestLookedThrough = 64ull << 20;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return true;
  try {
    return ReadWholeFile(path, kLargestLookedThrough).find("CERTIFICATE-----") != std::string::npos;
  } catch (const Failure&) {
    return true;
  }
}

// Says so for each file the options name that cannot be read, and for a
// certificate file without a certificate.
bool RequestFilesReadable(const DownloadSettings& settings, int err) {
  bool readable = true;
  for (const std::string* path : {&settings.cookieFile, &settings.caCertFile}) {
    if (path->empty()) continue;
    const std::string why = WhyUnreadable(*path);
    if (why.empty()) continue;
    PrintProgramMessage("cannot read " + *path + ": " + why, err);
    readable = false;
  }
  if (readable && !settings.caCertFile.empty() && !MayHoldCertificates(settings.caCertFile)) {
    PrintProgramMessage(
        "cannot use " + settings.caCertFile + " as --cacert: it holds no certificate (PEM)", err);
    readable = false;
  }
  return readable;
}

int PrintAndSucceed(std::string_view text) {
  WriteAllIgnoringErrors(STDOUT_FILENO, text);
  return kExitAllFound;
}

// The run cannot go on with the standard streams it was given.
bool StreamTroubleShown(const std::string& trouble) {
  if (!trouble.empty()) PrintProgramMessage(trouble);
  return !trouble.empty();
}

// Standard input serves the run: as a list, or as a page's bytes.
bool ReadsStandardInput(const ExtractOptions& options, const AddressReader& addresses) {
  return addresses.ReadsStandardInput() ||
         std::find(options.pageFiles.begin(), options.pageFiles.end(), "-") !=
             options.pageFiles.end();
}

bool SignalIgnored(int signal) {
  struct sigaction current {};
  return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

int RunExtractCommand(int argc, char** argv) {
  const ClosedStandardStreams closedStreams = OccupyClosedStandardStreams();
  UseErrnoWording(ErrnoWording::kSystem);
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
  const bool writesStandardOutput =
      options.showHelp || options.showVersion || options.outputFile.empty();
  if (StreamTroubleShown(StandardStreamTrouble(closedStreams, writesStandardOutput, false))) {
    return kExitTrouble;
  }
  if (options.showHelp) return PrintAndSucceed(ExtractUsageText());
  if (options.showVersion) {
    return PrintAndSucceed(std::string(kExtractProgramName) + " " + std::string(ProgramVersion()) +
                           "\n");
  }
  options.download.jobs = JobsThatFitOpenFiles(
      options.download.jobs, [](const std::string& message) { PrintProgramMessage(message); });
  PageSources pages(options.pageFiles, options.pageBase);
  AddressReader addresses(options.addresses, options.listFiles, options.pageFiles.empty());
  if (!pages.OpenFailures().empty() || !addresses.OpenFailures().empty()) {
    for (const std::string& failure : pages.OpenFailures()) PrintProgramMessage(failure);
    for (const std::string& failure : addresses.OpenFailures()) PrintProgramMessage(failure);
    return kExitTrouble;
  }
  if (StreamTroubleShown(
          StandardStreamTrouble(closedStreams, false, ReadsStandardInput(options, addresses)))) {
    return kExitTrouble;
  }
  if (!options.quiet && addresses.ReadsATerminal()) PrintProgramMessage(kTypedAddressesNotice);
  RemoveTempFolderOnTerminatingSignals(ClearProgressLine);
  PageFiles& pageFiles = TempFolderPageFiles();
  CurlDownloader downloader(options.download, pageFiles);
  const ExtractOutcome outcome = RunExtraction(options, addresses, pages, downloader, pageFiles,
                                               {STDOUT_FILENO, STDERR_FILENO});
  if (outcome.readerGone) EndLikeABrokenPipe(sigpipeIgnoredAtStart);
  RemovePrivateTempFolder();
  return outcome.exitStatus;
}

ExtractOutcome RunExtraction(const ExtractOptions& options, AddressReader& addresses,
                             Downloader& downloader, PageFiles& pageFiles, ExtractStreams streams) {
  PageSources pages(options.pageFiles, options.pageBase);
  for (const std::string& failure : pages.OpenFailures()) PrintProgramMessage(failure, streams.err);
  if (!pages.OpenFailures().empty()) return {kExitTrouble};
  return RunExtraction(options, addresses, pages, downloader, pageFiles, streams);
}

ExtractOutcome RunExtraction(const ExtractOptions& options, AddressReader& addresses,
                             PageSources& pages, Downloader& downloader, PageFiles& pageFiles,
                             ExtractStreams streams) {
  const bool showProgress = !options.quiet && ::isatty(streams.err) == 1;
  if (!RequestFilesReadable(options.download, streams.err)) return {kExitTrouble};
  const RunContext context{pages, downloader, pageFiles, streams, showProgress};
  if (options.download.insecure) {
    PrintProgramMessage("warning: -k: certificates are not checked", streams.err);
  }
  try {
    return options.outputFile.empty() ? ExtractToStream(addresses, options, context)
                                      : ExtractToFile(addresses, options, context);
  } catch (const std::bad_alloc&) {
    // What the run held is given back by now; the private folder goes with
    // the caller's cleanup.
    PrintProgramMessage("out of memory; the run stops here", streams.err);
    return {kExitTrouble};
  }
}

}  // namespace verdigo
