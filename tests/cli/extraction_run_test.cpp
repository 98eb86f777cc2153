// The command line's run loop in-process, over the shared fake downloader:
// list order, failed pages and an early end, with no network at all.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/extract_command.h"
#include "cli/resumable_output.h"
#include "common/fd_io.h"
#include "common/unique_fd.h"
#include "tests/support/fake_downloader.h"
#include "tests/support/fake_page_files.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

using testing::FakeDownloader;
using testing::FakePageFiles;
using ::testing::IsEmpty;
using testing::ReadTestFile;
using testing::ScopedTempDir;
using testing::WriteTestFile;

UniqueFd MemoryFile() { return UniqueFd(::memfd_create("out", MFD_CLOEXEC)); }

std::string Contents(const UniqueFd& file) {
  ::lseek(file.get(), 0, SEEK_SET);
  return ReadAllFromFd(file.get(), 1 << 20);
}

struct RunCase {
  const char* what;
  std::vector<std::string> args;  // the addresses come from -u
  std::vector<std::string> failing = {};
  int slowAnswers = 0;      // the first page says "not yet" this often: later ones end first
  bool outputFull = false;  // standard output is /dev/full: the run ends after its first page
  int exitStatus = 0;
  std::string out = "";
  std::string err = "";  // the program's own part of it, at its start
  size_t started = 4;
  size_t collected = 4;
  bool cancelled = false;  // the pages ahead were let go
};

TEST(ExtractionRun, OrderFailuresAndAnEarlyEnd) {
  const std::vector<std::string> fourPages = {"-j4", "-uh/1.html", "-uh/2.html", "-uh/3.html",
                                              "-uh/4.html"};
  const std::string rows =
      "http://h/1.html\nhttp://h/1.htm\nhttp://h/2.html\nhttp://h/2.htm\n"
      "http://h/3.html\nhttp://h/3.htm\nhttp://h/4.html\nhttp://h/4.htm\n";
  const std::string notFound2 = "verdigo-extract: URL not found: http://h/2.html (HTTP 500)\n";
  const std::vector<RunCase> cases = {
      {.what = "later pages ending first", .args = fourPages, .slowAnswers = 20, .out = rows},
      {.what = "one page at a time",
       .args = {"-j1", "-uh/1.html", "-uh/2.html"},
       .slowAnswers = 3,
       .out = rows.substr(0, rows.find("http://h/3")),
       .started = 2,
       .collected = 2},
      {.what = "a failed page in the middle",
       .args = fourPages,
       .failing = {"http://h/2.html"},
       .exitStatus = 1,
       .out = "http://h/1.html\nhttp://h/1.htm\nhttp://h/3.html\nhttp://h/3.htm\n"
              "http://h/4.html\nhttp://h/4.htm\n",
       .err = notFound2},
      {.what = "a failed page in JSON",
       .args = {"--json", "-uh/1.html", "-uh/2.html"},
       .failing = {"http://h/2.html"},
       .exitStatus = 1,
       .out = "{\"address\":\"h/1.html\",\"page\":\"http://h/1.html\",\"links\":[\"http://h/"
              "1.htm\"]}\n"
              "{\"address\":\"h/2.html\",\"page\":\"http://h/2.html\",\"error\":\"HTTP 500\"}\n",
       .err = notFound2,
       .started = 2,
       .collected = 2},
      {.what = "comma-delimited on standard output",
       .args = {"--csv", "-uh/1.html", "-uh/2.html"},
       .out = "http://h/1.html,http://h/1.htm,http://h/2.html,http://h/2.htm,\r\n",
       .started = 2,
       .collected = 2},
      {.what = "-o - and -k",
       .args = {"-o", "-", "-k", "-uh/1.html"},
       .out = rows.substr(0, rows.find("http://h/2")),
       .err = "verdigo-extract: warning: -k: certificates are not checked\n",
       .started = 1,
       .collected = 1},
      {.what = "a cookie file that cannot be read stops the run before it starts",
       .args = {"-b", "/nonexistent/cookies.txt", "--cacert=/", "-uh/1.html"},
       .exitStatus = 2,
       .err = "verdigo-extract: cannot read /nonexistent/cookies.txt: Path not found\n"
              "verdigo-extract: cannot read /: ",
       .started = 0,
       .collected = 0},
      {.what = "output gone: the pages ahead are let go",
       .args = fourPages,
       .outputFull = true,
       .exitStatus = 2,
       .err = "verdigo-extract: cannot write standard output: ",
       .collected = 1,
       .cancelled = true},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDownloader downloader;
    FakePageFiles pageFiles;
    for (const char* page : {"1", "2", "3", "4"}) {
      const std::string url = std::string("http://h/") + page + ".html";
      downloader.Serve(url, std::string("<a href=\"") + page + ".htm\">");
    }
    for (const std::string& url : c.failing) downloader.Fail(url, "HTTP 500");
    downloader.notYetAnswers = c.slowAnswers;
    const ParsedArguments parsed = ParseExtractArguments(c.args);
    ASSERT_EQ(parsed.error, "");
    AddressReader addresses(parsed.options.addresses, parsed.options.listFiles);
    const UniqueFd out =
        c.outputFull ? UniqueFd(::open("/dev/full", O_WRONLY | O_CLOEXEC)) : MemoryFile();
    const UniqueFd err = MemoryFile();

    const ExtractOutcome outcome =
        RunExtraction(parsed.options, addresses, downloader, pageFiles, {out.get(), err.get()});

    EXPECT_EQ(outcome.exitStatus, c.exitStatus);
    EXPECT_FALSE(outcome.readerGone);
    if (!c.outputFull) {
      EXPECT_EQ(Contents(out), c.out);
    }
    const std::string messages = Contents(err);
    EXPECT_EQ(messages.substr(0, c.err.size()), c.err);
    EXPECT_EQ(messages.empty(), c.err.empty()) << messages;
    EXPECT_EQ(downloader.started.size(), c.started);
    EXPECT_EQ(downloader.collected.size(), c.collected);
    EXPECT_EQ(downloader.cancels, c.cancelled ? 1 : 0);
    EXPECT_THAT(pageFiles.Present(), IsEmpty()) << "a page file was left behind";
  }
}

