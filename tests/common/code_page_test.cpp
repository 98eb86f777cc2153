#include "common/code_page.h"

#include <gtest/gtest.h>

namespace verdigo {
namespace {

TEST(CodePage, EveryByteRoundTrips) {
  std::string all(256, '\0');
  for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
  EXPECT_EQ(EncodeCodePage(DecodeCodePage(all)), all);
}

TEST(CodePage, MapsTheWindowsCharactersAndTheFiveGaps) {
  EXPECT_EQ(CodePageToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(CodePageToUnicode(0x9F), u'\u0178');
  EXPECT_EQ(CodePageToUnicode(0xE9), u'\u00E9');
  for (unsigned char gap : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(CodePageToUnicode(gap), gap);
  }
  EXPECT_EQ(UnicodeToCodePage(u'\u2122'), 0x99);
  EXPECT_EQ(UnicodeToCodePage(u'\u0100'), '?');  // not in the code page
}

TEST(CodePage, Utf8OfCodePageText) {
  EXPECT_EQ(CodePageToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

}  // namespace
}  // namespace verdigo
