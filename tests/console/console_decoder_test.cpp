#include "console/console_decoder.h"

#include <gtest/gtest.h>

namespace verdigo {
namespace {

std::string DecodeInPieces(std::string_view utf8, size_t pieceSize) {
  ConsoleDecoder decoder;
  std::string out;
  for (size_t i = 0; i < utf8.size(); i += pieceSize) decoder.Feed(utf8.substr(i, pieceSize), out);
  decoder.Finish(out);
  return out;
}

TEST(ConsoleDecoder, CharactersSplitAcrossChunksArriveWhole) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xC5\x92z";  // a é € Œ z
  for (size_t piece : {1, 2, 3, 100}) {
    EXPECT_EQ(DecodeInPieces(utf8, piece), "a\xE9\x80\x8Cz") << "pieces of " << piece;
  }
}

TEST(ConsoleDecoder, WhatTheCodePageCannotHoldBecomesQuestionMarks) {
  EXPECT_EQ(DecodeInPieces("\xCE\xA9", 1), "?");            // Omega: not in the code page
  EXPECT_EQ(DecodeInPieces("\xF0\x9F\x98\x80!", 2), "?!");  // beyond 16 bits
  EXPECT_EQ(DecodeInPieces("\xFF"
                           "a\xC3"
                           "b",
                           1),
            "?a?b");                                  // stray byte, cut-short character
  EXPECT_EQ(DecodeInPieces("\xE0\x80\xAF", 1), "?");  // overlong form of '/'
  EXPECT_EQ(DecodeInPieces("ok\xE2\x82", 4), "ok?");  // unfinished at the end
}

}  // namespace
}  // namespace verdigo
