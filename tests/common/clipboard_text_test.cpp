#include "common/clipboard_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verdigo {
namespace {

struct Row {
  std::vector<std::string> cells;
  bool checked = true;
};

class Table : public CopyableList {
 public:
  explicit Table(std::vector<Row> rows, size_t columns = 1)
      : rows_(std::move(rows)), columns_(columns) {}
  size_t RowCount() const override { return rows_.size(); }
  size_t ColumnCount() const override { return columns_; }
  std::string_view Cell(size_t row, size_t column) const override {
    return rows_[row].cells[column];
  }
  bool IsChecked(size_t row) const override { return rows_[row].checked; }

 private:
  std::vector<Row> rows_;
  size_t columns_;
};

TEST(ClipboardText, OneColumnTakesOnlyCheckedRows) {
  EXPECT_EQ(ClipboardText(Table({{{"a"}}, {{"b"}}, {{"c"}}})), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(ClipboardText(Table({{{"a"}, false}, {{"b"}}, {{"c"}, false}})), "b\r\n");
  EXPECT_EQ(ClipboardText(Table({{{"a"}, false}, {{"b"}, false}})), "");
  EXPECT_EQ(ClipboardText(Table({})), std::nullopt);
}

TEST(ClipboardText, PadsToTheWidestCellOfAllRowsAndDropsTrailingSpaces) {
  EXPECT_EQ(ClipboardText(Table({{{"ab", "x"}}, {{"abcd", "yy"}}}, 2)), "ab  \tx\r\nabcd\tyy\r\n");
  // The unchecked row still sets the width of the first column.
  EXPECT_EQ(ClipboardText(Table({{{"ab", ""}}, {{"abcdef", "yy"}, false}}, 2)), "ab    \t\r\n");
  EXPECT_EQ(ClipboardText(Table({{{"a  "}}, {{"   "}}, {{" \xE9 "}}})), "a\r\n\r\n \xE9\r\n");
  // Only spaces go: the tab in front of a blank last cell stays.
  EXPECT_EQ(ClipboardText(Table({{{"ab", "  "}}, {{"abcd", "x"}}}, 2)), "ab  \t\r\nabcd\tx\r\n");
}

TEST(ColumnWidths, CountBytesAsCharacters) {
  const Table table({{{"\xE9\xE9", "x"}, false}, {{"a", "yyy"}}}, 2);
  EXPECT_EQ(ColumnWidths(table), (std::vector<size_t>{2, 3}));
}

}  // namespace
}  // namespace verdigo
