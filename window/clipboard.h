#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "window/row_list_model.h"

// The system clipboard. Another program may hold it for a moment, so each
// operation tries up to kClipboardAttempts times and never throws.
namespace verdigo {

inline constexpr int kClipboardAttempts = 1000;

void ClearClipboard();

// Puts the characters of code-page `text` on the clipboard as plain text.
// False when every attempt failed.
bool SetClipboardText(std::string_view text);

// The clipboard's plain text; empty when it holds none.
QString ClipboardPlainText();

// Copies the list's checked rows as they stand now (see ClipboardText).
// False, and the clipboard untouched, when the list has no rows.
bool CopyListToClipboard(const RowListModel& list);

// Copies the given rows, checked or not, in list order, by the same text
// rule. Rows out of range are left out; false, and the clipboard untouched,
// when none is left.
bool CopyRowsToClipboard(const RowListModel& list, std::vector<int> rows);

}  // namespace verdigo
