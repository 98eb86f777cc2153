#include "window/url_list_actions.h"

#include <QFile>
#include <QMimeData>
#include <optional>
#include <string>

#include "common/error_report.h"
#include "common/list_lines.h"
#include "common/list_loading.h"
#include "common/product.h"
#include "common/utf8_bom.h"
#include "window/app_title.h"
#include "window/box_reporter.h"
#include "window/busy_gate.h"
#include "window/clipboard.h"
#include "window/dialogs.h"
#include "window/qt_text.h"
#include "window/row_list_model.h"

namespace verdigo {

namespace {
constexpr char kAddPrompt[] = "Enter website address to add: ";
constexpr char kOpenTitle[] = "Add File(s) - Use Ctrl & Shift to select multiple files";
}  // namespace

void UrlListActions::AddUrl() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton5_Click"), p_.reporter);
  std::optional<QString> answer;
  trap.Run(100, [&] {
    answer = p_.dialogs.AskText(QStringFromCodePage(kAddPrompt), p_.title.Display(), QString());
  });
  if (!answer || answer->isEmpty()) return;  // 102: Cancel, or OK on an empty field
  trap.Run(104, [&] { p_.urls.AppendRow(CodePageFromQString(*answer)); });
}

void UrlListActions::LoadListFiles() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton13_Click"), p_.reporter);
  QStringList names;
  // 100 to 106 set up the dialog; 108 shows it. Cancel chooses nothing (110).
  trap.Run(108, [&] {
    names = p_.dialogs.ChooseFilesToOpen(
        {QStringFromCodePage(kOpenTitle), QStringFromCodePage(kTextFilesFilter)});
  });
  LoadFiles(trap, 118, names);
}

void UrlListActions::LoadFiles(ErrorTrap& trap, int line, const QStringList& names) {
  // The files load one after the other, in the order given. A file that
  // cannot be read is reported and keeps the lines of the files before it;
  // the files after it still load, as each is a statement of its own.
  for (const QString& name : names) {
    const std::string path = QFile::encodeName(name).toStdString();
    trap.Run(line, [&] {
      LoadListFromFile([this](std::string_view row) { p_.urls.AppendRow(row); }, path,
                       [this](std::string_view text) { p_.reporter.Inform(text); });
    });
  }
}

void UrlListActions::ClearList() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton11_Click"), p_.reporter);
  trap.Run(100, [&] { p_.busy.ChangeList([this] { p_.urls.Clear(); }); });
}

void UrlListActions::LoadSamples() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton3_Click"), p_.reporter);
  trap.Run(100, [&] { p_.urls.AppendRow(kSampleUrlWithSlash); });
  trap.Run(102, [&] { p_.urls.AppendRow(kSampleUrlWithoutSlash); });
}

bool UrlListActions::CanAddMany() const { return p_.busy.ListsMayChange(); }

void UrlListActions::PasteFromClipboard() {
  p_.busy.ChangeList([this] { AppendLines(TextWithoutBom(ClipboardPlainText())); });
}

void UrlListActions::AppendLines(std::string_view text) {
  ForEachListLine(text, [this](std::string_view row) { p_.urls.AppendRow(row); });
}

bool UrlListActions::AcceptsDrop(const QMimeData& data) const {
  return CanAddMany() && (data.hasUrls() || data.hasText());
}

void UrlListActions::Drop(const QMimeData& data) {
  p_.busy.ChangeList([&] {
    // A dragged link or file usually comes with its text as well; the links
    // say more (a file's path, an address exactly as encoded).
    if (data.hasUrls()) {
      DropLinks(data.urls());
    } else if (data.hasText()) {
      AppendLines(TextWithoutBom(data.text()));
    }
  });
}

std::string UrlListActions::TextWithoutBom(QString text) {
  // The mark comes as its character when the text was read as UTF-8, and as
  // its three bytes when a program wrote UTF-8 where Latin-1 was expected.
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return std::string(WithoutUtf8Bom(CodePageFromQString(text)));
}

void UrlListActions::DropLinks(const QList<QUrl>& links) {
  ErrorTrap trap(ProcedurePath("Form1", "ListView1_DragDrop"), p_.reporter);
  for (const QUrl& link : links) {
    if (link.isLocalFile()) {
      LoadFiles(trap, 100, {link.toLocalFile()});
    } else if (link.isValid() && !link.isEmpty()) {
      // Encoded, so that a letter outside ASCII reaches the server as the
      // page wrote it rather than through the code page.
      p_.urls.AppendRow(link.toString(QUrl::FullyEncoded).toStdString());
    }
  }
}

}  // namespace verdigo
