// The downloader and the whole engine against a real HTTP server on 127.0.0.1.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/file_routines.h"
#include "common/open_file_limit.h"
#include "common/product.h"
#include "common/safe_file_writer.h"
#include "common/temp_folder.h"
#include "engine/curl_downloader.h"
#include "engine/extract_links.h"
#include "tests/support/engine_recorders.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_page_files.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/test_http_server.h"

namespace verdigo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::NotFound;
using testing::RecordingReporter;
using testing::TestHttpServer;
using testing::VectorSink;

// TEMP for this process: a fresh folder, set before anything asks for the
// private temporary folder. It goes at exit, after the private folder in it.
void UseTestTempBase() {
  static const testing::ScopedTempDir base;
  static const bool set = ::setenv("TEMP", base.path().c_str(), 1) == 0;
  ASSERT_TRUE(set);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

std::string ReadFile(const std::string& path) { return ReadWholeFile(path, 1 << 20); }

class EngineOverHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestTempBase();
    settings.connectTimeout = std::chrono::seconds(5);
  }

  // Built on first use, so that a test may change `settings` before.
  CurlDownloader& Downloader() {
    if (!downloader) downloader = std::make_unique<CurlDownloader>(settings, *pageFiles, clock);
    return *downloader;
  }

  bool Extract(const std::string& address) {
    if (!engine)
      engine = std::make_unique<ExtractLinks>(Downloader(), reporter, YieldFn{}, *pageFiles);
    return engine->GetUrls(results, address, 1);
  }

  // The one failure of a page, with no row and no error report.
  void ExpectOnlyFailure(const std::string& pageUrl, const std::string& reason) {
    EXPECT_THAT(results.rows, IsEmpty());
    EXPECT_THAT(reporter.errorReports, IsEmpty());
    EXPECT_THAT(reporter.notFound, ElementsAre(NotFound{pageUrl, reason}));
    EXPECT_THAT(FolderEntries(testing::PrivateTempFolderPath()), IsEmpty());
  }

  TestHttpServer server;  // declared first: outlives the downloader's connections
  testing::FakePageFiles fakePageFiles;
  PageFiles* pageFiles = &TempFolderPageFiles();  // set before the downloader is made
  DownloadSettings settings;
  testing::FakeClock clock;  // retries wait on it, not in real time
  RecordingReporter reporter;
  VectorSink results;
  std::unique_ptr<CurlDownloader> downloader;
  std::unique_ptr<ExtractLinks> engine;
};

TEST_F(EngineOverHttp, OrdinaryPageGivesPageRowThenLinks) {
  server.Serve("/site/index.html", R"(<html><a href="about.html">About</a>
<a href="/news/">News</a> <a href="http://127.0.0.1:1/x.htm">Elsewhere</a></html>)");
  EXPECT_TRUE(Extract(server.Url("/site/index.html")));
  const std::string base = server.Url("/site");
  EXPECT_THAT(results.rows, ElementsAre(server.Url("/site/index.html"), base + "/about.html",
                                        base + "/news/", "http://127.0.0.1:1/x.htm"));
  EXPECT_THAT(reporter.errorReports, IsEmpty());
  EXPECT_THAT(reporter.notFound, IsEmpty());
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].userAgent, "Verdigo/" + std::string(ProgramVersion()));
  EXPECT_EQ(requests[0].acceptEncoding, "gzip, deflate, br, zstd");
}

TEST_F(EngineOverHttp, LinksInEveryForm) {
  server.Serve("/dir/links.html",
               "<a href=\"lower.html\"><A HREF=\"Upper.htm\"><a Href=\"mixed\">\n"
               "<a href='single.html'> <a href=bare.html>\n"
               "<a href = \"both.html\"> <a href= \"after.html\"> <a href =\"before.html\">\n"
               "<a href=\"\">empty</a> <div data-href=\"data.html\"></div>\n"
               "<a href=\"lower.html\">again</a>\n"
               "<a href=\"two\r\nlines.html\">\n"
               "<a href=\"caf\xC3\xA9/\xE2\x82\xAC\x81.html\">\n"
               "<a href=\"never-closed.html>");
  EXPECT_TRUE(Extract(server.Url("/dir/links.html")));
  const std::string base = server.Url("/dir");
  EXPECT_THAT(
      results.rows,
      ElementsAre(server.Url("/dir/links.html"), base + "/lower.html", base + "/Upper.htm",
                  base + "/mixed/", base + "/", base + "/data.html", base + "/lower.html",
                  base + "/two\r\nlines.html", base + "/caf\xC3\xA9/\xE2\x82\xAC\x81.html"));
  EXPECT_THAT(reporter.errorReports, IsEmpty());
}

