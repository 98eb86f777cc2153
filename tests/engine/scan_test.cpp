#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "engine/extract_links.h"
#include "engine/href_scanner.h"
#include "tests/support/fake_downloader.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

struct VectorSink : RowSink {
  std::vector<std::string> rows;
  void AppendRow(std::string_view row) override { rows.emplace_back(row); }
};

struct RecordingReporter : EngineReporter {
  std::vector<std::string> reports;
  void ShowErrorReport(const std::string& text) override { reports.push_back(text); }
  void UrlNotFound(std::string_view url, std::string_view) override {
    reports.push_back("URL not found: " + std::string(url));
  }
};

// Scans `page` as the page of `entered` and returns its rows.
std::vector<std::string> Scan(std::string_view page, std::string_view entered = "http://h/d/") {
  testing::FakeDownloader downloader;
  RecordingReporter reporter;
  ExtractLinks engine(downloader, reporter);
  engine.PreparePageUrl(entered);
  engine.SetPage(page);
  VectorSink sink;
  engine.ScanForLinks(sink);
  EXPECT_TRUE(reporter.reports.empty());
  return sink.rows;
}

using Rows = std::vector<std::string>;

TEST(ScanForLinks, FindsOnlyDoubleQuotedHrefInAnyCase) {
  EXPECT_EQ(
      Scan(R"(<a href="a"><A HREF="b"><a Href="c"><a hReF="d">)"),
      (Rows{"http://h/d/", "http://h/d/a/", "http://h/d/b/", "http://h/d/c/", "http://h/d/d/"}));
  EXPECT_EQ(Scan("<a href='a'> <a href=b> <a href =\"c\"> <a href= \"d\"> <a hre f=\"e\">"),
            (Rows{"http://h/d/"}));
}

TEST(ScanForLinks, MatchesAnywhereIncludingLongerNamesAndDuplicates) {
  EXPECT_EQ(
      Scan(R"(<!-- href="x" --><div data-href="y"><script>s='href="z"'</script>)"
           R"(<a href="x">)"),
      (Rows{"http://h/d/", "http://h/d/x/", "http://h/d/y/", "http://h/d/z/", "http://h/d/x/"}));
}

TEST(ScanForLinks, EmptyValueAndLineBreaksInsideTargets) {
  EXPECT_EQ(Scan("<a href=\"\"><a href=\"a\r\nb\">"),
            (Rows{"http://h/d/", "http://h/d/", "http://h/d/a\r\nb/"}));
}

TEST(ScanForLinks, PatternInsideATargetIsFoundToo) {
  // The target's own closing quote completes a second match.
  EXPECT_EQ(Scan(R"(<a href="xhref="y">)"),
            (Rows{"http://h/d/", "http://h/d/xhref=/", "http://h/d/y/"}));
}

TEST(ScanForLinks, UnterminatedTargetAndShortPagesGiveNoLinkRow) {
  EXPECT_EQ(Scan("<a href=\"never closed"), (Rows{"http://h/d/"}));
  EXPECT_EQ(Scan("x href=\""), (Rows{"http://h/d/"}));
  EXPECT_EQ(Scan("href="), (Rows{"http://h/d/"}));
  EXPECT_EQ(Scan(""), (Rows{"http://h/d/"}));
}

TEST(ScanForLinks, KeepsEveryByteOfTheTarget) {
  EXPECT_EQ(Scan("<a href=\"caf\xC3\xA9.html\"><a href=\"&amp; x \">", "http://h/p.htm"),
            (Rows{"http://h/p.htm", "http://h/caf\xC3\xA9.html", "http://h/&amp; x /"}));
}

TEST(ScanForLinks, YieldsAfterEveryRowAndAtLeastEverySlice) {
  testing::FakeDownloader downloader;
  RecordingReporter reporter;
  int yields = 0;
  ExtractLinks engine(downloader, reporter, [&] { ++yields; });
  engine.PreparePageUrl("h");
  std::string page(3 * ExtractLinks::kYieldSlice, ' ');
  page.replace(10, 9, "href=\"a\"");
  engine.SetPage(page);
  VectorSink sink;
  engine.ScanForLinks(sink);
  ASSERT_EQ(sink.rows.size(), 2u);
  EXPECT_GE(yields, 2 + 3);  // two rows, three slices
}

// The scan taken literally: a six-character window moved one byte at a time.
std::vector<size_t> LiteralMatches(std::string_view page) {
  std::vector<size_t> quotes;
  for (size_t i = 0; i + 6 <= page.size(); ++i) {
    std::string window(page.substr(i, 6));
    for (char& c : window) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (window == "href=\"") quotes.push_back(i + 5);
  }
  return quotes;
}

std::vector<size_t> FastMatches(std::string_view page, size_t slice) {
  std::vector<size_t> quotes;
  for (size_t from = 0; from < page.size(); from += slice) {
    const size_t to = std::min(page.size(), from + slice);
    for (size_t q = FindNextHrefQuote(page, from, to); q != kNoMatch;
         q = FindNextHrefQuote(page, q + 1, to)) {
      quotes.push_back(q);
    }
  }
  return quotes;
}

TEST(FindNextHrefQuote, AgreesWithTheLiteralScanOnRandomPages) {
  // Pages drawn from a small alphabet so that matches, near misses and
  // matches across 16-byte blocks and slice borders are all frequent.
  const std::string alphabet = "hrefHREF=\"' x\xE9\x00";
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    std::string page(random() % 400, ' ');
    for (char& c : page) c = alphabet[random() % alphabet.size()];
    for (int k = 0; k < 5; ++k) {
      const size_t at = page.empty() ? 0 : random() % page.size();
      page.insert(at, random() % 2 ? "href=\"" : "HrEf=\"");
    }
    const size_t slice = 1 + random() % 64;
    ASSERT_EQ(FastMatches(page, slice), LiteralMatches(page)) << "round " << round;
  }
}

// In a child shut in an empty folder, where no temporary folder can be made.
TEST(GetUrls, ATemporaryFolderThatCannotBeMadeIsReportedOnce) {
  const testing::ScopedTempDir root;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chroot(root.path().c_str()) != 0 || ::chdir("/") != 0) ::_exit(77);
    ::setenv("TEMP", "/missing", 1);
    testing::FakeDownloader downloader;
    RecordingReporter reporter;
    ExtractLinks engine(downloader, reporter);
    VectorSink sink;
    engine.GetUrls(sink, "http://h/a.html", 1);
    engine.GetUrls(sink, "http://h/b.html", 1);
    const std::vector<std::string> expected = {
        "Cannot make a temporary folder in /missing (Path not found), /tmp (Path not found)\r\n"
        "in Quillmere2021/08/31.ExtractLinks.GetUrls at line 102\r\r"
        "Please email screenshot of this message to support@quillmere.example",
        "URL not found: http://h/a.html", "URL not found: http://h/b.html"};
    ::_exit(reporter.reports == expected && sink.rows.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "chroot is not allowed here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace verdigo
