#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The results list's buttons: the two saves, the clipboard copy and "Clear
// Results", each running its numbered statements through the error trap of
// its click handler; and the context menu's "Open Link" and "Copy".
namespace verdigo {

class AppTitle;
class BoxReporter;
class Dialogs;
class ErrorTrap;
class BusyGate;
class RowListModel;
class RowStore;

class ResultsActions {
 public:
  struct Parts {
    RowListModel& results;
    Dialogs& dialogs;
    const AppTitle& title;
    BoxReporter& reporter;
    BusyGate& busy;
    // Starts the browser without waiting for it; throws NoLinkOpener when
    // the desktop has none (told in a plain box), Failure when it cannot be
    // started. Empty: links are not opened.
    std::function<void(const std::string& address)> openInBrowser;
  };

  explicit ResultsActions(Parts parts) : p_(std::move(parts)) {}

  // PushButton6_Click: one line per row.
  void SaveAsTextFile();
  // PushButton1_Click: every row on one comma-delimited line.
  void SaveAsCommaDelimited();
  // PushButton2_Click: the checked rows, then the confirmation.
  void CopyToClipboard();
  // PushButton9_Click: removes every row, busy or not.
  void ClearResults();

  // "Open Link": the row's text in the browser, as the downloader would
  // request it. Neither this nor "Copy" changes a list, so both work while
  // the window is busy.
  void OpenLink(int row);
  // "Copy": the given rows, checked or not, by the copy button's text rule,
  // without a confirmation.
  void CopyRows(const std::vector<int>& rows);

 private:
  using FileBytes = std::string (*)(const RowStore& rows);

  void Save(std::string_view procedure, FileBytes fileBytes, int idleLine);
  // The file to write, or nothing when the user cancelled or declined to
  // overwrite (statements 106 to 126).
  std::optional<std::string> ChooseOutputFile(ErrorTrap& trap);

  Parts p_;
};

}  // namespace verdigo
