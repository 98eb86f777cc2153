#include "common/list_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verdigo {
namespace {

std::vector<std::string> Lines(std::string_view bytes) {
  std::vector<std::string> lines;
  ForEachListLine(bytes, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

using L = std::vector<std::string>;

TEST(ListLines, EveryTerminatorEndsALineAndAFinalOneAddsNothing) {
  EXPECT_EQ(Lines("a\r\nb\r\n"), (L{"a", "b"}));
  EXPECT_EQ(Lines("a\nb\n"), (L{"a", "b"}));
  EXPECT_EQ(Lines("a\rb\r"), (L{"a", "b"}));
  EXPECT_EQ(Lines("a\r\nb\nc\r\n"), (L{"a", "b", "c"}));
  EXPECT_EQ(Lines("a\nb"), (L{"a", "b"}));
}

TEST(ListLines, EmptyLinesInsideAreKeptAndNothingIsTrimmed) {
  EXPECT_EQ(Lines("a\r\n\r\nb"), (L{"a", "", "b"}));
  EXPECT_EQ(Lines("a\r\n\r\n"), (L{"a", ""}));
  EXPECT_EQ(Lines("\n"), (L{""}));
  EXPECT_EQ(Lines(" a \t\n\xE9\x81"), (L{" a \t", "\xE9\x81"}));
  EXPECT_EQ(Lines(""), L{});
  // CR then LF is one terminator; LF then CR is two.
  EXPECT_EQ(Lines("a\n\rb"), (L{"a", "", "b"}));
}

}  // namespace
}  // namespace verdigo
