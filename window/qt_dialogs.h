#pragma once

#include <QFileDialog>
#include <QPointer>

#include "window/dialogs.h"

class QWidget;

// The boxes as the user sees them: Qt's message box, input box and its own
// (not the desktop's) file dialogs.
namespace verdigo {

class QtDialogs : public Dialogs {
 public:
  // Boxes block input to `parent` (may be null) while they are open.
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  BoxAnswer ShowMessage(const MessageBoxSpec& box) override;
  std::optional<QString> AskText(const QString& prompt, const QString& title,
                                 const QString& defaultAnswer) override;
  QStringList ChooseFilesToOpen(const FileDialogSpec& dialog) override;
  QString ChooseFileToSave(const FileDialogSpec& dialog) override;

 private:
  // Boxes shown before the window is (at start-up) stand on their own.
  QWidget* Parent() const;
  int Run(QDialog& box) const;

  QPointer<QWidget> parent_;
};

// Qt's own file dialog with the program's two differences: "All Files (*.*)"
// lists every file, names without a dot too; and the open dialog, which
// takes several files, also takes a typed name that names no file, so that
// the program itself can say "File not found".
class ProgramFileDialog : public QFileDialog {
 public:
  ProgramFileDialog(QWidget* parent, const FileDialogSpec& dialog, AcceptMode mode);

  // The names chosen when the dialog was accepted.
  QStringList ChosenFiles() const { return chosen_; }

  void accept() override;

 private:
  void ListEveryFileUnderAllFiles();

  QStringList chosen_;
};

// A box's text as displayed: CR LF and lone CRs become line breaks, so two
// carriage returns show as a blank line.
QString DisplayedBoxText(const QString& text);

}  // namespace verdigo