TEST_F(EngineOverHttp, EmptyPageGivesItsPageRowAndNoReport) {
  server.Serve("/empty.html", "");
  EXPECT_TRUE(Extract(server.Url("/empty.html")));
  EXPECT_THAT(results.rows, ElementsAre(server.Url("/empty.html")));
  EXPECT_THAT(reporter.errorReports, IsEmpty());
  EXPECT_THAT(reporter.notFound, IsEmpty());
}

TEST_F(EngineOverHttp, ErrorStatusIsAFailedPageAndItsBodyIsNotScanned) {
  server.Serve("/gone.html", "<a href=\"ghost.html\">", "text/html", 404);
  server.Serve("/broken.html", "<a href=\"ghost.html\">", "text/html", 500);
  EXPECT_FALSE(Extract(server.Url("/gone.html")));
  ExpectOnlyFailure(server.Url("/gone.html"), "HTTP 404");
  reporter.notFound.clear();
  EXPECT_FALSE(Extract(server.Url("/broken.html")));
  ExpectOnlyFailure(server.Url("/broken.html"), "HTTP 500 after 4 tries");
}

TEST_F(EngineOverHttp, RedirectIsFollowedAndLinksResolveAgainstTheEnteredAddress) {
  server.Redirect("/old/", "/new/page.html");
  server.Serve("/new/page.html", "<a href=\"x.html\">");
  EXPECT_TRUE(Extract(server.Url("/old")));
  EXPECT_THAT(results.rows, ElementsAre(server.Url("/old/"), server.Url("/old/x.html")));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].path, "/new/page.html");
}

TEST_F(EngineOverHttp, RedirectsStopAtTheLimit) {
  settings.maxRedirects = 1;
  server.Redirect("/r1/", "/r2/");
  server.Redirect("/r2/", "/r3/");
  server.Serve("/r3/", "<a href=\"x.html\">");
  EXPECT_FALSE(Extract(server.Url("/r1/")));
  ExpectOnlyFailure(server.Url("/r1/"), "Maximum (1) redirects followed");
}

TEST_F(EngineOverHttp, RedirectToAnotherSchemeIsRefused) {
  server.Redirect("/to-ftp/", "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/x");
  EXPECT_FALSE(Extract(server.Url("/to-ftp/")));
  ExpectOnlyFailure(server.Url("/to-ftp/"),
                    "Protocol \"ftp\" not supported or disabled in libcurl");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(EngineOverHttp, AddressThatIsNotHttpFailsWithoutTraffic) {
  // Starts with "http", so the engine does not prefix it.
  const std::string address = "httpx://127.0.0.1:" + std::to_string(server.Port()) + "/a.html";
  EXPECT_FALSE(Extract(address));
  ExpectOnlyFailure(address, "Only http and https addresses can be downloaded");
  EXPECT_THAT(server.Requests(), IsEmpty());
}

TEST_F(EngineOverHttp, SchemeInCapitalsIsAccepted) {
  server.Serve("/a.html", "<a href=\"b.html\">");
  const std::string address = "HTTP://127.0.0.1:" + std::to_string(server.Port()) + "/a.html";
  EXPECT_TRUE(Extract(address));
  EXPECT_EQ(results.rows.size(), 2u);
}

TEST_F(EngineOverHttp, GzipBodyIsScannedDecoded) {
  server.ServeGzip("/z/packed.html", "<p>text</p><a href=\"inside.html\">");
  EXPECT_TRUE(Extract(server.Url("/z/packed.html")));
  EXPECT_THAT(results.rows,
              ElementsAre(server.Url("/z/packed.html"), server.Url("/z/inside.html")));
}

TEST_F(EngineOverHttp, TwoPagesInARowShareTheFileAndTheConnection) {
  server.Serve("/long.html", std::string(5000, ' ') + "<a href=\"late.html\">");
  server.Serve("/short.html", "<a href=\"s.html\">");
  EXPECT_TRUE(Extract(server.Url("/long.html")));
  EXPECT_THAT(FolderEntries(testing::PrivateTempFolderPath()), IsEmpty());
  EXPECT_TRUE(Extract(server.Url("/short.html")));
  EXPECT_THAT(results.rows, ElementsAre(server.Url("/long.html"), server.Url("/late.html"),
                                        server.Url("/short.html"), server.Url("/s.html")));
  EXPECT_THAT(FolderEntries(testing::PrivateTempFolderPath()), IsEmpty());
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].clientPort, requests[1].clientPort);
}

