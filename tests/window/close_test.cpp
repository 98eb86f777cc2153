#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "common/temp_folder.h"
#include "engine/curl_downloader.h"
#include "tests/support/acting_downloader.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/test_http_server.h"
#include "tests/window/window_fixture.h"

// Closing the window ends the program there and then. These tests let a
// child process run the program's own ending and look at what it left. The
// child skips every destructor, so all it makes goes into a folder that the
// parent removes.
namespace verdigo::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Truly;

// The child prints its private temporary folder as "temp folder: PATH".
bool TempFolderIsGone(const std::string& childOutput) {
  std::smatch match;
  if (!std::regex_search(childOutput, match, std::regex("temp folder: (\\S+)"))) return false;
  return !std::filesystem::exists(match[1].str());
}

class ClosingTheWindow : public WindowTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    server.Serve("/a.html", R"(<a href="x.html">x</a>)");
  }

  // Runs in the child: the program's own set-up, with scripted boxes that
  // tell the parent what they showed.
  void StartRun(Downloader* fetcher) {
    WindowSetup setup = WindowSetup::ForProgram();
    setup.dialogs = &dialogs;
    setup.programFolder = ProgramFolder();
    setup.checkOnline = {};
    setup.homePage = {};
    setup.downloader = fetcher;
    if (!dialogs.whileShown) {
      dialogs.whileShown = [](const ShownBox& box) {
        std::fprintf(stderr, "box: %s\n", box.text.toUtf8().constData());
      };
    }
    LoadWindow(std::move(setup)).show();
    std::fprintf(stderr, "temp folder: %s\n", PrivateTempFolderPath().c_str());
    UrlList().AppendRow(server.Url("/a.html"));
    UrlList().AppendRow(server.Url("/a.html"));
    window->PushButton7_Click();
    std::fprintf(stderr, "run returned\n");
  }

  TestHttpServer server;
  // The child inherits these: its test folder and its private temporary
  // folder land in here.
  ScopedTempDir childFolders;
  ScopedEnv childTmpdir{"TMPDIR", childFolders.path()};
  ScopedEnv childTemp{"TEMP", childFolders.path()};
};

TEST_F(ClosingTheWindow, DuringADownloadEndsTheProgramAtOnce) {
  ActingDownloader fetcher;
  fetcher.BeforeEach([this] { window->close(); });
  EXPECT_EXIT(StartRun(&fetcher), ::testing::ExitedWithCode(0),
              AllOf(HasSubstr("temp folder: "), Not(HasSubstr("box:")),
                    Not(HasSubstr("run returned")), Truly(TempFolderIsGone)));
}

TEST_F(ClosingTheWindow, WhileABoxIsOpenEndsTheProgramAtOnce) {
  server.Serve("/a.html", "gone", "text/html", 404);
  EXPECT_EXIT(
      {
        dialogs.whileShown = [this](const ShownBox& box) {
          std::fprintf(stderr, "box: %s\n", box.text.toUtf8().constData());
          window->close();
        };
        StartRun(nullptr);
      },
      ::testing::ExitedWithCode(0),
      AllOf(HasSubstr("box: URL not found\n"), Not(HasSubstr("Done.")),
            Not(HasSubstr("run returned")), Truly(TempFolderIsGone)));
}

}  // namespace
}  // namespace verdigo::testing
