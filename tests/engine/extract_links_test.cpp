// The engine's order of work against an in-memory downloader: pages started
// ahead, handled in list order, and what carries from one page to the next.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/temp_folder.h"
#include "engine/download_settings.h"
#include "engine/extract_links.h"
#include "tests/support/engine_recorders.h"
#include "tests/support/fake_downloader.h"
#include "tests/support/fake_page_files.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

using ::testing::ElementsAre;
using testing::FakeDownloader;
using testing::FakePageFiles;
using ::testing::IsEmpty;
using testing::RecordingReporter;
using testing::VectorSink;
using Started = FakeDownloader::Started;

class EngineOrder : public ::testing::Test {
 protected:
  void TearDown() override {
    engine.CancelPrefetches();
    EXPECT_THAT(pageFiles.Present(), IsEmpty()) << "page file left";
  }

  FakeDownloader downloader;
  FakePageFiles pageFiles;
  RecordingReporter reporter;
  int yields = 0;
  ExtractLinks engine{downloader, reporter, [this] { ++yields; }, pageFiles};
  VectorSink results;
};

TEST_F(EngineOrder, OnePageAtATimeAlwaysUsesTheSameFile) {
  downloader.Serve("http://h/a/", R"(<a href="x.html">)");
  EXPECT_TRUE(engine.GetUrls(results, "h/a", kRunPageFile));
  EXPECT_FALSE(engine.GetUrls(results, "h/b", kRunPageFile));
  EXPECT_THAT(downloader.started,
              ElementsAre(Started{1, "http://h/a/", 1}, Started{2, "http://h/b/", 1}));
  EXPECT_THAT(results.rows, ElementsAre("http://h/a/", "http://h/a/x.html"));
  EXPECT_THAT(reporter.messages, ElementsAre("URL not found: http://h/b/ (HTTP 404)"));
}

TEST_F(EngineOrder, PagesStartedAheadAreHandledInListOrderWithTheirOwnFiles) {
  downloader.Serve("http://h/d/one.html", R"(<a href="1.html">)");
  downloader.Serve("http://h/d/two.html", R"(<a href="2.html">)");
  for (const char* address : {"h/d/one.html", "h/d/gone.html", "h/d/two.html"}) {
    engine.Prefetch(address, kRunPageFile);
  }
  EXPECT_EQ(engine.PrefetchedCount(), 3u);
  EXPECT_TRUE(engine.GetUrls(results, "h/d/one.html", kRunPageFile));
  EXPECT_FALSE(engine.GetUrls(results, "h/d/gone.html", kRunPageFile));
  // A page started now does not take a file still in use by a page ahead.
  engine.Prefetch("h/d/one.html", kRunPageFile);
  EXPECT_TRUE(engine.GetUrls(results, "h/d/two.html", kRunPageFile));
  EXPECT_THAT(
      downloader.started,
      ElementsAre(Started{1, "http://h/d/one.html", 1}, Started{2, "http://h/d/gone.html", 2},
                  Started{3, "http://h/d/two.html", 3}, Started{4, "http://h/d/one.html", 1}));
  EXPECT_THAT(downloader.collected, ElementsAre(1, 2, 3));
  EXPECT_THAT(results.rows, ElementsAre("http://h/d/one.html", "http://h/d/1.html",
                                        "http://h/d/two.html", "http://h/d/2.html"));
  EXPECT_THAT(reporter.messages, ElementsAre("URL not found: http://h/d/gone.html (HTTP 404)"));
  EXPECT_EQ(downloader.cancels, 0);
}

// An address without "/" keeps the base of the page before it in the list,
// whichever download ends first.
TEST_F(EngineOrder, TheBaseCarriesOverInListOrder) {
  downloader.Serve("http://h/first/page.html", "");
  downloader.Serve("http://h/second/page.html", "");
  downloader.Serve("httpbare.html", R"(<a href="x.html">)");
  const auto list = {"h/first/page.html", "httpbare.html", "h/second/page.html", "httpbare.html"};
  for (const char* address : list) engine.Prefetch(address, kRunPageFile);
  for (const char* address : list) engine.GetUrls(results, address, kRunPageFile);
  EXPECT_THAT(results.rows,
              ElementsAre("http://h/first/page.html", "httpbare.html", "http://h/first/x.html",
                          "http://h/second/page.html", "httpbare.html", "http://h/second/x.html"));
}

