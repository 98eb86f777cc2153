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

// Lines read piece by piece, as from a pipe: the same lines wherever the
// pieces end, a CR at the end of a piece included.
TEST(ListLines, PiecesGiveTheSameLinesAsTheWhole) {
  const std::string text = "a\r\nbb\r\rccc\n\r\nd\r";
  for (size_t pieceBytes = 1; pieceBytes <= text.size(); ++pieceBytes) {
    ListLineSplitter splitter;
    L lines;
    const auto take = [&](std::string_view line, bool) { lines.emplace_back(line); };
    for (size_t at = 0; at < text.size(); at += pieceBytes) {
      splitter.Feed(std::string_view(text).substr(at, pieceBytes), take);
    }
    splitter.Finish(take);
    EXPECT_EQ(lines, Lines(text)) << pieceBytes;
  }
}

TEST(ListLines, ALineOverTheLimitIsPassedOnAsTooLongWithoutItsBytes) {
  ListLineSplitter splitter(4);
  std::vector<std::pair<std::string, bool>> lines;
  const auto take = [&](std::string_view line, bool tooLong) {
    lines.emplace_back(std::string(line), tooLong);
  };
  splitter.Feed("abcd\nabc", take);
  splitter.Feed("de\nok", take);
  splitter.Finish(take);
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, bool>>{
                       {"abcd", false}, {"", true}, {"ok", false}}));
}

}  // namespace
}  // namespace verdigo
