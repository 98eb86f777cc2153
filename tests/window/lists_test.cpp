#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <csignal>
#include <fstream>
#include <sstream>

#include "tests/window/window_fixture.h"

namespace verdigo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kFilter[] = "Text Files (*.txt);;All Files (*.*)";

ShownBox Report(const std::string& description, const std::string& procedure, int line) {
  return ErrorBox(description + "\r\nin Quillmere2021/08/31.Form1." + procedure + " at line " +
                  std::to_string(line) +
                  "\r\rPlease email screenshot of this message to support@quillmere.example");
}

ShownBox FileDialog(ShownKind kind, const char* title) {
  return {kind, {}, title, BoxButtons::Ok, BoxIcon::None, kFilter, {}};
}

ShownBox AddUrlBox() {
  return {ShownKind::Input,
          "Enter website address to add: ",
          "Verdigo",
          BoxButtons::Ok,
          BoxIcon::None,
          {},
          {}};
}

ShownBox Overwrite(const std::string& path) {
  return Message(QString::fromStdString("Are you sure you wish to overwrite " + path + " ?"),
                 "Verdigo", BoxButtons::YesNo);
}

class ListsTest : public WindowTest {
 protected:
  void SetUp() override {
    LoadWindow();
    dialogs.shown.clear();
  }

  void Click(const char* button) { Control<QPushButton>(button)->click(); }

  std::string Path(const char* name) const { return ProgramFolder() + "/" + name; }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  static std::string Read(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
  }

  void AddResults(std::initializer_list<const char*> rows) {
    for (const char* row : rows) ResultList().AppendRow(row);
  }

  // Saves through `button` into `name`, answering the dialog only.
  void SaveAs(const char* button, const std::string& path) {
    dialogs.saveAnswers.push_back(QString::fromStdString(path));
    Click(button);
  }

