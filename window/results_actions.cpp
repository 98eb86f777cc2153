#include "window/results_actions.h"

#include <QFile>

#include "common/error_report.h"
#include "common/file_routines.h"
#include "common/results_export.h"
#include "common/safe_file_writer.h"
#include "engine/request_address.h"
#include "window/app_title.h"
#include "window/box_reporter.h"
#include "window/clipboard.h"
#include "window/dialogs.h"
#include "window/pointer_state.h"
#include "window/qt_text.h"
#include "window/row_list_model.h"

namespace verdigo {

namespace {
constexpr char kSaveTitle[] = "Save";
constexpr char kCopied[] =
    "Results have been copied to the clipboard.\r\r"
    "Click a text area where you normally type and press Ctrl+V to paste the clipboard.";
}  // namespace

void ResultsActions::SaveAsTextFile() { Save("PushButton6_Click", ResultsTextFileBytes, 142); }

void ResultsActions::SaveAsCommaDelimited() { Save("PushButton1_Click", ResultsCsvFileBytes, 144); }

void ResultsActions::Save(std::string_view procedure, FileBytes fileBytes, int idleLine) {
  ErrorTrap trap(ProcedurePath("Form1", procedure), p_.reporter);
  const std::optional<std::string> path = ChooseOutputFile(trap);
  if (!path) return;
  trap.Run(128, [&] { p_.pointer.BeginSave(); });
  // The rows as they stand now go into a temporary file beside the target,
  // which replaces the target only once it is whole. Opening, writing and
  // replacing are one statement, reported at line 130 where the file is
  // opened; a failure leaves the old file as it was. Nothing here yields to
  // the event loop, so no other handler (a second save, a list load, "Clear
  // Results") can run while the file is written.
  trap.Run(130, [&] { WriteFileAtomically(*path, fileBytes(p_.results.Snapshot())); });
  trap.Run(idleLine, [&] { p_.pointer.EndSave(); });
}

std::optional<std::string> ResultsActions::ChooseOutputFile(ErrorTrap& trap) {
  QString name;
  // 106 to 112 set up the dialog; 114 shows it and 116 reads the name.
  trap.Run(114, [&] {
    name = p_.dialogs.ChooseFileToSave(
        {QStringFromCodePage(kSaveTitle), QStringFromCodePage(kTextFilesFilter)});
  });
  if (name.isEmpty()) return std::nullopt;  // 118: cancelled
  const std::string path = QFile::encodeName(name).toStdString();
  bool exists = false;
  trap.Run(120, [&] { exists = FileExists(path); });
  // 124: a new file needs no question. A question that could not be asked
  // counts as No.
  BoxAnswer answer = exists ? BoxAnswer::No : BoxAnswer::Yes;
  if (exists) {
    trap.Run(122, [&] {
      answer = p_.dialogs.ShowMessage(
          {QStringLiteral("Are you sure you wish to overwrite ") + name + QStringLiteral(" ?"),
           p_.title.Display(), BoxButtons::YesNo, BoxIcon::None});
    });
  }
  if (answer != BoxAnswer::Yes) return std::nullopt;  // 126
  return path;
}

void ResultsActions::CopyToClipboard() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton2_Click"), p_.reporter);
  trap.Run(106, [&] { CopyListToClipboard(p_.results); });
  trap.Run(108, [&] { p_.reporter.Inform(kCopied); });
}

void ResultsActions::ClearResults() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton9_Click"), p_.reporter);
  trap.Run(100, [&] { p_.results.Clear(); });
}

void ResultsActions::OpenLink(int row) {
  if (!p_.openInBrowser || row < 0 || row >= p_.results.rowCount()) return;
  ErrorTrap trap(ProcedurePath("Form1", "mnuOpenLink_Click"), p_.reporter);
  const std::string address = EncodeAddressForRequest(std::string(p_.results.RowText(row)));
  trap.Run(100, [&] { p_.openInBrowser(address); });
}

void ResultsActions::CopyRows(const std::vector<int>& rows) {
  CopyRowsToClipboard(p_.results, rows);
}

}  // namespace verdigo
