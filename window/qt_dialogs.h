#pragma once

#include "window/dialogs.h"

class QWidget;

// The boxes as the user sees them: Qt's message box, input box and its own
// (not the desktop's) file dialogs.
namespace verdigo {

class QtDialogs : public Dialogs {
 public:
  // Boxes are modal to `parent` (may be null).
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  BoxAnswer ShowMessage(const MessageBoxSpec& box) override;
  std::optional<QString> AskText(const QString& prompt, const QString& title,
                                 const QString& defaultAnswer) override;
  QStringList ChooseFilesToOpen(const FileDialogSpec& dialog) override;
  QString ChooseFileToSave(const FileDialogSpec& dialog) override;

 private:
  // Boxes shown before the window is (at start-up) stand on their own.
  QWidget* Parent() const;

  QWidget* parent_;
};

// A box's text as displayed: CR LF and lone CRs become line breaks, so two
// carriage returns show as a blank line.
QString DisplayedBoxText(const QString& text);

}  // namespace verdigo
