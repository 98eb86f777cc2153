#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QTreeView>

#include "common/product.h"
#include "tests/window/window_fixture.h"
#include "window/app_title.h"

namespace verdigo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

void WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// A 32 x 32 Windows cursor with its hotspot at (x, y).
QByteArray CursorFile(int x, int y) {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::blue);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "ICO");
  bytes[2] = 2;  // a cursor, not an icon
  bytes[10] = static_cast<char>(x);
  bytes[12] = static_cast<char>(y);
  return bytes;
}

std::string FormLoadReport(const std::string& description, int line) {
  return description + "\r\nin Quillmere2021/08/31.Form1.Form_Load at line " +
         std::to_string(line) +
         "\r\rPlease email screenshot of this message to support@quillmere.example";
}

TEST(AppTitle, StartsCutAfter39CharactersThenLosesWordsUntilAtMost40) {
  EXPECT_EQ(InitialAppTitle(std::string(39, 'a') + "bc"), std::string(39, 'a'));
  // 45 characters, blanks at positions 35 and 42: two cuts leave 34.
  const std::string name = std::string(34, 'a') + " bbbbbb ccc";
  ASSERT_EQ(name.size(), 45u);
  EXPECT_EQ(CutAppTitle(name), std::string(34, 'a'));
  EXPECT_EQ(CutAppTitle("Link Extractor Pro"), "Link Extractor");
  // No blank left to cut at: the text stands as it is, without a failure.
  EXPECT_EQ(CutAppTitle("Verdigo"), "Verdigo");
  EXPECT_EQ(CutAppTitle(std::string(45, 'x')), std::string(45, 'x'));
  EXPECT_EQ(CutAppTitle(std::string(30, 'x') + " " + std::string(20, 'y')), std::string(30, 'x'));
}

TEST_F(WindowTest, QuietStartUpSetsCaptionTitleAndColumnsAndShowsNoBox) {
  Form1& form = LoadWindow();
  EXPECT_THAT(dialogs.shown, IsEmpty());
  EXPECT_EQ(onlineChecks, 1);
  EXPECT_THAT(opened, IsEmpty());
  EXPECT_EQ(form.windowTitle(), "Verdigo");
  EXPECT_FALSE(form.windowIcon().isNull());
  EXPECT_EQ(parts->title->Text(), "Verdigo");
  EXPECT_THAT(skin.calls, IsEmpty());
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_FALSE(form.HasHoverCursor());
  auto* urls = Control<QTreeView>("ListView1");
  auto* results = Control<QTreeView>("ListView2");
  EXPECT_EQ(urls->model()->headerData(0, Qt::Horizontal).toString(), "URL(s)");
  EXPECT_EQ(results->model()->headerData(0, Qt::Horizontal).toString(), "Result(s)");
  EXPECT_EQ(urls->header()->sectionSize(0), 467);  // 7000 twips
  EXPECT_EQ(results->header()->sectionSize(0), 467);
  EXPECT_EQ(ShownRows(UrlList()), 0);
  EXPECT_EQ(ShownRows(ResultList()), 0);
}

TEST_F(WindowTest, StartUpBoxesComeInStatementOrderAndStartUpGoesOn) {
  online = false;
  draw = 7;
  browserMissing = true;
  WriteFile(FolderPath("HAND-M.CUR"), "not a cursor at all");
  Form1& form = LoadWindow();
  EXPECT_THAT(dialogs.shown,
              ElementsAre(Info("You must be online to use this software accurately."),
                          ErrorBox(FormLoadReport("Invalid picture", 108)),
                          ErrorBox(FormLoadReport("File not found", 110))));
  EXPECT_THAT(opened, ElementsAre(std::string(kHomePageUrl)));
  EXPECT_EQ(form.windowTitle(), "Verdigo");
  EXPECT_EQ(ResultList().headerData(0, Qt::Horizontal).toString(), "Result(s)");
}

TEST_F(WindowTest, HomePageOpensOnlyOnADrawOfSeven) {
  for (int value : {1, 6, 8, 100}) {
    draw = value;
    LoadWindow();
  }
  EXPECT_THAT(opened, IsEmpty());
  draw = 7;
  LoadWindow();
  EXPECT_THAT(opened, ElementsAre("http://www.quillmere.example/verdigo/"));
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

TEST_F(WindowTest, SkinFileMakesTheFiveEngineCallsInOrderAndChangesTheWindow) {
  const QString skinFile = FolderPath("x/o.cjs");
  WriteFile(skinFile, "QPushButton { background: rgb(200, 0, 0); border: none; }");
  MakeWindow(FakeSetup());
  const std::string handle = std::to_string(window->winId());
  window->Form_Load();
  EXPECT_THAT(skin.calls, ElementsAre(SkinCall{2, "call", skinFile.toStdString() + ", \"\""},
                                      SkinCall{1, "read", "0"}, SkinCall{1, "write", "1"},
                                      SkinCall{5, "write", "true"}, SkinCall{10, "write", "true"},
                                      SkinCall{3, "call", handle}));
  EXPECT_EQ(window->palette().color(QPalette::Window),
            QApplication::palette().color(QPalette::Button));
  const QImage button = Control<QPushButton>("PushButton7")->grab().toImage();
  EXPECT_EQ(button.pixelColor(6, 6), QColor(200, 0, 0));
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

TEST_F(WindowTest, HiddenSkinFileOrFolderCountsAsAbsent) {
  WriteFile(FolderPath("x/o.cjs"), "QWidget { background: red; }");
  WriteFile(FolderPath("x/.hidden"), "other.cjs\no.cjs\n");
  LoadWindow();
  EXPECT_THAT(skin.calls, IsEmpty());
  EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::white));

  QDir(FolderPath("x")).removeRecursively();
  QDir().mkpath(FolderPath("x/o.cjs"));
  LoadWindow();
  EXPECT_THAT(skin.calls, IsEmpty());
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

TEST_F(WindowTest, HoverCursorComesFromTheCursorFileWithItsHotspot) {
  WriteFile(FolderPath("HAND-M.CUR"), CursorFile(5, 7));
  WriteFile(FolderPath(".hidden"), "HAND-M.CUR\n");  // hidden still counts
  Form1& form = LoadWindow();
  ASSERT_TRUE(form.HasHoverCursor());
  EXPECT_EQ(form.HoverCursor().hotSpot(), QPoint(5, 7));
  EXPECT_EQ(form.HoverCursor().pixmap().size(), QSize(32, 32));
  EXPECT_EQ(form.HoverCursor().pixmap().toImage().pixelColor(16, 16), QColor(Qt::blue));
  EXPECT_THAT(dialogs.shown, IsEmpty());
}

}  // namespace
}  // namespace verdigo::testing
