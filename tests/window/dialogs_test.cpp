#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "tests/support/scoped_temp_dir.h"
#include "window/qt_dialogs.h"

namespace verdigo {
namespace {

// The box that is up: modal when it stands on its own, else a window.
template <typename Box>
Box* ShownBox() {
  if (auto* modal = qobject_cast<Box*>(QApplication::activeModalWidget())) return modal;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<Box*>(widget); box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

// Looks at the box once it is up, then closes it.
template <typename Box>
void WhenShown(std::function<void(Box&)> look) {
  QTimer::singleShot(0, [look] {
    auto* box = ShownBox<Box>();
    ASSERT_NE(box, nullptr);
    look(*box);
  });
}

// Title bars cut a title that does not fit beside their buttons.
TEST(QtDialogs, EveryBoxIsWideEnoughForItsWholeTitle) {
  QtDialogs dialogs;
  for (const char* title : {"Verdigo", "Application Error"}) {
    SCOPED_TRACE(title);
    const int titleWidth =
        QFontMetrics(QFontDatabase::systemFont(QFontDatabase::TitleFont)).horizontalAdvance(title);
    WhenShown<QMessageBox>([&](QMessageBox& box) {
      EXPECT_GE(box.width(), titleWidth + 100);
      box.button(QMessageBox::Ok)->click();
    });
    dialogs.ShowMessage({"URL not found", title, BoxButtons::Ok, BoxIcon::None});
  }
  WhenShown<QInputDialog>([](QInputDialog& box) {
    EXPECT_GE(box.width(), QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + 100);
    box.reject();
  });
  dialogs.AskText("Enter: ", "A long title of an input box, longer than its prompt", QString());
}

TEST(QtDialogs, ErrorReportShowsItsCarriageReturnsAsLineBreaks) {
  QtDialogs dialogs;
  WhenShown<QMessageBox>([](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), "Application Error");
    EXPECT_EQ(box.text(), "File not found\nin X at line 108\n\nPlease email");
    EXPECT_EQ(box.icon(), QMessageBox::Warning);
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    box.button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(dialogs.ShowMessage({"File not found\r\nin X at line 108\r\rPlease email",
                                 "Application Error", BoxButtons::Ok, BoxIcon::Warning}),
            BoxAnswer::Ok);
}

TEST(QtDialogs, FileDialogsAreQtsOwnWithoutOverwriteQuestionOrSuffix) {
  QtDialogs dialogs;
  const FileDialogSpec dialog{"Open", "Text Files (*.txt);;All Files (*.*)"};
  WhenShown<QFileDialog>([](QFileDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Open");
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog.findChild<QAbstractItemView*>("listView")->selectionMode(),
              QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(dialog.nameFilters(), QStringList({"Text Files (*.txt)", "All Files (*.*)"}));
    dialog.reject();
  });
  EXPECT_TRUE(dialogs.ChooseFilesToOpen(dialog).isEmpty());

  WhenShown<QFileDialog>([](QFileDialog& dialog) {
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(dialog.defaultSuffix().isEmpty());
    dialog.reject();
  });
  EXPECT_TRUE(dialogs.ChooseFileToSave(dialog).isEmpty());
}

// A file whose name tells nothing is not opened to find its type: some files
// never end (/proc/kmsg).
TEST(ProgramFileDialog, TellsTypesByTheNameAloneWithoutOpeningFiles) {
  const testing::ScopedTempDir folder;
  testing::WriteTestFile(folder / "noext", "%PDF-1.4\n");
  testing::WriteTestFile(folder / "list.txt", "a");
  ProgramFileDialog dialog(nullptr, {"Open", kTextFilesFilter}, QFileDialog::AcceptOpen);
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontResolveSymlinks));
  QAbstractFileIconProvider* icons = dialog.iconProvider();
  ASSERT_NE(icons, nullptr);
  const QMimeDatabase types;
  EXPECT_EQ(icons->type(QFileInfo(QString::fromStdString(folder / "noext"))),
            types.mimeTypeForName("application/octet-stream").comment());
  EXPECT_EQ(icons->type(QFileInfo(QString::fromStdString(folder / "list.txt"))),
            types.mimeTypeForName("text/plain").comment());
  EXPECT_EQ(icons->type(QFileInfo(QString::fromStdString(folder.path()))), "Folder");
}

// Counts the events that reach a widget, past the application's filters.
class EventCounter : public QObject {
 public:
  explicit EventCounter(QObject* watched) { watched->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Paint && event->type() != QEvent::UpdateRequest) ++count;
    return false;
  }
};

