#pragma once

#include <QString>
#include <string_view>

#include "window/row_list_model.h"

// The system clipboard. Another program may hold it for a moment, so each
// operation tries up to kClipboardAttempts times and never throws.
namespace verdigo {

inline constexpr int kClipboardAttempts = 1000;

void ClearClipboard();

// Puts the characters of code-page `text` on the clipboard: as plain text
// when `format` is empty, else under that MIME type (as UTF-8). False when
// every attempt failed.
bool SetClipboardText(std::string_view text, const QString& format = {});

// Copies the list's checked rows as they stand now (see ClipboardText).
// False, and the clipboard untouched, when the list has no rows.
bool CopyListToClipboard(RowListModel& list);

}  // namespace verdigo
