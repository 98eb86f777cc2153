#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/extract_links.h"
#include "engine/href_scanner.h"
#include "tests/support/engine_recorders.h"
#include "tests/support/fake_downloader.h"

namespace verdigo {
namespace {

using namespace std::string_view_literals;
using testing::RecordingReporter;
using testing::VectorSink;

// Scans `page` as the page of `entered` and returns its rows.
std::vector<std::string> Scan(std::string_view page, std::string_view entered = "http://h/d/") {
  testing::FakeDownloader downloader;
  RecordingReporter reporter;
  ExtractLinks engine(downloader, reporter);
  engine.PreparePageUrl(entered);
  engine.SetPage(page);
  VectorSink sink;
  engine.ScanForLinks(sink);
  EXPECT_TRUE(reporter.messages.empty());
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

// Pages that lie right after memory no one may read, or end right before it:
// a scan that reads one byte outside the page dies at once, ASan or not.
class GuardedPage {
 public:
  GuardedPage() {
    void* mapped =
        ::mmap(nullptr, 3 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::runtime_error("mmap failed");
    memory_ = static_cast<char*>(mapped);
    ::mprotect(memory_, size_, PROT_NONE);
    ::mprotect(memory_ + 2 * size_, size_, PROT_NONE);
  }
  ~GuardedPage() { ::munmap(memory_, 3 * size_); }
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;

  std::string_view AtStart(std::string_view bytes) { return Place(memory_ + size_, bytes); }
  std::string_view AtEnd(std::string_view bytes) {
    return Place(memory_ + 2 * size_ - bytes.size(), bytes);
  }

 private:
  static std::string_view Place(char* at, std::string_view bytes) {
    if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
    return {at, bytes.size()};
  }

  const size_t size_ = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  char* memory_ = nullptr;
};

TEST(FindNextHrefQuote, ReadsNothingOutsideThePage) {
  GuardedPage guarded;
  const std::string tail(40, 'x');
  // Every ending of the pattern at the very start, alone and before enough
  // bytes for the sixteen-byte compares; every beginning of it at the very end.
  for (std::string_view pattern : {"href=\""sv, "HREF=\""sv}) {
    for (size_t cut = 0; cut <= pattern.size(); ++cut) {
      for (const std::string& page :
           {std::string(pattern.substr(cut)), std::string(pattern.substr(cut)) + tail}) {
        const std::string_view view = guarded.AtStart(page);
        const size_t expected = cut == 0 ? 5 : kNoMatch;
        for (size_t from = 0; from <= view.size(); ++from) {
          ASSERT_EQ(FindNextHrefQuote(view, from, view.size()),
                    from <= expected ? expected : kNoMatch)
              << page << " from " << from;
        }
      }
      const std::string head = tail + std::string(pattern.substr(0, cut));
      const std::string_view view = guarded.AtEnd(head);
      const size_t expected = cut == pattern.size() ? view.size() - 1 : kNoMatch;
      ASSERT_EQ(FindNextHrefQuote(view, 0, view.size()), expected) << head;
      std::string_view target;
      EXPECT_FALSE(ReadTargetAt(view, view.size(), target));
    }
  }
}

TEST(FindNextHrefQuote, AgreesWithTheLiteralScanOnRandomPages) {
  // Pages drawn from a small alphabet so that matches, near misses and
  // matches across 16-byte blocks and slice borders are all frequent.
  static constexpr std::string_view alphabet = "hrefHREF=\"' x\xE9\0"sv;
  static_assert(alphabet.back() == '\0');
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

}  // namespace
}  // namespace verdigo
