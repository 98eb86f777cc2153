#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <string>
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
class BusyGate;
class RowListModel;

class UrlListActions {
 public:
  struct Parts {
    RowListModel& urls;
    Dialogs& dialogs;
    const AppTitle& title;
    BoxReporter& reporter;
    const BusyGate& busy;
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

  // Pasting and dropping append to the list a run is reading, so they pass
  // the busy gate, as clearing and removing do.
  bool CanAddMany() const;
  // Ctrl+V and "Paste": each line of the clipboard's text is an entry, by
  // the line rules of list files, as written; a byte-order mark at the start
  // of the text is not part of the first line.
  void PasteFromClipboard();
  // Files and links (text/uri-list), or else plain text.
  bool AcceptsDrop(const QMimeData& data) const;
  // Local files load as "Load List From Text File" loads them; other links
  // and plain text are added as a paste adds them. Nothing while busy.
  void Drop(const QMimeData& data);

 private:
  void LoadFiles(ErrorTrap& trap, int line, const QStringList& names);
  void DropLinks(const QList<QUrl>& links);
  void AppendLines(std::string_view text);
  // Code-page text ('?' for a character the code page lacks), without the
  // byte-order mark it may begin with.
  static std::string TextWithoutBom(QString text);

  Parts p_;
};

}  // namespace verdigo