// The run's parts for one in-process run: pages h/1.html to h/4.html, each
// with one link.
struct FakeRun {
  FakeDownloader downloader;
  FakePageFiles pageFiles;
  UniqueFd out = MemoryFile();
  UniqueFd err = MemoryFile();

  FakeRun() {
    for (const char* page : {"1", "2", "3", "4"}) {
      downloader.Serve(std::string("http://h/") + page + ".html",
                       std::string("<a href=\"") + page + ".htm\">");
    }
  }

  int Run(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseExtractArguments(args);
    EXPECT_EQ(parsed.error, "");
    AddressReader addresses(parsed.options.addresses, parsed.options.listFiles,
                            parsed.options.pageFiles.empty());
    return RunExtraction(parsed.options, addresses, downloader, pageFiles, {out.get(), err.get()})
        .exitStatus;
  }
};

// A reader of the rows that has gone ends the wait for a page at once, with
// no message: the process is to end as a broken pipe does.
TEST(ExtractionRun, AReaderGoneEndsTheWaitForAPage) {
  // A row written after all gives EPIPE, as in the program, not the signal.
  const sighandler_t sigpipeBefore = ::signal(SIGPIPE, SIG_IGN);
  for (const char* jobs : {"-j1", "-j4"}) {
    SCOPED_TRACE(jobs);
    FakeRun run;
    run.downloader.notYetAnswers = 100000;  // the first page is slow to come
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    run.out = UniqueFd(ends[1]);
    const ParsedArguments parsed = ParseExtractArguments({jobs, "-uh/1.html", "-uh/2.html"});
    AddressReader addresses(parsed.options.addresses, parsed.options.listFiles);

    const ExtractOutcome outcome = RunExtraction(parsed.options, addresses, run.downloader,
                                                 run.pageFiles, {run.out.get(), run.err.get()});

    EXPECT_TRUE(outcome.readerGone);
    EXPECT_EQ(outcome.exitStatus, 2);
    EXPECT_THAT(run.downloader.collected, IsEmpty());
    EXPECT_GE(run.downloader.cancels, 1) << "the downloads are let go";
    EXPECT_EQ(Contents(run.err), "");
  }
  ::signal(SIGPIPE, sigpipeBefore);
}