// What the pointer and the keys do over a widget and its window.
void MoveHoverAndPress(QWidget& widget) {
  const QPointF at(3, 3);
  const QPointF global = widget.mapToGlobal(at);
  QMouseEvent move(QEvent::MouseMove, at, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &move);
  QMouseEvent windowMove(QEvent::MouseMove, at, global, Qt::NoButton, Qt::NoButton, {});
  QCoreApplication::sendEvent(widget.window()->windowHandle(), &windowMove);
  QEnterEvent enter(at, at, global);
  QCoreApplication::sendEvent(&widget, &enter);
  QHoverEvent hover(QEvent::HoverMove, at, global, at);
  QCoreApplication::sendEvent(&widget, &hover);
  QHelpEvent tip(QEvent::ToolTip, at.toPoint(), global.toPoint());
  QCoreApplication::sendEvent(&widget, &tip);
  QKeyEvent enterKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &enterKey);
}

// Qt drops the window manager's request to close a window that a modal box
// blocks; the program's boxes block the window as a modal box would
// themselves instead.
TEST(QtDialogs, ABoxOverTheWindowKeepsAllAModalBoxKeepsButNotClosingIt) {
  QWidget window;
  auto* target = new QPushButton("t", &window);
  target->setToolTip("tip");
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EventCounter reached(target);
  EventCounter windowReached(window.windowHandle());
  QtDialogs dialogs(&window);
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    MoveHoverAndPress(*target);
    EXPECT_EQ(reached.count, 0);
    EXPECT_EQ(windowReached.count, 0);
    box.button(QMessageBox::Ok)->click();
  });
  dialogs.ShowMessage({"x", "Verdigo", BoxButtons::Ok, BoxIcon::None});
  MoveHoverAndPress(*target);
  EXPECT_GE(reached.count, 5);  // no longer blocked
  EXPECT_GE(windowReached.count, 1);
}

TEST(QtDialogs, ABoxOverTheWindowTakesItsInputButDoesNotBlockClosingIt) {
  QWidget window;
  auto* button = new QPushButton("b", &window);
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QtDialogs dialogs(&window);
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 0);
    box.button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(dialogs.ShowMessage({"Sure?", "Verdigo", BoxButtons::YesNo, BoxIcon::None}),
            BoxAnswer::Yes);
  WhenShown<QInputDialog>([](QInputDialog& box) {
    EXPECT_EQ(box.labelText(), "Enter: ");
    box.setTextValue("typed");
    box.accept();
  });
  EXPECT_EQ(dialogs.AskText("Enter: ", "Verdigo", QString()), "typed");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

// The rows the model shows for `folder` once it has read it (it reads on a
// thread of its own), waiting at most a few seconds for `expected`.
int RowsOnceSettled(QFileSystemModel& model, const QString& folder, int expected) {
  for (int wait = 0; wait < 60 && model.rowCount(model.index(folder)) != expected; ++wait) {
    QTest::qWait(50);
  }
  QTest::qWait(100);  // and nothing more comes
  return model.rowCount(model.index(folder));
}

TEST(ProgramFileDialog, AllFilesListsNamesWithoutADotAndTypedMissingNamesAreTaken) {
  const testing::ScopedTempDir folder;
  testing::WriteTestFile(folder / "a.txt", "a");
  testing::WriteTestFile(folder / "README", "r");
  const QString path = QString::fromStdString(folder.path());
  ProgramFileDialog dialog(nullptr, {"Open", kTextFilesFilter}, QFileDialog::AcceptOpen);
  dialog.setDirectory(path);
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(RowsOnceSettled(*model, path, 1), 1);
  dialog.selectNameFilter("All Files (*.*)");
  EXPECT_EQ(RowsOnceSettled(*model, path, 2), 2);
  EXPECT_EQ(dialog.selectedNameFilter(), "All Files (*.*)");

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
  name->setText("missing.txt");
  QTimer::singleShot(500, [] {
    if (QWidget* refusal = QApplication::activeModalWidget()) {
      ADD_FAILURE() << "refused with a box of its own";
      refusal->close();
    }
  });
  QTest::keyClick(name, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ChosenFiles(), QStringList{path + "/missing.txt"});

  // Several files at once still.
  dialog.show();
  name->setText("\"a.txt\" \"README\"");
  QTest::keyClick(name, Qt::Key_Return);
  EXPECT_EQ(dialog.ChosenFiles(), QStringList({path + "/a.txt", path + "/README"}));
}

}  // namespace
}  // namespace verdigo
