#include "common/clipboard_text.h"

#include <algorithm>

namespace verdigo {

std::vector<size_t> ColumnWidths(const CopyableList& list) {
  std::vector<size_t> widths(list.ColumnCount(), 0);
  for (size_t row = 0; row < list.RowCount(); ++row) {
    for (size_t column = 0; column < widths.size(); ++column) {
      widths[column] = std::max(widths[column], list.Cell(row, column).size());
    }
  }
  return widths;
}

namespace {

void DropTrailingSpaces(std::string& text) {
  const size_t kept = text.find_last_not_of(' ');
  text.resize(kept == std::string::npos ? 0 : kept + 1);
}

// The rule pads every cell and puts a tab after it, then takes back the last
// tab and all the spaces before it. The last cell's padding would always be
// taken back, so it is never written: a list with one long row then costs no
// more than its text.
void AppendLine(const CopyableList& list, size_t row, const std::vector<size_t>& widths,
                std::string& text) {
  const size_t last = widths.size() - 1;
  for (size_t column = 0; column < last; ++column) {
    const std::string_view cell = list.Cell(row, column);
    text += cell;
    if (widths[column] > cell.size()) text.append(widths[column] - cell.size(), ' ');
    text += '\t';
  }
  text += list.Cell(row, last);
  DropTrailingSpaces(text);
  text += "\r\n";
}

// The checked rows' texts with their separators: the text's size but for
// padding, so that a million rows are built without regrowing.
size_t UnpaddedSize(const CopyableList& list) {
  size_t size = 0;
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (!list.IsChecked(row)) continue;
    for (size_t column = 0; column < list.ColumnCount(); ++column) {
      size += list.Cell(row, column).size() + 1;
    }
    size += 1;
  }
  return size;
}

}  // namespace

std::optional<std::string> ClipboardText(const CopyableList& list) {
  if (list.RowCount() == 0) return std::nullopt;
  std::string text;
  if (list.ColumnCount() == 0) return text;
  const std::vector<size_t> widths = ColumnWidths(list);
  text.reserve(UnpaddedSize(list));
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.IsChecked(row)) AppendLine(list, row, widths, text);
  }
  return text;
}

}  // namespace verdigo
