#include "common/ascii_case.h"

#include <gtest/gtest.h>

#include <string>

namespace verdigo {
namespace {

TEST(AsciiCase, FoldsTheAsciiLettersAndNothingElse) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool upper = byte >= 'A' && byte <= 'Z';
    EXPECT_EQ(AsciiLower(c), upper ? static_cast<char>(byte + 32) : c) << byte;
  }
}

TEST(AsciiCase, ComparesWholeTextsAndPrefixes) {
  static_assert(EqualsIgnoringAsciiCase("HrEf", "hReF"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("href", "hre"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("hr@f", "hr`f"));  // 0x40 and 0x60 differ by case bit
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC9", "\xE9"));  // É and é in the code page
  EXPECT_TRUE(EqualsIgnoringAsciiCase(std::string("a\0B", 3), std::string("A\0b", 3)));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("HTTPS://h/", "https://"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("x", ""));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("http:", "https"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("httq", "http"));
}

}  // namespace
}  // namespace verdigo