TEST_F(EngineOverHttp, APrivateFolderRemovedMeanwhileIsMadeAgain) {
  server.Serve("/a.html", "<a href=\"x.html\">");
  EXPECT_TRUE(Extract(server.Url("/a.html")));
  std::filesystem::remove_all(testing::PrivateTempFolderPath());
  EXPECT_TRUE(Extract(server.Url("/a.html")));
  EXPECT_EQ(results.rows.size(), 4u);
  EXPECT_THAT(reporter.errorReports, IsEmpty());
  EXPECT_THAT(reporter.notFound, IsEmpty());
}

TEST_F(EngineOverHttp, StalledTransferIsAbandoned) {
  settings.stallTimeout = std::chrono::seconds(1);
  settings.retries = 0;
  server.Stall("/stall/");
  EXPECT_FALSE(Extract(server.Url("/stall/")));
  ExpectOnlyFailure(server.Url("/stall/"),
                    "Operation too slow. Less than 1 bytes/sec transferred the last 1 seconds");
}

TEST_F(EngineOverHttp, ConnectionClosedMidBodyIsAFailedPage) {
  server.CloseMidBody("/cut/", 100, std::string(10, 'a'));
  EXPECT_FALSE(Extract(server.Url("/cut/")));
  ExpectOnlyFailure(server.Url("/cut/"),
                    "transfer closed with 90 bytes remaining to read after 4 tries");
}

TEST_F(EngineOverHttp, BodyOverTheCapIsAFailedPage) {
  settings.maxBodyBytes = 100;
  server.Serve("/exact.html", std::string(100, 'a'));
  server.Serve("/over.html", std::string(101, 'a'));
  // Compressed it is small; only the decoded size tells.
  server.ServeGzip("/packed.html", std::string(1000, 'a'));
  EXPECT_TRUE(Extract(server.Url("/exact.html")));
  results.rows.clear();
  EXPECT_FALSE(Extract(server.Url("/over.html")));
  ExpectOnlyFailure(server.Url("/over.html"), "Page larger than 100 bytes");
  reporter.notFound.clear();
  EXPECT_FALSE(Extract(server.Url("/packed.html")));
  ExpectOnlyFailure(server.Url("/packed.html"), "Page larger than 100 bytes");
}

TEST_F(EngineOverHttp, AddressIsEncodedForTheRequestOnly) {
  server.Serve("/my dir/caf\xC3\xA9.html", "<a href=\"x y.html\">");
  const std::string address = server.Url("/my dir/caf\xC3\xA9.html");
  EXPECT_TRUE(Extract(address));
  EXPECT_THAT(results.rows, ElementsAre(address, server.Url("/my dir/x y.html")));
}

