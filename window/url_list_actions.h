#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>
#include <string_view>

class QMimeData;

// The URL list's buttons: "Add URL", "Load List From Text File", "Clear List"
// and "Load Sample/Example Files", each running its numbered statements
// through the error trap of its click handler; and the ways of adding many
// addresses at once: pasting and dropping.
namespace verdigo {

class AppTitle;
class ErrorTrap;
class BoxReporter;
class Dialogs;
class PointerState;
class RowListModel;

class UrlListActions {
 public:
  struct Parts {
    RowListModel& urls;
    Dialogs& dialogs;
    const AppTitle& title;
    BoxReporter& reporter;
    const PointerState& pointer;
  };

  explicit UrlListActions(Parts parts) : p_(parts) {}

  // PushButton5_Click: asks for one address and appends it.
  void AddUrl();
  // PushButton13_Click: appends the lines of the chosen files, in order.
  void LoadListFiles();
  // PushButton11_Click: empties the list unless the window is busy.
  void ClearList();
  // PushButton3_Click: appends the two sample addresses.
  void LoadSamples();

  // Pasting and dropping append to the list a run is reading, so they wait
  // while the window is busy, as clearing and removing do.
  bool CanAddMany() const;
  // Ctrl+V and "Paste": each line of the clipboard's text is an entry, by
  // the line rules of list files.
  void PasteFromClipboard();
  // Appends each line of code-page `text` (list-file line rules) unless busy.
  void AddLines(std::string_view text);
  // Files and links (text/uri-list), or else plain text.
  bool AcceptsDrop(const QMimeData& data) const;
  // Local files load as "Load List From Text File" loads them; other links
  // and plain text are added as a paste adds them. Nothing while busy.
  void Drop(const QMimeData& data);

 private:
  void LoadFiles(ErrorTrap& trap, int line, const QStringList& names);
  void DropLinks(const QList<QUrl>& links);

  Parts p_;
};

}  // namespace verdigo
