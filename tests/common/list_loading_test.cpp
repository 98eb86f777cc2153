#include "common/list_loading.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/error_report.h"
#include "common/list_reader.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

using Items = std::vector<std::string>;

class LoadListFromFileTest : public ::testing::Test {
 protected:
  std::string WriteFile(const std::string& bytes) {
    const std::string path = folder_ / "list.txt";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  void Load(const std::string& path) {
    LoadListFromFile([this](std::string_view line) { items_.emplace_back(line); }, path,
                     [this](std::string_view text) { messages_.emplace_back(text); });
  }

  testing::ScopedTempDir folder_;
  Items items_{"before"};
  Items messages_;
};

TEST_F(LoadListFromFileTest, AppendsEachLineAsItStands) {
  Load(WriteFile("a\r\nb\nc\rd\r\n\r\n  spaced \t\r\n\xE9\x80\x81\n"));
  EXPECT_EQ(items_, (Items{"before", "a", "b", "c", "d", "", "  spaced \t", "\xE9\x80\x81"}));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LoadListFromFileTest, EmptyFileAddsNothingAndSaysNothing) {
  Load(WriteFile(""));
  EXPECT_EQ(items_, Items{"before"});
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LoadListFromFileTest, MissingFileSaysSoAndAddsNothing) {
  Load(folder_ / "missing.txt");
  EXPECT_EQ(items_, Items{"before"});
  EXPECT_EQ(messages_, Items{"File not found"});
}

TEST_F(LoadListFromFileTest, UnreadablePathFailsAndKeepsTheItems) {
  try {
    Load(folder_.path());  // exists, but a folder cannot be read as a list
    FAIL() << "no Failure";
  } catch (const Failure& failure) {
    EXPECT_STREQ(failure.what(), "Path/File access error");
  }
  EXPECT_EQ(items_, Items{"before"});
  EXPECT_TRUE(messages_.empty());
}

// Lists read through a pipe, whose size nothing tells beforehand.
Items ReadThroughPipe(const std::string& bytes, ListLimits limits) {
  int ends[2];
  EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  EXPECT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(ends[1]);
  ListReader list(UniqueFd(ends[0]), limits);
  Items lines;
  const auto take = [&](std::string_view line, bool tooLong) {
    lines.emplace_back(tooLong ? "(too long)" : std::string(line));
  };
  try {
    while (list.ReadPiece(take)) {
    }
  } catch (const Failure& failure) {
    lines.emplace_back(failure.what());
  }
  return lines;
}

TEST(ListReader, KeepsToItsLimitsAndPassesOnTheLastLine) {
  EXPECT_EQ(ReadThroughPipe("ab\r\ntoo long\ncd", {4, 100}), (Items{"ab", "(too long)", "cd"}));
  EXPECT_EQ(ReadThroughPipe("ab\ncd\n", {ListLineSplitter::kUnlimited, 6}), (Items{"ab", "cd"}));
  EXPECT_EQ(ReadThroughPipe("ab\ncd\n", {ListLineSplitter::kUnlimited, 5}),
            (Items{"File too large"}));
}

// The mark is an editor's, not part of the first address; elsewhere it is
// the line's own bytes.
TEST(ListReader, DropsTheByteOrderMarkAtTheStartOnly) {
  const ListLimits limits;
  EXPECT_EQ(ReadThroughPipe("\xEF\xBB\xBF"
                            "a\n\xEF\xBB\xBF"
                            "b",
                            limits),
            (Items{"a",
                   "\xEF\xBB\xBF"
                   "b"}));
  EXPECT_EQ(ReadThroughPipe("\xEF\xBB\xBF", limits), Items{});
  EXPECT_EQ(ReadThroughPipe("\xEF\xBB", limits), Items{"\xEF\xBB"});
  EXPECT_EQ(ReadThroughPipe("\xEF\xBBx\n", limits), Items{"\xEF\xBBx"});
}

// A pipe may hand the mark on in any pieces.
TEST(Utf8BomSkipper, GivesWhatWithoutUtf8BomGivesWhereverThePiecesEnd) {
  for (const std::string text : {"\xEF\xBB\xBF"
                                 "ab",
                                 "\xEF\xBB\xBF\xBF",
                                 "\xEF\xBB"
                                 "c",
                                 "\xEF", "\xEF\xBB\xBF", "ab", "a\xEF\xBB\xBF"}) {
    for (size_t pieceSize = 1; pieceSize <= 4; ++pieceSize) {
      Utf8BomSkipper skipper;
      std::string passed;
      const auto pass = [&](std::string_view bytes) { passed += bytes; };
      for (size_t at = 0; at < text.size(); at += pieceSize) {
        skipper.Feed(std::string_view(text).substr(at, pieceSize), pass);
      }
      skipper.Finish(pass);
      EXPECT_EQ(passed, WithoutUtf8Bom(text)) << "pieces of " << pieceSize;
    }
  }
}

}  // namespace
}  // namespace verdigo