TEST_F(EngineOverHttp, TheBodyIsAlsoStoredInAPrivatePageFile) {
  server.Serve("/long.html", std::string(300, 'L'));
  server.Serve("/short.html", "short");
  const std::uint64_t first = Downloader().Start(server.Url("/long.html"), CreatePageFile(5));
  ASSERT_TRUE(Downloader().Collect(first, std::chrono::seconds(20))->ok);
  const std::uint64_t second = Downloader().Start(server.Url("/short.html"), CreatePageFile(5));
  const std::optional<FetchedPage> page = Downloader().Collect(second, std::chrono::seconds(20));
  ASSERT_TRUE(page.has_value());
  EXPECT_TRUE(page->ok);
  EXPECT_EQ(page->reason, "");
  EXPECT_EQ(page->body.View(), "short");
  EXPECT_EQ(ReadFile(TempPagePath(5)), "short");
  struct stat st {};
  ASSERT_EQ(::stat(TempPagePath(5).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  RemovePageFile(5);
}

TEST_F(EngineOverHttp, APlantedLinkAtThePageFileIsNotFollowed) {
  server.Serve("/a.html", "planted?");
  const std::string victim = testing::PrivateTempFolderPath() + "/victim";
  WriteFileAtomically(victim, "keep me");
  ASSERT_EQ(::symlink(victim.c_str(), TempPagePath(1).c_str()), 0);
  EXPECT_FALSE(Extract(server.Url("/a.html")));
  EXPECT_THAT(reporter.errorReports,
              ElementsAre("Cannot create " + TempPagePath(1) +
                          ": Too many levels of symbolic links\r\nin Quillmere2021/08/31."
                          "ExtractLinks.GetUrls at line 102\r\rPlease email screenshot of this "
                          "message to support@quillmere.example"));
  EXPECT_THAT(reporter.notFound, ElementsAre(NotFound{server.Url("/a.html"), "no temporary file"}));
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_THAT(server.Requests(), IsEmpty());
  ::unlink(TempPagePath(1).c_str());
  ::unlink(victim.c_str());
}

// ---- Tries again --------------------------------------------------------------

using Answer = TestHttpServer::Answer;

// A failure that may pass is tried again, after a growing wait or the one the
// server asks for; one that will not pass is not. Each try starts its page
// file afresh.
TEST_F(EngineOverHttp, FailuresThatMayPassAreTriedAgain) {
  using std::chrono::milliseconds;
  struct Case {
    std::vector<Answer> answers;
    std::string reason;  // empty: found, as "fresh"
    size_t requests;
    std::vector<milliseconds> waits;  // each at most a quarter longer when not asked for
  };
  const Answer fresh{200, "fresh", {}};
  // Past the first megabyte, so that it reaches the page file before the cut.
  const Answer cut{200, std::string(1536 * 1024, 's'), {}, true};
  const Answer busy{503, "busy", {}};
  const Answer slowDown{429, "slow down", {{"Retry-After", "3"}}};
  const Answer comeTomorrow{503, "later", {{"Retry-After", "86400"}}};
  const Case cases[] = {
      {{cut, busy, fresh}, "", 3, {milliseconds(1000), milliseconds(2000)}},
      {{slowDown, fresh}, "", 2, {milliseconds(3000)}},
      {{busy},
       "HTTP 503 after 4 tries",
       4,
       {milliseconds(1000), milliseconds(2000), milliseconds(4000)}},
      {{{404, "gone", {}}, fresh}, "HTTP 404", 1, {}},
      {{busy, {410, "gone", {}}}, "HTTP 410 after 2 tries", 2, {milliseconds(1000)}},
      {{comeTomorrow}, "HTTP 503: the server asks to wait 86400 s, longer than 60 s", 1, {}},
  };
  int caseNumber = 0;
  for (const Case& c : cases) {
    const std::string path = "/again" + std::to_string(++caseNumber);
    downloader.reset();  // one that has not learnt how busy the host was
    server.ServeInTurn(path, c.answers);
    const size_t requestsBefore = server.Requests().size();
    const size_t idlesBefore = clock.Idles().size();
    const std::uint64_t ticket = Downloader().Start(server.Url(path), CreatePageFile(7));
    const std::optional<FetchedPage> page = Downloader().Collect(ticket, std::chrono::seconds(20));
    ASSERT_TRUE(page.has_value()) << path;
    EXPECT_EQ(page->ok, c.reason.empty()) << path;
    EXPECT_EQ(page->reason, c.reason);
    if (page->ok) {
      EXPECT_EQ(page->body.View(), "fresh");
      EXPECT_EQ(ReadFile(TempPagePath(7)), "fresh");
    }
    EXPECT_EQ(server.Requests().size() - requestsBefore, c.requests) << path;
    const std::vector<milliseconds> idles = clock.Idles();
    ASSERT_EQ(idles.size() - idlesBefore, c.waits.size()) << path;
    for (size_t i = 0; i < c.waits.size(); ++i) {
      const bool asked = c.answers[std::min(i, c.answers.size() - 1)].headers.size() == 1;
      EXPECT_GE(idles[idlesBefore + i], c.waits[i]) << path;
      EXPECT_LE(idles[idlesBefore + i], asked ? c.waits[i] : c.waits[i] * 5 / 4) << path;
    }
  }
  RemovePageFile(7);
}

// ---- What every request carries ---------------------------------------------

TEST_F(EngineOverHttp, RequestOptionsReachTheServer) {
  const testing::ScopedTempDir folder;
  const std::string cookieFile = folder / "cookies.txt";
  testing::WriteTestFile(cookieFile,
                         "# Netscape HTTP Cookie File\n"
                         "127.0.0.1\tFALSE\t/\tFALSE\t0\tfromfile\tyes\n");
  settings.userAgent = "Tester/1.0";
  settings.headers = {"X-One: 1", "Accept-Language: fr"};
  settings.cookieFile = cookieFile;
  server.ServeInTurn("/sets.html", {{200, "set", {{"Set-Cookie", "session=abc; Path=/"}}}});
  server.ServeAfter("/slow.html", "slow", std::chrono::milliseconds(1000));
  server.Serve("/reads.html", "read");
  ASSERT_TRUE(Extract(server.Url("/sets.html")));
  // While the slow page holds a handle and its connection, the next page
  // goes through another one: the cookie set must reach it all the same.
  const std::uint64_t slow = Downloader().Start(server.Url("/slow.html"), CreatePageFile(8));
  EXPECT_TRUE(Extract(server.Url("/reads.html")));
  EXPECT_TRUE(Downloader().Collect(slow, std::chrono::seconds(20))->ok);
  RemovePageFile(8);

  // The two later requests may reach the server in either order.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  const auto seen = [&](const std::string& path) {
    return *std::find_if(requests.begin(), requests.end(),
                         [&](const auto& request) { return request.path == path; });
  };
  for (const auto& request : requests) {
    EXPECT_EQ(request.userAgent, "Tester/1.0");
    EXPECT_EQ(request.Header("X-One"), "1");
    EXPECT_EQ(request.Header("Accept-Language"), "fr");
  }
  EXPECT_EQ(requests[0].Header("Cookie"), "fromfile=yes");
  EXPECT_THAT(seen("/reads.html").Header("Cookie"),
              ::testing::AnyOf("fromfile=yes; session=abc", "session=abc; fromfile=yes"));
  EXPECT_NE(seen("/slow.html").clientPort, seen("/reads.html").clientPort);
}

TEST_F(EngineOverHttp, AProxyGivenReceivesTheWholeAddress) {
  // The server stands in for the proxy; the name is never looked up.
  settings.proxy = server.Url("");
  server.Serve("http://pages.example.test/p.html", "<a href=\"q.html\">");
  EXPECT_TRUE(Extract("http://pages.example.test/p.html"));
  EXPECT_THAT(results.rows,
              ElementsAre("http://pages.example.test/p.html", "http://pages.example.test/q.html"));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].path, "http://pages.example.test/p.html");
}

