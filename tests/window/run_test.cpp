#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>

#include "tests/support/acting_downloader.h"
#include "tests/support/test_http_server.h"
#include "tests/window/window_fixture.h"

namespace verdigo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class ExtractionRunTest : public WindowTest {
 protected:
  void SetUp() override {
    server.Serve("/site/a.html", R"(<a href="one.html">1</a> <a HREF="/two">2</a>)");
    server.Serve("/site/b.html", "<p><a href=\"caf\xE9.htm\">\xE9</a></p>");
    server.Serve("/site/c.html", R"(<a href="three.html">3</a>)");
    WindowSetup setup = FakeSetup();
    setup.downloader = &downloader;
    LoadWindow(std::move(setup));
  }

  void TearDown() override {
    window.reset();
    testers.clear();
    parts.reset();
  }

  void AddUrls(std::initializer_list<std::string> urls) {
    for (const std::string& url : urls) UrlList().AppendRow(url);
  }
  std::vector<std::string> Results() { return Rows(ResultList()); }
  void Press(const char* button) { Control<QPushButton>(button)->click(); }

  std::vector<std::string> RowsOfA() {
    return {server.Url("/site/a.html"), server.Url("/site/one.html"), server.Url("/site/two/")};
  }
  std::vector<std::string> RowsOfB() {
    return {server.Url("/site/b.html"), server.Url("/site/caf\xE9.htm")};
  }
  std::vector<std::string> RowsOfC() {
    return {server.Url("/site/c.html"), server.Url("/site/three.html")};
  }

  TestHttpServer server;
  ActingDownloader downloader;
};

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(ExtractionRunTest, FillsTheResultsInListOrderAndSaysDoneUnderTheHourglass) {
  AddUrls(
      {server.Url("/site/a.html"), server.Url("/site/missing.html"), server.Url("/site/b.html")});
  std::vector<PointerValue> pointerAtBoxes;
  std::vector<int> rowsShownAtBoxes;  // every row stored is shown before a box
  dialogs.whileShown = [&](const ShownBox&) {
    pointerAtBoxes.push_back(Pointer().Value());
    rowsShownAtBoxes.push_back(ResultList().rowCount());
  };
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(Joined({RowsOfA(), RowsOfB()})));
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("URL not found"), Info("Done.")));
  EXPECT_THAT(pointerAtBoxes, ElementsAre(PointerValue::Hourglass, PointerValue::Hourglass));
  EXPECT_THAT(rowsShownAtBoxes, ElementsAre(3, 5));
  EXPECT_EQ(Pointer().Value(), PointerValue::Default);
  EXPECT_FALSE(Busy().IsBusy());

  // A second run appends the same rows again.
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(Joined({RowsOfA(), RowsOfB(), RowsOfA(), RowsOfB()})));
  EXPECT_EQ(dialogs.shown.size(), 4u);
}

TEST_F(ExtractionRunTest, EmptyListSaysNoUrlsAddedAndLeavesThePointer) {
  Pointer().MouseOverButton();
  Press("PushButton7");
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("No URLs added.")));
  EXPECT_EQ(Pointer().Value(), PointerValue::Custom);
  EXPECT_THAT(Results(), IsEmpty());
  AddUrls({server.Url("/site/c.html")});
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(RowsOfC()));
}

TEST_F(ExtractionRunTest, DuringADownloadTheWindowWorksUnderItsGuards) {
  AddUrls({server.Url("/site/a.html"), server.Url("/site/b.html")});
  downloader.Before(server.Url("/site/b.html"), [&] {
    EXPECT_TRUE(Busy().IsBusy());
    Press("PushButton7");  // a second press does nothing
    ResultList().Clear();
    UrlList().AppendRow(server.Url("/site/c.html"));
  });
  Press("PushButton7");
  // Rows of a were cleared; c was added after the run had counted its entries.
  EXPECT_THAT(Results(), ElementsAreArray(RowsOfB()));
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("Done.")));
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ExtractionRunTest, ListShortenedDuringARunEndsItsEntriesWithoutReports) {
  AddUrls({server.Url("/site/a.html"), server.Url("/site/b.html"), server.Url("/site/c.html")});
  downloader.Before(server.Url("/site/b.html"), [&] {
    UrlList().RemoveRow(2);
    UrlList().RemoveRow(1);
  });
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(Joined({RowsOfA(), RowsOfB()})));
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("Done.")));
  // The page after may have been downloading ahead; none is fetched twice.
  std::set<std::string> paths;
  for (const auto& request : server.Requests()) EXPECT_TRUE(paths.insert(request.path).second);
}

}  // namespace
}  // namespace verdigo::testing
