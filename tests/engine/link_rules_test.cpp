#include "engine/link_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace verdigo {
namespace {

struct PageCase {
  const char* entered;
  const char* pageUrl;
  const char* baseUrl;
};

TEST(PreparePage, NormalisesEnteredAddresses) {
  const PageCase cases[] = {
      {"HOST", "http://HOST/", "http://HOST"},
      {"HOST/dir", "http://HOST/dir/", "http://HOST/dir"},
      {"http://HOST/dir/", "http://HOST/dir/", "http://HOST/dir"},
      {"http://HOST/dir/page.htm", "http://HOST/dir/page.htm", "http://HOST/dir"},
      {"http://HOST/dir/page.html", "http://HOST/dir/page.html", "http://HOST/dir"},
      {"http://HOST/dir/PAGE.HTM", "http://HOST/dir/PAGE.HTM/", "http://HOST/dir/PAGE.HTM"},
      {"http://HOST/list.php?id=1", "http://HOST/list.php?id=1/", "http://HOST/list.php?id=1"},
      {"HTTPS://HOST/a", "HTTPS://HOST/a/", "HTTPS://HOST/a"},
      // Edge cases: the empty address, another scheme, a short address, .shtml.
      {"", "http://", "http:/"},
      {"ftp://HOST/x", "http://ftp://HOST/x/", "http://ftp://HOST/x"},
      {"ab", "http://ab/", "http://ab"},
      {"http://HOST/a.shtml", "http://HOST/a.shtml", "http://HOST"},
      // The htm test looks at the address as entered, not the prefixed one.
      {"HOST/index.htm", "http://HOST/index.htm", "http://HOST"},
  };
  for (const auto& c : cases) {
    const PreparedPage page = PreparePage(c.entered);
    EXPECT_EQ(page.pageUrl, c.pageUrl) << c.entered;
    EXPECT_TRUE(page.hasBase) << c.entered;
    EXPECT_EQ(page.baseUrl, c.baseUrl) << c.entered;
  }
}

TEST(PreparePage, AddressWithoutSlashKeepsThePreviousBase) {
  const PreparedPage page = PreparePage("httpindex.htm");
  EXPECT_EQ(page.pageUrl, "httpindex.htm");
  EXPECT_FALSE(page.hasBase);
}

TEST(ResolveLink, FollowsTheFixedTextRules) {
  const std::pair<const char*, const char*> cases[] = {
      {"page.htm", "http://HOST/dir/page.htm"},
      {"page.html", "http://HOST/dir/page.html"},
      {"/about.htm", "http://HOST/dir/about.htm"},
      {"sub", "http://HOST/dir/sub/"},
      {"sub/", "http://HOST/dir/sub/"},
      {"image.gif", "http://HOST/dir/image.gif/"},
      {"page.HTM", "http://HOST/dir/page.HTM/"},
      {"page.shtml", "http://HOST/dir/page.shtml/"},
      {"../up.htm", "http://HOST/dir/../up.htm"},
      {"#top", "http://HOST/dir/#top/"},
      {"mailto:someone", "http://HOST/dir/mailto:someone/"},
      {"//OTHER/x.htm", "http://HOST/dir//OTHER/x.htm"},
      {"x.htm/y", "http://HOST/dir/x.htmy/"},
      {"http://OTHER", "http://OTHER/"},
      {"http://OTHER/x.html", "http://OTHER/x.html"},
      {"HTTPS://OTHER/a.php?b=1", "HTTPS://OTHER/a.php?b=1/"},
      {"http-guide.htm", "http-guide.htm"},
      {"", "http://HOST/dir/"},
      {"/", "http://HOST/dir/"},
  };
  std::string row;
  for (const auto& [target, expected] : cases) {
    ResolveLink(target, "http://HOST/dir", row);
    EXPECT_EQ(row, expected) << "target: " << target;
  }
}

TEST(ResolveLink, DropsOnlyOneLeadingSlashAndEverySlashAfterHtm) {
  std::string row;
  ResolveLink("//a", "http://h", row);
  EXPECT_EQ(row, "http://h//a/");
  // Replacements do not rescan their own output.
  ResolveLink("a.htm/.htm//b", "http://h", row);
  EXPECT_EQ(row, "http://h/a.htm.htm/b/");
  // .htm/ first, then .html/: a slash after .htm then "l" still folds.
  ResolveLink("a.htm/l", "http://h", row);
  EXPECT_EQ(row, "http://h/a.html");
  ResolveLink("x.html/y.html", "http://h", row);
  EXPECT_EQ(row, "http://h/x.htmly.html");
}

TEST(ResolveLink, KeepsBytesAboveAsciiAndLineBreaks) {
  std::string row;
  ResolveLink("caf\xC3\xA9\r\n.htm", "http://h", row);
  EXPECT_EQ(row, "http://h/caf\xC3\xA9\r\n.htm");
}

}  // namespace
}  // namespace verdigo