// ---- The page file failing at each step ------------------------------------

class PageFileFailures : public EngineOverHttp {
 protected:
  PageFileFailures() { pageFiles = &fakePageFiles; }
  void TearDown() override { EXPECT_THAT(fakePageFiles.Present(), IsEmpty()) << "page file left"; }

  // A page over the first megabyte, which goes to its file while it arrives
  // and is read back from there.
  std::string ServeLargePage(const std::string& path, const std::string& link) {
    server.Serve(path, std::string(1536 * 1024, ' ') + "<a href=\"" + link + "\">");
    return server.Url(path);
  }
};

// A page that cannot be written fails with the write's own words, whether
// the write comes while the page arrives or at its end; its file goes.
TEST_F(PageFileFailures, AWriteThatFailsFailsThePage) {
  server.Serve("/small.html", "<a href=\"x.html\">");
  const std::string large = ServeLargePage("/large.html", "y.html");
  fakePageFiles.FailWrite("No space left on device");
  EXPECT_FALSE(Extract(server.Url("/small.html")));
  EXPECT_FALSE(Extract(large));
  EXPECT_THAT(results.rows, IsEmpty());
  EXPECT_THAT(reporter.errorReports, IsEmpty());
  const std::string reason = "Could not write the page file: No space left on device";
  EXPECT_THAT(reporter.notFound,
              ElementsAre(NotFound{server.Url("/small.html"), reason}, NotFound{large, reason}));
  EXPECT_THAT(fakePageFiles.Calls(), ElementsAre("Create 1", "Write 1", "Remove 1",  //
                                                 "Create 1", "Write 1", "Remove 1"));
}

