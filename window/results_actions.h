#pragma once

#include <optional>
#include <string>
#include <string_view>

// The results list's buttons: the two saves, the clipboard copy and "Clear
// Results". Each runs its numbered statements through the error trap of its
// click handler.
namespace verdigo {

class AppTitle;
class BoxReporter;
class Dialogs;
class ErrorTrap;
class PointerState;
class RowListModel;
class RowStore;

class ResultsActions {
 public:
  struct Parts {
    RowListModel& results;
    Dialogs& dialogs;
    const AppTitle& title;
    BoxReporter& reporter;
    PointerState& pointer;
  };

  explicit ResultsActions(Parts parts) : p_(parts) {}

  // PushButton6_Click: one line per row.
  void SaveAsTextFile();
  // PushButton1_Click: every row on one comma-delimited line.
  void SaveAsCommaDelimited();
  // PushButton2_Click: the checked rows, then the confirmation.
  void CopyToClipboard();
  // PushButton9_Click: removes every row, busy or not.
  void ClearResults();

 private:
  using FileBytes = std::string (*)(const RowStore& rows);

  void Save(std::string_view procedure, FileBytes fileBytes, int idleLine);
  // The file to write, or nothing when the user cancelled or declined to
  // overwrite (statements 106 to 126).
  std::optional<std::string> ChooseOutputFile(ErrorTrap& trap);

  Parts p_;
};

}  // namespace verdigo
