// The engine's order of work against an in-memory downloader: pages started
// ahead, handled in list order, and what carries from one page to the next.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/extract_links.h"
#include "tests/support/fake_downloader.h"

namespace verdigo {
namespace {

using ::testing::ElementsAre;
using testing::FakeDownloader;
using Started = FakeDownloader::Started;

struct VectorSink : RowSink {
  std::vector<std::string> rows;
  void AppendRow(std::string_view row) override { rows.emplace_back(row); }
};

struct RecordingReporter : EngineReporter {
  std::vector<std::string> messages;
  void ShowErrorReport(const std::string& text) override { messages.push_back(text); }
  void UrlNotFound(std::string_view url, std::string_view reason) override {
    messages.push_back("URL not found: " + std::string(url) + " (" + std::string(reason) + ")");
  }
};

class EngineOrder : public ::testing::Test {
 protected:
  FakeDownloader downloader;
  RecordingReporter reporter;
  int yields = 0;
  ExtractLinks engine{downloader, reporter, [this] { ++yields; }};
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

}  // namespace
}  // namespace verdigo
