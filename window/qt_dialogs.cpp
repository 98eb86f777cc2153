#include "window/qt_dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QSpacerItem>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace verdigo {

namespace {

// What a modal box keeps from the windows it blocks: every input, and the
// pointer's movement with what follows from it (hover, tooltips).
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::HoverLeave:
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
    case QEvent::StatusTip:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Keeps from one window, while a box is open, all that a modal box keeps
// from it: input, hover and tooltips, and the activation, which goes back to
// the box. Qt's own modality cannot be used, because Qt drops the window
// manager's request to close a window that a modal box blocks, and closing
// the window must end the program also then.
class InputBlocker : public QObject {
 public:
  InputBlocker(QWidget* window, QWidget* box) : window_(window), box_(box) {
    QToolTip::hideText();
    qApp->installEventFilter(this);
  }
  ~InputBlocker() override { qApp->removeEventFilter(this); }
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (window_.isNull() || !IsInBlockedWindow(watched)) return false;
    if (event->type() == QEvent::WindowActivate) GiveActivationBack();
    return IsUserInput(event->type());
  }

 private:
  // Its widgets, and its platform window, which hears of the pointer first.
  bool IsInBlockedWindow(QObject* watched) const {
    if (auto* widget = qobject_cast<QWidget*>(watched)) return widget->window() == window_.data();
    return watched->isWindowType() && watched == window_->windowHandle();
  }

  void GiveActivationBack() {
    QTimer::singleShot(0, box_, [box = box_] {
      if (box.isNull() || !box->isVisible()) return;
      box->raise();
      box->activateWindow();
    });
  }

  QPointer<QWidget> window_;
  QPointer<QWidget> box_;
};

// The title bar shows the title beside the window manager's buttons; a box
// narrower than both together shows "V…". Room for the buttons, in pixels:
constexpr int kTitleBarButtonsWidth = 160;

int WidthForTitle(const QString& title) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);  // as most title bars draw it
  return QFontMetrics(font).horizontalAdvance(title) + kTitleBarButtonsWidth;
}

// Boxes size themselves from their layouts when shown (a message box fixes
// its size), so the room goes into the layout.
void MakeRoomForTitle(QDialog& box) {
  box.setMinimumWidth(std::max(box.minimumWidth(), WidthForTitle(box.windowTitle())));
  (void)box.minimumSizeHint();  // an input box makes its layout only then
  QLayout* layout = box.layout();
  if (layout == nullptr) return;
  auto* room = new QSpacerItem(box.minimumWidth(), 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
  if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    grid->addItem(room, grid->rowCount(), 0, 1, grid->columnCount());
  } else {
    layout->addItem(room);
  }
}

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
  MakeRoomForTitle(box);
  QWidget* owner = Parent();
  if (owner == nullptr) return box.exec();
  InputBlocker blocker(owner, &box);
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