TEST_F(EngineOrder, WaitingForAPageYields) {
  downloader.Serve("http://h/a/", "");
  downloader.notYetAnswers = 3;
  EXPECT_TRUE(engine.GetUrls(results, "h/a", kRunPageFile));
  EXPECT_EQ(downloader.waits, 4);
  EXPECT_EQ(yields, 3 + 2);  // one each "not yet", one after the page row, one to remove the file
}

TEST_F(EngineOrder, AnotherAddressThanTheOneAheadAbandonsThePagesAhead) {
  engine.Prefetch("h/a", kRunPageFile);
  engine.Prefetch("h/b", kRunPageFile);
  engine.GetUrls(results, "h/c", kRunPageFile);
  EXPECT_EQ(downloader.cancels, 1);
  EXPECT_EQ(engine.PrefetchedCount(), 0u);
  EXPECT_EQ(downloader.started.back(), (Started{3, "http://h/c/", 1}));
  EXPECT_THAT(downloader.collected, ElementsAre(3));
}

// ---- The page file -----------------------------------------------------------

std::string ReportAtLine102(const std::string& description) {
  return description +
         "\r\nin Quillmere2021/08/31.ExtractLinks.GetUrls at line 102\r\r"
         "Please email screenshot of this message to support@quillmere.example";
}

// A page whose file cannot be made is not downloaded. One report says why,
// until the reason changes or a file has been made meanwhile; every such
// page says "URL not found".
TEST_F(EngineOrder, APageFileThatCannotBeMadeIsReportedOncePerReason) {
  downloader.Serve("http://h/a/", R"(<a href="x.html">)");
  const std::string denied = "Cannot create HTML1.tmp: Permission denied";
  const std::string full = "Cannot create HTML1.tmp: No space left on device";
  pageFiles.FailCreate(denied);
  EXPECT_FALSE(engine.GetUrls(results, "h/a", kRunPageFile));
  engine.Prefetch("h/a", kRunPageFile);
  EXPECT_FALSE(engine.GetUrls(results, "h/a", kRunPageFile));
  pageFiles.FailCreate(full);
  EXPECT_FALSE(engine.GetUrls(results, "h/a", kRunPageFile));
  pageFiles.Heal();
  EXPECT_TRUE(engine.GetUrls(results, "h/a", kRunPageFile));
  pageFiles.FailCreate(full);
  EXPECT_FALSE(engine.GetUrls(results, "h/a", kRunPageFile));
  const std::string notFound = "URL not found: http://h/a/ (no temporary file)";
  EXPECT_THAT(reporter.messages,
              ElementsAre(ReportAtLine102(denied), notFound, notFound, ReportAtLine102(full),
                          notFound, ReportAtLine102(full), notFound));
  EXPECT_THAT(results.rows, ElementsAre("http://h/a/", "http://h/a/x.html"));
  EXPECT_THAT(downloader.started, ElementsAre(Started{1, "http://h/a/", 1}));
  // Only the file that was made is removed.
  EXPECT_THAT(pageFiles.Calls(),
              ElementsAre("Create 1", "Create 1", "Create 1", "Create 1", "Remove 1", "Create 1"));
}

