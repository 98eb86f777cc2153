#include "window/qt_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QWidget>

namespace verdigo {

QString DisplayedBoxText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QChar('\r'), QChar('\n'));
  return shown;
}

QWidget* QtDialogs::Parent() const {
  return parent_ != nullptr && parent_->isVisible() ? parent_ : nullptr;
}

BoxAnswer QtDialogs::ShowMessage(const MessageBoxSpec& box) {
  const QMessageBox::Icon icon =
      box.icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
  const QMessageBox::StandardButtons buttons =
      box.buttons == BoxButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
  QMessageBox message(icon, box.title, DisplayedBoxText(box.text), buttons, Parent());
  message.setTextFormat(Qt::PlainText);
  switch (message.exec()) {
    case QMessageBox::Yes:
      return BoxAnswer::Yes;
    case QMessageBox::No:
      return BoxAnswer::No;
    default:
      return BoxAnswer::Ok;
  }
}

std::optional<QString> QtDialogs::AskText(const QString& prompt, const QString& title,
                                          const QString& defaultAnswer) {
  bool accepted = false;
  const QString answer =
      QInputDialog::getText(Parent(), title, prompt, QLineEdit::Normal, defaultAnswer, &accepted);
  if (!accepted) return std::nullopt;
  return answer;
}

QStringList QtDialogs::ChooseFilesToOpen(const FileDialogSpec& dialog) {
  return QFileDialog::getOpenFileNames(Parent(), dialog.title, QString(), dialog.filter, nullptr,
                                       QFileDialog::DontUseNativeDialog);
}

QString QtDialogs::ChooseFileToSave(const FileDialogSpec& dialog) {
  return QFileDialog::getSaveFileName(
      Parent(), dialog.title, QString(), dialog.filter, nullptr,
      QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
}

}  // namespace verdigo
