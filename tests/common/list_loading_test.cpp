#include "common/list_loading.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/error_report.h"
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

}  // namespace
}  // namespace verdigo