// A large page that cannot be read back fails; nothing of it, nor of the
// page before it, is scanned in its place.
TEST_F(PageFileFailures, AMappingThatFailsFailsThePageAndScansNoStaleBytes) {
  const std::string first = ServeLargePage("/first.html", "one.html");
  const std::string second = ServeLargePage("/second.html", "two.html");
  EXPECT_TRUE(Extract(first));
  fakePageFiles.FailMap("Out of memory");
  EXPECT_FALSE(Extract(second));
  fakePageFiles.Heal();
  EXPECT_TRUE(Extract(second));
  EXPECT_THAT(results.rows,
              ElementsAre(first, server.Url("/one.html"), second, server.Url("/two.html")));
  EXPECT_THAT(reporter.errorReports, IsEmpty());
  EXPECT_THAT(reporter.notFound,
              ElementsAre(NotFound{second, "Could not write the page file: Out of memory"}));
  const auto page = {"Create 1", "Write 1", "Write 1", "Map 1", "Remove 1"};
  std::vector<std::string> calls;
  for (int i = 0; i < 3; ++i) calls.insert(calls.end(), page.begin(), page.end());
  EXPECT_EQ(fakePageFiles.Calls(), calls);
}

// ---- Many pages at once --------------------------------------------------------

class ManyPagesOverHttp : public EngineOverHttp {
 protected:
  // Each page links to its neighbour; later pages answer sooner.
  std::vector<std::string> ServePagesSlowestFirst(int count) {
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i) {
      const std::string path = "/many/p" + std::to_string(i) + ".html";
      const auto delay = std::chrono::milliseconds(10 * (count - i));
      if (i == count / 2) {
        server.ServeAfter(path, "gone", delay, 404);
      } else {
        server.ServeAfter(path, "<a href=\"n" + std::to_string(i + 1) + ".html\">", delay);
      }
      addresses.push_back(server.Url(path));
    }
    return addresses;
  }

  // Every address through the engine, `ahead` of them started in advance.
  std::vector<std::string> ExtractAll(const std::vector<std::string>& addresses, size_t ahead) {
    results.rows.clear();
    ExtractLinks pages(Downloader(), reporter, YieldFn{}, *pageFiles);
    size_t started = 0;
    for (size_t i = 0; i < addresses.size(); ++i) {
      while (ahead > 0 && started < std::min(addresses.size(), i + ahead)) {
        pages.Prefetch(addresses[started++], 1);
      }
      pages.GetUrls(results, addresses[i], 1);
    }
    return results.rows;
  }
};

