#include "common/row_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verdigo {
namespace {

std::vector<std::string> Texts(const RowStore& rows) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < rows.Size(); ++i) texts.emplace_back(rows.Text(i));
  return texts;
}

TEST(RowStore, RemovalAndCompactionKeepEveryOtherText) {
  RowStore rows;
  for (int i = 0; i < 10; ++i) rows.Append("row" + std::to_string(i) + std::string(i, 'x'));
  rows.Append("");
  rows.SetChecked(9, false);
  // Removing most rows crosses the garbage threshold more than once.
  for (int i = 0; i < 7; ++i) rows.Remove(1);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{"row0", "row8xxxxxxxx", "row9xxxxxxxxx", ""}));
  EXPECT_TRUE(rows.Checked(0));
  EXPECT_FALSE(rows.Checked(2));
  EXPECT_EQ(rows.TextBytes(), 4u + 12u + 13u);
  rows.Append("new");
  EXPECT_EQ(rows.Text(4), "new");
  EXPECT_THROW(rows.Remove(5), std::out_of_range);
}

TEST(RowStore, RowsAcrossAndBeyondChunksStayWhole) {
  RowStore rows;
  const std::string big(700'000, 'b');
  const std::string huge(4'000'000, 'h');
  rows.Append(big);
  rows.Append(big + "2");  // does not fit beside the first
  rows.Append(huge);
  rows.Append("tail");
  EXPECT_EQ(rows.Text(0), big);
  EXPECT_EQ(rows.Text(1), big + "2");
  EXPECT_EQ(rows.Text(2), huge);
  EXPECT_EQ(rows.Text(3), "tail");
  rows.Remove(2);  // compacts
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{big, big + "2", "tail"}));
}

TEST(RowStore, SnapshotDoesNotFollowLaterChanges) {
  RowStore rows;
  rows.Append("a");
  rows.Append("bb");
  rows.Append("ccc");
  rows.Remove(0);  // leaves garbage, so the snapshot packs
  rows.SetChecked(1, false);
  const RowStore snapshot = rows.Snapshot();
  rows.Remove(0);
  rows.Clear();
  rows.Append("zzz");
  EXPECT_EQ(Texts(snapshot), (std::vector<std::string>{"bb", "ccc"}));
  EXPECT_FALSE(snapshot.Checked(1));
  EXPECT_EQ(snapshot.TextBytes(), 5u);
}

}  // namespace
}  // namespace verdigo
