#include "window/qt_dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace verdigo {

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Takes the user's input away from one window while a box is open: the
// blocking half of a modal box. Qt's own modality cannot be used, because
// Qt drops the window manager's request to close a window that a modal box
// blocks, and closing the window must end the program also then.
class InputBlocker : public QObject {
 public:
  explicit InputBlocker(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~InputBlocker() override { qApp->removeEventFilter(this); }
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!IsUserInput(event->type()) || window_.isNull()) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && widget->window() == window_.data();
  }

 private:
  QPointer<QWidget> window_;
};

// Icons and types by the name alone. Qt's own provider looks inside a file
// whose name tells it nothing, and reading some files never ends (as root,
// /proc/kmsg waits for the kernel's next message): typing /proc/ into the
// name field froze the window for good.
class NameOnlyIconProvider : public QFileIconProvider {
 public:
  NameOnlyIconProvider() { setOptions(DontUseCustomDirectoryIcons); }

  QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
  QIcon icon(const QFileInfo& info) const override {
    return QFileIconProvider::icon(info.isDir() ? Folder : File);
  }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QStringLiteral("Folder");
    return mimeTypes_.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
  }

 private:
  QMimeDatabase mimeTypes_;
};

// Shared by every dialog and never destroyed: a dialog's model may still ask
// it while the dialog is taken down.
QAbstractFileIconProvider* FileIcons() {
  static auto* const icons = new NameOnlyIconProvider;
  return icons;
}

}  // namespace

QString DisplayedBoxText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QChar(u'\r'), QChar(u'\n'));
  return shown;
}

QWidget* QtDialogs::Parent() const {
  return parent_ != nullptr && parent_->isVisible() ? parent_ : nullptr;
}

int QtDialogs::Run(QDialog& box) const {
  QWidget* owner = Parent();
  if (owner == nullptr) return box.exec();
  InputBlocker blocker(owner);
  QEventLoop loop;
  QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
  box.setWindowModality(Qt::NonModal);
  box.show();
  box.raise();
  box.activateWindow();
  loop.exec(QEventLoop::DialogExec);
  return box.result();
}

BoxAnswer QtDialogs::ShowMessage(const MessageBoxSpec& box) {
  const QMessageBox::Icon icon =
      box.icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
  const QMessageBox::StandardButtons buttons =
      box.buttons == BoxButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
  QMessageBox message(icon, box.title, DisplayedBoxText(box.text), buttons, Parent());
  message.setTextFormat(Qt::PlainText);
  Run(message);
  switch (message.standardButton(message.clickedButton())) {
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
  QInputDialog input(Parent());
  input.setInputMode(QInputDialog::TextInput);
  input.setWindowTitle(title);
  input.setLabelText(prompt);
  input.setTextValue(defaultAnswer);
  if (Run(input) != QDialog::Accepted) return std::nullopt;
  return input.textValue();
}

QStringList QtDialogs::ChooseFilesToOpen(const FileDialogSpec& dialog) {
  ProgramFileDialog files(Parent(), dialog, QFileDialog::AcceptOpen);
  if (Run(files) != QDialog::Accepted) return {};
  return files.ChosenFiles();
}

QString QtDialogs::ChooseFileToSave(const FileDialogSpec& dialog) {
  ProgramFileDialog files(Parent(), dialog, QFileDialog::AcceptSave);
  if (Run(files) != QDialog::Accepted || files.ChosenFiles().isEmpty()) return {};
  return files.ChosenFiles().first();
}

ProgramFileDialog::ProgramFileDialog(QWidget* parent, const FileDialogSpec& dialog, AcceptMode mode)
    : QFileDialog(parent, dialog.title, QString(), dialog.filter) {
  setOption(QFileDialog::DontUseNativeDialog);
  setOption(QFileDialog::DontResolveSymlinks);
  setIconProvider(FileIcons());
  setAcceptMode(mode);
  // Any name is taken as typed. Qt's mode for several existing files would
  // refuse (and keep its Open button disabled for) a name that names no
  // file, where the program itself must say "File not found".
  setFileMode(QFileDialog::AnyFile);
  if (mode == AcceptOpen) {
    for (auto* view : findChildren<QAbstractItemView*>()) {
      if (view->objectName() == QStringLiteral("listView") ||
          view->objectName() == QStringLiteral("treeView")) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
      }
    }
  } else {
    setOption(QFileDialog::DontConfirmOverwrite);
  }
  ListEveryFileUnderAllFiles();
}

void ProgramFileDialog::ListEveryFileUnderAllFiles() {
  auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  auto* model = findChild<QFileSystemModel*>();
  if (types == nullptr || model == nullptr) return;
  // The dialog sets the model's patterns from the chosen filter when the
  // choice changes; this runs after it.
  connect(
      types, &QComboBox::currentIndexChanged, this,
      [types, model] {
        if (types->currentText().startsWith(QStringLiteral("All Files"))) {
          model->setNameFilters({QStringLiteral("*")});
        }
      },
      Qt::QueuedConnection);
}

void ProgramFileDialog::accept() {
  QFileDialog::accept();
  chosen_ = selectedFiles();
}

}  // namespace verdigo