TEST_F(ManyPagesOverHttp, RowsAndMessagesKeepListOrderWhenLaterPagesFinishFirst) {
  const std::vector<std::string> addresses = ServePagesSlowestFirst(12);
  const std::vector<std::string> oneAtATime = ExtractAll(addresses, 0);
  const std::vector<NotFound> oneAtATimeNotFound = reporter.notFound;
  reporter.notFound.clear();
  EXPECT_EQ(ExtractAll(addresses, 12), oneAtATime);
  EXPECT_EQ(reporter.notFound, oneAtATimeNotFound);
  ASSERT_EQ(oneAtATime.size(), 2u * 11);
  EXPECT_EQ(oneAtATime[0], addresses[0]);
  EXPECT_EQ(oneAtATime[1], server.Url("/many/n1.html"));
  EXPECT_THAT(oneAtATimeNotFound, ElementsAre(NotFound{addresses[6], "HTTP 404"}));
  EXPECT_THAT(reporter.errorReports, IsEmpty());
  EXPECT_THAT(FolderEntries(testing::PrivateTempFolderPath()), IsEmpty());
}

// Pages waiting for their turn may hold little memory: the page whose turn
// it is must still come, and so must every page after it.
TEST_F(ManyPagesOverHttp, PagesOverTheWaitingBudgetPauseAndStillArriveWhole) {
  settings.waitingBudget = 64 * 1024;
  std::vector<std::string> addresses;
  for (int i = 0; i < 6; ++i) {
    std::string body(300 * 1024, 'a' + i);
    body += "<a href=\"end" + std::to_string(i) + ".html\">";
    server.ServeAfter("/big" + std::to_string(i) + ".html", body,
                      std::chrono::milliseconds(i == 0 ? 300 : 0));
    addresses.push_back(server.Url("/big" + std::to_string(i) + ".html"));
  }
  const std::vector<std::string> rows = ExtractAll(addresses, 6);
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(rows[11], server.Url("/end5.html"));
  EXPECT_THAT(reporter.notFound, IsEmpty());
  EXPECT_THAT(FolderEntries(testing::PrivateTempFolderPath()), IsEmpty());
}

// A small compressed body that decodes to far more than the budget, queued
// behind a full one: a pause holds its raw bytes only, so it comes as it does
// one page at a time.
TEST_F(ManyPagesOverHttp, ALargeCompressedPageBehindAFullBudgetArrivesWhole) {
  settings.waitingBudget = 64 * 1024;
  server.ServeAfter("/first.html", std::string(300 * 1024, 'f') + "<a href=\"one.html\">",
                    std::chrono::milliseconds(300));
  server.ServeGzip("/packed.html", std::string(80 << 20, ' ') + "<a href=\"end.html\">");
  server.Serve("/last.html", "<a href=\"last-link.html\">");
  const std::vector<std::string> addresses = {server.Url("/first.html"), server.Url("/packed.html"),
                                              server.Url("/last.html")};
  const std::vector<std::string> rows = ExtractAll(addresses, 3);
  EXPECT_THAT(reporter.notFound, IsEmpty());
  EXPECT_EQ(rows, ExtractAll(addresses, 0));
  EXPECT_THAT(rows,
              ElementsAre(addresses[0], server.Url("/one.html"), addresses[1],
                          server.Url("/end.html"), addresses[2], server.Url("/last-link.html")));
}

// The first page is tried again while every place for a transfer is held by
// a later page paused for memory: its turn lets it start all the same.
TEST_F(ManyPagesOverHttp, APageTriedAgainIsNotHeldUpByPagesPausedForMemory) {
  settings.jobs = 2;
  settings.waitingBudget = 64 * 1024;
  // Its connection closes, so its next try needs a new one.
  server.ServeInTurn("/first.html",
                     {{503, "busy", {{"Connection", "close"}}}, {200, "<a href=\"f.html\">", {}}});
  std::vector<std::string> addresses = {server.Url("/first.html")};
  for (int i = 0; i < 2; ++i) {
    const std::string path = "/big" + std::to_string(i) + ".html";
    server.Serve(path, std::string(300 * 1024, 'a') + "<a href=\"b.html\">");
    addresses.push_back(server.Url(path));
  }
  const std::vector<std::string> rows = ExtractAll(addresses, 3);
  EXPECT_EQ(rows.size(), 6u);
  EXPECT_THAT(reporter.notFound, IsEmpty());
}