  QStringList FolderEntries() const {
    return QDir(FolderPath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
};

TEST_F(ListsTest, AddUrlKeepsSpacesAndTurnsTypedTextIntoCodePageBytes) {
  dialogs.textAnswers = {std::nullopt, QString(), "   ", QString::fromUtf8("http://x/€ü✓")};
  for (int i = 0; i < 4; ++i) Click("PushButton5");
  EXPECT_THAT(dialogs.shown, ElementsAre(AddUrlBox(), AddUrlBox(), AddUrlBox(), AddUrlBox()));
  EXPECT_THAT(Rows(UrlList()), ElementsAre("   ", "http://x/\x80\xFC?"));

  UrlList().Clear();
  Click("PushButton3");
  Click("PushButton3");
  EXPECT_THAT(Rows(UrlList()), ElementsAre("http://www.wikipedia.org/", "http://www.gnu.org",
                                           "http://www.wikipedia.org/", "http://www.gnu.org"));
}

TEST_F(ListsTest, LoadsChosenFilesInOrderReportingMissingAndUnreadableOnes) {
  UrlList().AppendRow("first");
  Write(Path("one.txt"), "a\r\nb\n");
  Write(Path("two"), "c \xE9");
  ASSERT_TRUE(QDir(FolderPath()).mkdir("folder.txt"));  // exists, but cannot be read as a file
  dialogs.openAnswers.push_back(
      {QString::fromStdString(Path("one.txt")), QString::fromStdString(Path("missing.txt")),
       QString::fromStdString(Path("folder.txt")), QString::fromStdString(Path("two"))});
  Click("PushButton13");
  EXPECT_THAT(dialogs.shown,
              ElementsAre(FileDialog(ShownKind::OpenFiles,
                                     "Add File(s) - Use Ctrl & Shift to select multiple files"),
                          Info("File not found"),
                          Report("Path/File access error", "PushButton13_Click", 118)));
  EXPECT_THAT(Rows(UrlList()), ElementsAre("first", "a", "b", "c \xE9"));

  dialogs.shown.clear();
  Click("PushButton13");  // cancelled
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(ShownRows(UrlList()), 4);
}

TEST_F(ListsTest, LoadsAListReachedThroughALink) {
  Write(Path("list.txt"), "a\r\nb");
  ASSERT_EQ(::symlink(Path("list.txt").c_str(), Path("link").c_str()), 0);
  dialogs.openAnswers.push_back({QString::fromStdString(Path("link"))});
  Click("PushButton13");
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_THAT(Rows(UrlList()), ElementsAre("a", "b"));
}

TEST_F(ListsTest, SavesFollowLinksAndNameAMissingFolder) {
  AddResults({"a"});
  Write(Path("target.txt"), "old");
  ASSERT_EQ(::symlink("target.txt", Path("link.txt").c_str()), 0);
  dialogs.messageAnswers = {BoxAnswer::Yes};
  SaveAs("PushButton6", Path("link.txt"));
  EXPECT_EQ(Read(Path("target.txt")), "a\r\n");
  EXPECT_TRUE(QFileInfo(QString::fromStdString(Path("link.txt"))).isSymLink());

  dialogs.shown.clear();
  SaveAs("PushButton1", Path("missing/results.csv"));
  EXPECT_THAT(dialogs.shown, ElementsAre(FileDialog(ShownKind::SaveFile, "Save"),
                                         Report("Path not found", "PushButton1_Click", 130)));
  EXPECT_THAT(FolderEntries(), ElementsAre("link.txt", "target.txt"));
}

TEST_F(ListsTest, AHugeRowPaintsQuicklyAndIsCopiedWhole) {
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  const std::string huge = "http://h/" + std::string(8 << 20, 'a');
  ResultList().AppendRow(huge);
  ResultList().FlushPending();
  auto* view = Control<QTreeView>("ListView2");
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 3; ++i) view->viewport()->grab();
  EXPECT_LT(timer.elapsed(), 1500) << "three paints of an 8 MiB row";
  Click("PushButton2");
  EXPECT_EQ(QGuiApplication::clipboard()->text().size(), static_cast<qsizetype>(huge.size() + 2));
}

TEST_F(ListsTest, SavesBothFormatsByteForByteUnderTheNameAsTyped) {
  AddResults({"a", "b", "c"});
  SaveAs("PushButton6", Path("abc"));
  SaveAs("PushButton1", Path("abc.csv"));
  EXPECT_EQ(Read(Path("abc")), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(Read(Path("abc.csv")), "a,b,c,\r\n");
  EXPECT_THAT(FolderEntries(), ElementsAre("abc", "abc.csv"));  // nothing added, nothing left
  EXPECT_THAT(dialogs.shown, ElementsAre(FileDialog(ShownKind::SaveFile, "Save"),
                                         FileDialog(ShownKind::SaveFile, "Save")));
  EXPECT_FALSE(Pointer().IsBusy());

  ResultList().Clear();
  AddResults({"x  ", "y,z", "q\"r", "\xE9"});
  SaveAs("PushButton6", Path("rows.txt"));
  SaveAs("PushButton1", Path("rows.csv"));
  EXPECT_EQ(Read(Path("rows.txt")), "x  \r\ny,z\r\nq\"r\r\n\xE9\r\n");
  EXPECT_EQ(Read(Path("rows.csv")), "x  ,\"y,z\",\"q\"\"r\",\xE9,\r\n");

  ResultList().Clear();
  SaveAs("PushButton6", Path("empty.txt"));
  SaveAs("PushButton1", Path("empty.csv"));
  EXPECT_EQ(Read(Path("empty.txt")), "");
  EXPECT_EQ(Read(Path("empty.csv")), "\r\n");
}

TEST_F(ListsTest, AsksBeforeOverwritingAndDoesNothingWhenCancelledOrRefused) {
  AddResults({"new"});
  const std::string path = Path("old.txt");
  Write(path, "old");
  dialogs.messageAnswers = {BoxAnswer::No, BoxAnswer::Yes};
  SaveAs("PushButton6", path);
  EXPECT_EQ(Read(path), "old");
  SaveAs("PushButton1", path);
  EXPECT_EQ(Read(path), "new,\r\n");
  Click("PushButton6");  // cancelled: the dialog gives no name
  EXPECT_THAT(dialogs.shown, ElementsAre(FileDialog(ShownKind::SaveFile, "Save"), Overwrite(path),
                                         FileDialog(ShownKind::SaveFile, "Save"), Overwrite(path),
                                         FileDialog(ShownKind::SaveFile, "Save")));
  EXPECT_THAT(FolderEntries(), ElementsAre("old.txt"));
}

TEST_F(ListsTest, AnOverwriteQuestionDismissedOrFailedCountsAsNo) {
  AddResults({"new"});
  const std::string path = Path("old.txt");
  Write(path, "old");
  dialogs.messageAnswers = {BoxAnswer::Ok};  // closed with neither Yes nor No
  SaveAs("PushButton6", path);
  dialogs.whileShown = [](const ShownBox& box) {
    if (box.buttons == BoxButtons::YesNo) throw Failure(std::string(kInvalidProcedureCall));
  };
  SaveAs("PushButton1", path);
  EXPECT_EQ(Read(path), "old");
  EXPECT_THAT(dialogs.shown,
              ElementsAre(FileDialog(ShownKind::SaveFile, "Save"), Overwrite(path),
                          FileDialog(ShownKind::SaveFile, "Save"), Overwrite(path),
                          Report(std::string(kInvalidProcedureCall), "PushButton1_Click", 122)));
  EXPECT_THAT(FolderEntries(), ElementsAre("old.txt"));
  EXPECT_FALSE(Pointer().IsBusy());
}

TEST_F(ListsTest, AFailedSaveIsOneReportAndLeavesTheOldFileAsItWas) {
  AddResults({"a", "b", "c"});
  // A folder that cannot be written: its path runs through a regular file.
  Write(Path("blocker"), "keep");
  SaveAs("PushButton6", Path("blocker") + "/results.txt");
  EXPECT_THAT(dialogs.shown, ElementsAre(FileDialog(ShownKind::SaveFile, "Save"),
                                         Report("Path not found", "PushButton6_Click", 130)));

  // The write itself fails halfway over an existing file.
  dialogs.shown.clear();
  Write(Path("old.csv"), "old");
  dialogs.messageAnswers = {BoxAnswer::Yes};
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;
  small.rlim_cur = 4;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  SaveAs("PushButton1", Path("old.csv"));
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  EXPECT_THAT(dialogs.shown,
              ElementsAre(FileDialog(ShownKind::SaveFile, "Save"), Overwrite(Path("old.csv")),
                          Report("File too large", "PushButton1_Click", 130)));
  EXPECT_EQ(Read(Path("old.csv")), "old");
  EXPECT_EQ(Read(Path("blocker")), "keep");
  EXPECT_THAT(FolderEntries(), ElementsAre("blocker", "old.csv"));
  EXPECT_FALSE(Pointer().IsBusy());
}

TEST_F(ListsTest, CopiesTheCheckedRowsAndAlwaysConfirms) {
  const ShownBox copied = Info(
      "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
      "and press Ctrl+V to paste the clipboard.");
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText("kept");
  Click("PushButton2");  // an empty list leaves the clipboard as it was
  EXPECT_EQ(clipboard->text(), "kept");

  AddResults({"a", "b  ", "c"});
  Click("PushButton2");  // every row starts checked
  EXPECT_EQ(clipboard->text(), "a\r\nb\r\nc\r\n");
  ResultList().SetChecked(0, false);
  ResultList().SetChecked(2, false);
  Click("PushButton2");
  EXPECT_EQ(clipboard->text(), "b\r\n");
  ResultList().SetChecked(1, false);
  Click("PushButton2");
  EXPECT_EQ(clipboard->text(), "");
  EXPECT_THAT(dialogs.shown, ElementsAre(copied, copied, copied, copied));
}

class ListGestures : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    for (const char* row : {"a", "b", "c"}) {
      UrlList().AppendRow(row);
      ResultList().AppendRow(row);
    }
    UrlList().FlushPending();
    ResultList().FlushPending();
  }