// Pages from files come first and are not downloaded; one that cannot be
// read stops the run before anything is fetched.
TEST(ExtractionRun, PagesFromFiles) {
  const ScopedTempDir dir;
  WriteTestFile(dir / "saved.html", "<a href=\"x.htm\"><A HREF=\"/y\">");
  FakeRun run;
  EXPECT_EQ(run.Run({"--page", dir / "saved.html", "--base", "h/p/index.html", "-uh/1.html"}), 0);
  EXPECT_EQ(Contents(run.out),
            "http://h/p/index.html\nhttp://h/p/x.htm\nhttp://h/p/y/\n"
            "http://h/1.html\nhttp://h/1.htm\n");
  ASSERT_EQ(run.downloader.started.size(), 1u);
  EXPECT_EQ(run.downloader.started[0].url, "http://h/1.html");

  FakeRun missing;
  EXPECT_EQ(missing.Run({"--page", dir / "none.html", "-uh/1.html"}), 2);
  const std::string cannotRead = "verdigo-extract: cannot read " + (dir / "none.html") + ": ";
  EXPECT_EQ(Contents(missing.err).substr(0, cannotRead.size()), cannotRead);
  EXPECT_THAT(missing.downloader.started, IsEmpty());
}

struct CarryOnCase {
  const char* what;
  std::vector<std::string> format;  // the format options, the same in every run
};

// A results file an earlier run left after its first page is carried on
// with -c: the pages done are not fetched again and the file ends with the
// bytes of one uninterrupted run; a list that starts otherwise is refused.
TEST(ExtractionRun, CarryingOnAResultsFile) {
  const std::vector<CarryOnCase> cases = {{"text", {}}, {"JSON", {"--json"}}};
  for (const CarryOnCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ScopedTempDir dir;
    const auto args = [&](const std::string& file, std::vector<std::string> more) {
      more.insert(more.end(), {"-q", "-o", dir / file});
      more.insert(more.end(), c.format.begin(), c.format.end());
      return more;
    };
    FakeRun whole;
    ASSERT_EQ(whole.Run(args("whole", {"-uh/1.html", "-uh/2.html", "-uh/3.html"})), 0);
    FakeRun firstPage;
    ASSERT_EQ(firstPage.Run(args("first", {"-uh/1.html"})), 0);
    {
      // What a run killed after its first page leaves beside its target.
      const auto left = ResumableOutput::Open(
          dir / "out",
          c.format.empty() ? ContinueRecord::Format::kText : ContinueRecord::Format::kJson, false);
      ASSERT_NE(left, nullptr);
      left->Write(ReadTestFile(dir / "first"));
      ASSERT_TRUE(left->PageDone(ResumableOutput::Kind::kListed, "h/1.html", 0));
      left->Write("http://h/2.html");  // half of the next page
    }

    FakeRun changed;
    EXPECT_EQ(changed.Run(args("out", {"-c", "-uh/4.html", "-uh/2.html"})), 2);
    EXPECT_EQ(Contents(changed.err),
              "verdigo-extract: cannot carry on " + (dir / "out") +
                  ": the run it continues began with 1 other pages; give the same pages and "
                  "lists, or run without -c to start afresh\n");
    EXPECT_THAT(changed.downloader.started, IsEmpty());

    FakeRun carryOn;
    EXPECT_EQ(carryOn.Run(args("out", {"-c", "-uh/1.html", "-uh/2.html", "-uh/3.html"})), 0);
    EXPECT_EQ(ReadTestFile(dir / "out"), ReadTestFile(dir / "whole"));
    ASSERT_EQ(carryOn.downloader.started.size(), 2u);
    EXPECT_EQ(carryOn.downloader.started[0].url, "http://h/2.html");
    EXPECT_EQ(Contents(carryOn.err), "");
    EXPECT_EQ(testing::Entries(dir.path()).count(".out.verdigo-record"), 0u);
  }
}

// An error report shown before the interruption counts as shown by the run
// that carries on: its rows may lack some, so the target is not made.
TEST(ExtractionRun, CarryingOnAfterAnErrorReport) {
  const ScopedTempDir dir;
  {
    const auto left = ResumableOutput::Open(dir / "out", ContinueRecord::Format::kText, false);
    ASSERT_NE(left, nullptr);
    left->Write("http://h/1.html\r\n");
    ASSERT_TRUE(
        left->PageDone(ResumableOutput::Kind::kListed, "h/1.html", ContinueRecord::kErrorReport));
  }
  FakeRun carryOn;
  EXPECT_EQ(carryOn.Run({"-q", "-c", "-o", dir / "out", "-uh/1.html", "-uh/2.html"}), 1);
  EXPECT_EQ(Contents(carryOn.err), "verdigo-extract: " + (dir / "out") +
                                       " is left as it was: after an error report, rows may be "
                                       "missing\n");
  EXPECT_THAT(testing::Entries(dir.path()), IsEmpty());
}

}  // namespace
}  // namespace verdigo
