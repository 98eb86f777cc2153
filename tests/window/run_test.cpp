#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <chrono>
#include <future>
#include <map>
#include <mutex>

#include "engine/curl_downloader.h"
#include "tests/support/test_http_server.h"
#include "tests/window/window_fixture.h"

namespace verdigo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Fetches through libcurl; before fetching an address that has an action,
// has the window's thread run the action and waits until it did. Only a
// window that handles its events during a download ever runs it.
class HookedDownloader : public Downloader {
 public:
  void Before(const std::string& url, std::function<void()> action) {
    std::lock_guard lock(mutex_);
    actions_[url] = std::move(action);
  }

  DownloadOutcome Fetch(const std::string& url, int pageFd) override {
    std::function<void()> action;
    {
      std::lock_guard lock(mutex_);
      if (auto found = actions_.find(url); found != actions_.end()) action = found->second;
    }
    if (action) {
      auto done = std::make_shared<std::promise<void>>();
      std::future<void> ran = done->get_future();
      QMetaObject::invokeMethod(
          qApp,
          [action, done] {
            action();
            done->set_value();
          },
          Qt::QueuedConnection);
      // A generous bound, only so that a frozen window fails instead of hanging.
      if (ran.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        actionMissed = true;
      }
    }
    return curl_.Fetch(url, pageFd);
  }

  std::atomic<bool> actionMissed = false;

 private:
  CurlDownloader curl_;
  std::mutex mutex_;
  std::map<std::string, std::function<void()>> actions_;
};

class ExtractionRunTest : public WindowTest {
 protected:
  void SetUp() override {
    server.Serve("/site/a.html", R"(<a href="one.html">1</a> <a HREF="/two">2</a>)");
    server.Serve("/site/b.html", "<p><a href=\"caf\xE9.htm\">\xE9</a></p>");
    server.Serve("/site/c.html", R"(<a href="three.html">3</a>)");
    Form1Setup setup = FakeSetup();
    setup.downloader = &downloader;
    window = std::make_unique<Form1>(std::move(setup));
    window->Form_Load();
  }

  void TearDown() override { window.reset(); }

  void AddUrls(std::initializer_list<std::string> urls) {
    for (const std::string& url : urls) window->UrlList().AppendRow(url);
  }
  std::vector<std::string> Results() {
    std::vector<std::string> rows;
    for (int i = 0; i < window->ResultList().Count(); ++i) {
      rows.emplace_back(window->ResultList().RowText(i));
    }
    return rows;
  }
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
  HookedDownloader downloader;
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
  dialogs.whileShown = [&](const ShownBox&) {
    pointerAtBoxes.push_back(window->Pointer().Value());
  };
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(Joined({RowsOfA(), RowsOfB()})));
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("URL not found"), Info("Done.")));
  EXPECT_THAT(pointerAtBoxes, ElementsAre(PointerValue::Hourglass, PointerValue::Hourglass));
  EXPECT_EQ(window->Pointer().Value(), PointerValue::Default);
  EXPECT_FALSE(window->IsBusy());

  // A second run appends the same rows again.
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(Joined({RowsOfA(), RowsOfB(), RowsOfA(), RowsOfB()})));
  EXPECT_EQ(dialogs.shown.size(), 4u);
}

TEST_F(ExtractionRunTest, EmptyListSaysNoUrlsAddedAndLeavesThePointer) {
  window->Pointer().MouseOverButton();
  Press("PushButton7");
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("No URLs added.")));
  EXPECT_EQ(window->Pointer().Value(), PointerValue::Custom);
  EXPECT_THAT(Results(), IsEmpty());
  AddUrls({server.Url("/site/c.html")});
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(RowsOfC()));
}

TEST_F(ExtractionRunTest, DuringADownloadTheWindowWorksUnderItsGuards) {
  AddUrls({server.Url("/site/a.html"), server.Url("/site/b.html")});
  downloader.Before(server.Url("/site/b.html"), [&] {
    EXPECT_TRUE(window->IsBusy());
    Press("PushButton7");  // a second press does nothing
    window->ResultList().Clear();
    window->UrlList().AppendRow(server.Url("/site/c.html"));
  });
  Press("PushButton7");
  EXPECT_FALSE(downloader.actionMissed);
  // Rows of a were cleared; c was added after the run had counted its entries.
  EXPECT_THAT(Results(), ElementsAreArray(RowsOfB()));
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("Done.")));
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ExtractionRunTest, ListShortenedDuringARunEndsItsEntriesWithoutReports) {
  AddUrls({server.Url("/site/a.html"), server.Url("/site/b.html"), server.Url("/site/c.html")});
  downloader.Before(server.Url("/site/b.html"), [&] {
    window->UrlList().RemoveRow(2);
    window->UrlList().RemoveRow(1);
  });
  Press("PushButton7");
  EXPECT_THAT(Results(), ElementsAreArray(Joined({RowsOfA(), RowsOfB()})));
  EXPECT_THAT(dialogs.shown, ElementsAre(Info("Done.")));
  EXPECT_EQ(server.Requests().size(), 2u);
}

}  // namespace
}  // namespace verdigo::testing
