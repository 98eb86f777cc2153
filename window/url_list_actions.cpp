#include "window/url_list_actions.h"

#include <QFile>
#include <optional>
#include <string>

#include "common/error_report.h"
#include "common/list_loading.h"
#include "common/product.h"
#include "window/app_title.h"
#include "window/box_reporter.h"
#include "window/dialogs.h"
#include "window/pointer_state.h"
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
    answer = p_.dialogs.AskText(QString::fromLatin1(kAddPrompt), p_.title.Display(), QString());
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
        {QString::fromLatin1(kOpenTitle), QString::fromLatin1(kTextFilesFilter)});
  });
  // The files load one after the other, in the order the dialog gives them.
  // A file that cannot be read is reported and keeps the lines of the files
  // before it; the files after it still load, as each is a statement of its
  // own.
  for (const QString& name : names) {
    const std::string path = QFile::encodeName(name).toStdString();  // 116
    trap.Run(118, [&] {
      LoadListFromFile([this](std::string_view line) { p_.urls.AppendRow(line); }, path,
                       [this](std::string_view text) { p_.reporter.Inform(text); });
    });
  }
}

void UrlListActions::ClearList() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton11_Click"), p_.reporter);
  trap.Run(100, [&] {
    if (!p_.pointer.IsBusy()) p_.urls.Clear();
  });
}

void UrlListActions::LoadSamples() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton3_Click"), p_.reporter);
  trap.Run(100, [&] { p_.urls.AppendRow(kSampleUrlWithSlash); });
  trap.Run(102, [&] { p_.urls.AppendRow(kSampleUrlWithoutSlash); });
}

}  // namespace verdigo