  QTreeView* View(int number) {
    return Control<QTreeView>(number == 1 ? "ListView1" : "ListView2");
  }
  RowListModel& List(int number) { return number == 1 ? UrlList() : ResultList(); }
  void Select(int number, int row) { View(number)->setCurrentIndex(List(number).index(row, 0)); }
  void DoubleClickRow(int number, int row) {
    QTest::mouseDClick(View(number)->viewport(), Qt::LeftButton, {},
                       View(number)->visualRect(List(number).index(row, 0)).center());
  }
  void DoubleClickBelowRows(int number) {
    QTest::mouseDClick(View(number)->viewport(), Qt::LeftButton, {},
                       {5, View(number)->viewport()->height() - 5});
  }
};

TEST_F(ListGestures, DeleteWithAnyModifiersAndDoubleClickRemoveTheSelectedRow) {
  for (int number : {1, 2}) {
    SCOPED_TRACE(number);
    QTest::keyClick(View(number), Qt::Key_Delete);  // nothing selected
    DoubleClickBelowRows(number);
    EXPECT_THAT(Rows(List(number)), ElementsAre("a", "b", "c"));
    Select(number, 1);
    QTest::keyClick(View(number), Qt::Key_Backspace);
    EXPECT_EQ(ShownRows(List(number)), 3);
    QTest::keyClick(View(number), Qt::Key_Delete, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_THAT(Rows(List(number)), ElementsAre("a", "c"));
    DoubleClickRow(number, 1);
    EXPECT_THAT(Rows(List(number)), ElementsAre("a"));
  }
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

TEST_F(ListGestures, WhileBusyOnlyClearResultsActs) {
  Pointer().BeginSave();
  for (int number : {1, 2}) {
    Select(number, 0);
    QTest::keyClick(View(number), Qt::Key_Delete);
    DoubleClickRow(number, 2);
  }
  Click("PushButton11");
  EXPECT_EQ(ShownRows(UrlList()), 3);
  EXPECT_EQ(ShownRows(ResultList()), 3);
  Click("PushButton9");
  EXPECT_EQ(ShownRows(ResultList()), 0);
  Pointer().EndSave();
  Click("PushButton11");
  EXPECT_EQ(ShownRows(UrlList()), 0);
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

// Pasting, dropping and the context menus.
class ListExtras : public ListGestures {
 protected:
  void PressOn(int number, QKeySequence::StandardKey key) {
    const QKeySequence sequence(key);
    QTest::keyClick(View(number), static_cast<Qt::Key>(sequence[0].key()),
                    sequence[0].keyboardModifiers());
  }
  void Trigger(const char* action) { Control<QAction>(action)->trigger(); }
  // A drop on the URL list, as a file manager or a browser makes it; true
  // when the list took it as a copy.
  bool DropOnUrlList(const QMimeData& data,
                     Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
    QWidget* target = View(1)->viewport();
    QDragEnterEvent enter({5, 5}, actions, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(5, 5), actions, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();  // the list loads once the drop is over
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
  }
  QMenu* OpenMenu(int number) {
    emit View(number)->customContextMenuRequested({5, 5});
    auto* menu = Control<QMenu>(number == 1 ? "UrlListMenu" : "ResultsMenu");
    EXPECT_TRUE(menu->isVisible());
    return menu;
  }
  static std::vector<std::string> Items(QMenu* menu) {
    std::vector<std::string> items;
    for (QAction* action : menu->actions()) {
      items.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
    }
    menu->hide();
    return items;
  }
};

TEST_F(ListExtras, PasteAddsEachClipboardLineByTheListFileRules) {
  QGuiApplication::clipboard()->setText(QString::fromUtf8("d\r\ne \n\n\tf\r"));
  PressOn(1, QKeySequence::Paste);
  EXPECT_THAT(Rows(UrlList()), ElementsAre("a", "b", "c", "d", "e ", "", "\tf"));
  PressOn(2, QKeySequence::Paste);  // the results take no addresses
  EXPECT_EQ(ShownRows(ResultList()), 3);

  UrlList().Clear();
  QGuiApplication::clipboard()->setText(QString::fromUtf8("http://x/\u00e9\u2713\n"));
  EXPECT_THAT(Items(OpenMenu(1)), ElementsAre("Paste\tCtrl+V"));
  Trigger("mnuPaste");
  QGuiApplication::clipboard()->clear();
  Trigger("mnuPaste");
  EXPECT_THAT(Rows(UrlList()), ElementsAre("http://x/\xE9?"));
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

TEST_F(ListExtras, DroppedFilesLoadLikeListFilesAndLinksAndTextAddLikePaste) {
  UrlList().Clear();
  Write(Path("one.txt"), "a\r\nb\n");
  ASSERT_TRUE(QDir(FolderPath()).mkdir("folder.txt"));
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("one.txt"))),
                 QUrl::fromLocalFile(QString::fromStdString(Path("missing.txt"))),
                 QUrl::fromLocalFile(QString::fromStdString(Path("folder.txt"))),
                 QUrl(QString::fromUtf8("https://example.org/a b/\u00e9?q=1"))});
  files.setText("ignored when links come along");
  EXPECT_TRUE(DropOnUrlList(files));
  EXPECT_THAT(dialogs.shown,
              ElementsAre(Info("File not found"),
                          Report("Path/File access error", "ListView1_DragDrop", 100)));
  QMimeData text;
  text.setText("p\r\nq");
  EXPECT_TRUE(DropOnUrlList(text));
  EXPECT_THAT(Rows(UrlList()),
              ElementsAre("a", "b", "https://example.org/a%20b/%C3%A9?q=1", "p", "q"));

  QMimeData image;
  image.setImageData(QImage(2, 2, QImage::Format_RGB32));
  EXPECT_FALSE(DropOnUrlList(image));
  EXPECT_FALSE(DropOnUrlList(text, Qt::MoveAction));  // a move would delete the source
  EXPECT_EQ(ShownRows(UrlList()), 5);
}

TEST_F(ListExtras, ResultsMenuOpensTheSelectedRowAndCopiesItByTheCopyRule) {
  EXPECT_THAT(Items(OpenMenu(2)), ElementsAre("Open Link (off)", "Copy\tCtrl+C (off)"));
  ResultList().AppendRow("http://h/a b/\xE9");
  ResultList().AppendRow("end  ");
  ResultList().SetChecked(4, false);
  ResultList().FlushPending();
  Select(2, 3);
  EXPECT_THAT(Items(OpenMenu(2)), ElementsAre("Open Link", "Copy\tCtrl+C"));
  Trigger("mnuOpenLink");
  EXPECT_THAT(opened, ElementsAre("http://h/a%20b/%C3%A9"));

  Select(2, 4);
  Trigger("mnuCopy");  // unchecked rows are copied too: the user chose this one
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "end\r\n");
  Select(2, 0);
  PressOn(2, QKeySequence::Copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "a\r\n");

  browserMissing = true;
  Trigger("mnuOpenLink");
  EXPECT_THAT(dialogs.shown, ElementsAre(Report("File not found", "mnuOpenLink_Click", 100)));
  EXPECT_EQ(ShownRows(ResultList()), 5);
}

TEST_F(ListExtras, WhileBusyPasteAndDropWaitButOpenAndCopyWork) {
  Pointer().BeginRun();
  QGuiApplication::clipboard()->setText("x\ny");
  PressOn(1, QKeySequence::Paste);
  EXPECT_THAT(Items(OpenMenu(1)), ElementsAre("Paste\tCtrl+V (off)"));
  Trigger("mnuPaste");
  QMimeData text;
  text.setText("z");
  EXPECT_FALSE(DropOnUrlList(text));
  EXPECT_THAT(Rows(UrlList()), ElementsAre("a", "b", "c"));

  Select(2, 1);
  Trigger("mnuOpenLink");
  Trigger("mnuCopy");
  EXPECT_THAT(opened, ElementsAre("b"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "b\r\n");
  Pointer().EndRun();
  QGuiApplication::clipboard()->setText("x\ny");
  PressOn(1, QKeySequence::Paste);
  EXPECT_THAT(Rows(UrlList()), ElementsAre("a", "b", "c", "x", "y"));
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

}  // namespace
}  // namespace verdigo::testing
