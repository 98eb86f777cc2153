#include "window/clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

namespace verdigo {
namespace {

QString ClipboardNow() { return QGuiApplication::clipboard()->text(); }

TEST(Clipboard, SetsCodePageTextAsCharactersAndClears) {
  EXPECT_TRUE(SetClipboardText("caf\xE9 \x80\r\n"));
  EXPECT_EQ(ClipboardNow(), QString::fromUtf8("café €\r\n"));
  ClearClipboard();
  EXPECT_EQ(ClipboardNow(), "");
}

TEST(CopyListToClipboard, CopiesCheckedRowsAndLeavesTheClipboardForAnEmptyList) {
  RowListModel list(true);
  list.AppendRow("a ");
  list.AppendRow("b");
  list.AppendRow("c");
  list.SetChecked(1, false);
  EXPECT_TRUE(CopyListToClipboard(list));
  EXPECT_EQ(ClipboardNow(), "a\r\nc\r\n");

  RowListModel empty(true);
  QGuiApplication::clipboard()->setText("kept");
  EXPECT_FALSE(CopyListToClipboard(empty));
  EXPECT_EQ(ClipboardNow(), "kept");
}

}  // namespace
}  // namespace verdigo