// A page file that cannot be deleted changes nothing the user sees; the
// next page takes the same file again.
TEST_F(EngineOrder, APageFileThatCannotBeDeletedIsPassedOverQuietly) {
  downloader.Serve("http://h/a/", R"(<a href="x.html">)");
  pageFiles.FailRemove();
  EXPECT_TRUE(engine.GetUrls(results, "h/a", kRunPageFile));
  EXPECT_FALSE(engine.GetUrls(results, "h/b", kRunPageFile));
  pageFiles.Heal();
  EXPECT_TRUE(engine.GetUrls(results, "h/a", kRunPageFile));
  EXPECT_THAT(results.rows,
              ElementsAre("http://h/a/", "http://h/a/x.html", "http://h/a/", "http://h/a/x.html"));
  EXPECT_THAT(reporter.messages, ElementsAre("URL not found: http://h/b/ (HTTP 404)"));
  EXPECT_THAT(pageFiles.Calls(),
              ElementsAre("Create 1", "Remove 1", "Create 1", "Remove 1", "Create 1", "Remove 1"));
}

// The real private folder, in a child shut in an empty folder where none can
// be made.
TEST(GetUrls, ATemporaryFolderThatCannotBeMadeIsReportedOnce) {
  const testing::ScopedTempDir root;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chroot(root.path().c_str()) != 0 || ::chdir("/") != 0) ::_exit(77);
    ::setenv("TEMP", "/missing", 1);
    FakeDownloader downloader;
    RecordingReporter reporter;
    ExtractLinks engine(downloader, reporter);
    VectorSink sink;
    engine.GetUrls(sink, "http://h/a.html", 1);
    engine.GetUrls(sink, "http://h/b.html", 1);
    const std::vector<std::string> expected = {
        ReportAtLine102("Cannot make a temporary folder in /missing (Path not found), /tmp (Path "
                        "not found)"),
        "URL not found: http://h/a.html (no temporary file)",
        "URL not found: http://h/b.html (no temporary file)"};
    ::_exit(reporter.messages == expected && sink.rows.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "chroot is not allowed here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The most downloads at once, twice as many pages ahead as the command line
// and the window start, over a list many times longer, in the real private
// folder: every page gets a page file of its own and the rows are those of
// one page at a time.
TEST(ManyPagesAhead, TheHighestJobsGiveTheRowsOfOnePageAtATime) {
  const testing::ScopedTempDir base;
  const testing::ScopedEnv temp("TEMP", base.path());
  const size_t ahead = 2 * kMaxJobs;
  std::vector<std::string> list;
  FakeDownloader downloader;
  for (size_t i = 0; i < 3 * ahead; ++i) {
    list.push_back("h/p" + std::to_string(i) + ".html");
    if (i % 7 != 3)
      downloader.Serve("http://" + list.back(), "<a href=\"l" + std::to_string(i) + "\">");
  }
  const auto extractAll = [&](size_t pagesAhead, RecordingReporter& reporter) {
    ExtractLinks engine(downloader, reporter);
    VectorSink sink;
    size_t started = 0;
    for (size_t i = 0; i < list.size(); ++i) {
      // The page in hand and `pagesAhead` after it, as the window does.
      while (pagesAhead > 0 && started < std::min(list.size(), i + 1 + pagesAhead)) {
        engine.Prefetch(list[started++], kRunPageFile);
      }
      engine.GetUrls(sink, list[i], kRunPageFile);
    }
    return sink.rows;
  };
  RecordingReporter oneAtATime;
  RecordingReporter allAtOnce;
  const std::vector<std::string> rows = extractAll(0, oneAtATime);
  EXPECT_EQ(extractAll(ahead, allAtOnce), rows);
  EXPECT_EQ(allAtOnce.messages, oneAtATime.messages);
  const size_t missing = (list.size() + 3) / 7;
  EXPECT_EQ(rows.size(), 2 * (list.size() - missing));
  EXPECT_EQ(allAtOnce.notFound.size(), missing);
  EXPECT_THAT(allAtOnce.errorReports, IsEmpty());
  int highestPageFile = 0;
  for (const Started& s : downloader.started)
    highestPageFile = std::max(highestPageFile, s.pageFile);
  EXPECT_EQ(highestPageFile, static_cast<int>(ahead) + 1);
  EXPECT_THAT(testing::Entries(testing::PrivateTempFolderPath()), IsEmpty());
  RemovePrivateTempFolder();
}

}  // namespace
}  // namespace verdigo
