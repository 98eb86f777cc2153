#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/row_store.h"

// The text that "Copy Results To Clipboard" puts on the clipboard, built by
// one rule for any list of rows with cells.
namespace verdigo {

// A list as the copy sees it: rows of cells (cell 0 is the row's text, the
// further cells follow) and a check mark per row. Texts are code-page bytes,
// so a byte is a character.
class CopyableList {
 public:
  virtual ~CopyableList() = default;
  virtual size_t RowCount() const = 0;
  virtual size_t ColumnCount() const = 0;
  virtual std::string_view Cell(size_t row, size_t column) const = 0;
  virtual bool IsChecked(size_t row) const = 0;
};

// A one-column list over a RowStore.
class RowStoreList : public CopyableList {
 public:
  explicit RowStoreList(const RowStore& rows) : rows_(rows) {}
  size_t RowCount() const override { return rows_.Size(); }
  size_t ColumnCount() const override { return 1; }
  std::string_view Cell(size_t row, size_t) const override { return rows_.Text(row); }
  bool IsChecked(size_t row) const override { return rows_.Checked(row); }

 private:
  const RowStore& rows_;
};

// For each column, the longest text in it over all rows, checked or not.
std::vector<size_t> ColumnWidths(const CopyableList& list);

// The checked rows, each ended by CR LF: every cell but the last padded with
// spaces to its column's width and followed by a tab, trailing spaces of the
// line dropped. Nothing (nullopt) for a list without rows: the clipboard is
// then left as it is. No row checked gives an empty text, which is still set.
std::optional<std::string> ClipboardText(const CopyableList& list);

}  // namespace verdigo
