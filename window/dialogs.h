#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Every modal box of the program goes through Dialogs, so tests can script
// the answers and assert exactly what was shown, in order.
namespace verdigo {

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Warning };
enum class BoxAnswer { Ok, Yes, No };

struct MessageBoxSpec {
  QString text;
  QString title;
  BoxButtons buttons = BoxButtons::Ok;
  BoxIcon icon = BoxIcon::None;
};

// The filter of the program's open and save dialogs.
inline constexpr char kTextFilesFilter[] = "Text Files (*.txt);;All Files (*.*)";

struct FileDialogSpec {
  QString title;
  QString filter;  // Qt's form: "Text Files (*.txt);;All Files (*.*)"
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual BoxAnswer ShowMessage(const MessageBoxSpec& box) = 0;
  // The answer, or nullopt when cancelled.
  virtual std::optional<QString> AskText(const QString& prompt, const QString& title,
                                         const QString& defaultAnswer) = 0;
  // Qt's own open dialog with multiple selection; empty when cancelled.
  virtual QStringList ChooseFilesToOpen(const FileDialogSpec& dialog) = 0;
  // Qt's own save dialog: no extension added, no overwrite question; empty
  // when cancelled.
  virtual QString ChooseFileToSave(const FileDialogSpec& dialog) = 0;
};

}  // namespace verdigo