TEST_F(ManyPagesOverHttp, CancellingLeavesNoPageFileAndDoesNotWaitForTransfers) {
  server.Stall("/stalled.html");
  server.Serve("/quick.html", "quick");
  {
    ExtractLinks pages(Downloader(), reporter);
    pages.Prefetch(server.Url("/quick.html"), 1);
    pages.Prefetch(server.Url("/stalled.html"), 1);
    pages.Prefetch(server.Url("/stalled.html"), 1);
    ASSERT_TRUE(pages.GetUrls(results, server.Url("/quick.html"), 1));
    pages.CancelPrefetches();
  }
  downloader.reset();  // ends the transfer thread and whatever it still had
  EXPECT_THAT(FolderEntries(testing::PrivateTempFolderPath()), IsEmpty());
  EXPECT_THAT(results.rows, ElementsAre(server.Url("/quick.html")));
}

// Under a low open-file limit the downloads at once are fitted to it, the
// user told once, and no page fails for want of a descriptor.
TEST(OpenFileLimit, DownloadsFitTheDescriptorsAndLoseNoPage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child starts afresh
  const auto run = [] {
    const rlimit low{64, 64};
    if (::setrlimit(RLIMIT_NOFILE, &low) != 0) std::_Exit(3);
    UseTestTempBase();
    TestHttpServer server;
    std::vector<std::string> addresses;
    for (int i = 0; i < 300; ++i) {
      const std::string path = "/fd/p" + std::to_string(i) + ".html";
      server.Serve(path, "<a href=\"x.html\">");
      addresses.push_back(server.Url(path));
    }
    DownloadSettings settings;
    std::vector<std::string> told;
    settings.jobs =
        JobsThatFitOpenFiles(20, [&](const std::string& message) { told.push_back(message); });
    CurlDownloader downloader(settings);
    RecordingReporter reporter;
    ExtractLinks pages(downloader, reporter);
    VectorSink results;
    const size_t ahead = 2 * static_cast<size_t>(settings.jobs);
    size_t started = 0;
    for (size_t i = 0; i < addresses.size(); ++i) {
      while (started < std::min(addresses.size(), i + 1 + ahead)) {
        pages.Prefetch(addresses[started++], 1);
      }
      pages.GetUrls(results, addresses[i], 1);
    }
    for (const auto& message : reporter.messages) std::fprintf(stderr, "%s\n", message.c_str());
    const std::vector<std::string> toldOnce = {
        "6 downloads at once instead of 20: the open-file limit is 64 (ulimit -n)"};
    const int status = told != toldOnce ? 2 : results.rows.size() == 2 * addresses.size() ? 0 : 1;
    // _Exit runs no destructors: the child clears the TEMP it made itself.
    RemovePrivateTempFolder();
    std::filesystem::remove_all(std::getenv("TEMP"));
    std::_Exit(status);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(OpenFileLimit, TheSoftLimitRisesToTheHardOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run = [] {
    const rlimit low{40, 200};
    if (::setrlimit(RLIMIT_NOFILE, &low) != 0) std::_Exit(3);
    rlimit now{};
    std::_Exit(RaiseOpenFileLimit() == 200 && ::getrlimit(RLIMIT_NOFILE, &now) == 0 &&
                       now.rlim_cur == 200
                   ? 0
                   : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(OpenFileLimit, JobsFitWhatTheLimitCarries) {
  struct Case {
    int jobs;
    long limit;
    int fitted;
  };
  const Case cases[] = {{64, 1024, 64}, {1000, 1024, 198}, {1000, 1 << 20, 1000},
                        {20, 64, 6},    {20, 40, 1},       {1, 10, 1}};
  for (const Case& c : cases) {
    const FittedJobs fitted = FitJobsToOpenFiles(c.jobs, c.limit);
    EXPECT_EQ(fitted.jobs, c.fitted) << c.jobs << " " << c.limit;
    EXPECT_EQ(fitted.message.empty(), c.fitted == c.jobs) << c.jobs << " " << c.limit;
  }
}

}  // namespace
}  // namespace verdigo
