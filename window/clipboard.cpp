#include "window/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

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

bool SetFormatted(QClipboard& clipboard, const QString& format, const QByteArray& data) {
  auto* mime = new QMimeData;
  mime->setData(format, data);
  clipboard.setMimeData(mime);  // takes ownership
  const QMimeData* now = clipboard.mimeData();
  return now != nullptr && now->data(format) == data;
}

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

bool SetClipboardText(std::string_view text, const QString& format) {
  const QString characters = QStringFromCodePage(text);
  const QByteArray utf8 = format.isEmpty() ? QByteArray() : characters.toUtf8();
  return Retry([&] {
    QClipboard* clipboard = SystemClipboard();
    if (clipboard == nullptr) return false;
    return format.isEmpty() ? SetPlainText(*clipboard, characters)
                            : SetFormatted(*clipboard, format, utf8);
  });
}

bool CopyListToClipboard(RowListModel& list) {
  // Nothing below yields to the event loop, so the rows cannot change while
  // the text is built and no copy of them is needed.
  const std::optional<std::string> text = ClipboardText(RowStoreList(list.Rows()));
  if (!text) return false;
  ClearClipboard();
  SetClipboardText(*text);
  return true;
}

}  // namespace verdigo
