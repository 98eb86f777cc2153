#include "window/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>

#include "common/clipboard_text.h"
#include "window/qt_text.h"

namespace verdigo {
namespace {

template <typename Attempt>
bool Retry(Attempt&& attempt) {
  for (int i = 0; i < kClipboardAttempts; ++i) {
    try {
      if (attempt()) return true;
    } catch (...) {
      // A failed attempt is simply tried again.
    }
  }
  return false;
}

// Null before the application object exists.
QClipboard* SystemClipboard() { return QGuiApplication::clipboard(); }

bool SetPlainText(QClipboard& clipboard, const QString& text) {
  clipboard.setText(text);
  // Another program may have taken the clipboard in between.
  return clipboard.text() == text;
}

// The chosen rows of a list, all of them taken as checked.
class ChosenRows : public CopyableList {
 public:
  ChosenRows(const RowStore& rows, std::vector<size_t> chosen)
      : rows_(rows), chosen_(std::move(chosen)) {}
  size_t RowCount() const override { return chosen_.size(); }
  size_t ColumnCount() const override { return 1; }
  std::string_view Cell(size_t row, size_t) const override { return rows_.Text(chosen_[row]); }
  bool IsChecked(size_t) const override { return true; }

 private:
  const RowStore& rows_;
  std::vector<size_t> chosen_;
};

}  // namespace

void ClearClipboard() {
  Retry([] {
    QClipboard* clipboard = SystemClipboard();
    if (clipboard == nullptr) return false;
    clipboard->clear();
    const QMimeData* now = clipboard->mimeData();
    return now == nullptr || now->formats().isEmpty();
  });
}

bool SetClipboardText(std::string_view text) {
  const QString characters = QStringFromCodePage(text);
  return Retry([&] {
    QClipboard* clipboard = SystemClipboard();
    return clipboard != nullptr && SetPlainText(*clipboard, characters);
  });
}

bool CopyListToClipboard(const RowListModel& list) {
  // Nothing below yields to the event loop, so the rows cannot change while
  // the text is built and no copy of them is needed.
  const std::optional<std::string> text = ClipboardText(RowStoreList(list.Rows()));
  if (!text) return false;
  ClearClipboard();
  SetClipboardText(*text);
  return true;
}

bool CopyRowsToClipboard(const RowListModel& list, std::vector<int> rows) {
  const RowStore& store = list.Rows();
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<size_t> chosen;
  for (int row : rows) {
    if (row >= 0 && static_cast<size_t>(row) < store.Size()) chosen.push_back(row);
  }
  const std::optional<std::string> text = ClipboardText(ChosenRows(store, std::move(chosen)));
  if (!text) return false;
  ClearClipboard();
  SetClipboardText(*text);
  return true;
}

QString ClipboardPlainText() {
  const QClipboard* clipboard = SystemClipboard();
  return clipboard == nullptr ? QString() : clipboard->text();
}

}  // namespace verdigo
