#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "window/qt_dialogs.h"

namespace verdigo {
namespace {

// Looks at the modal box once it is up, then closes it.
template <typename Box>
void WhenShown(std::function<void(Box&)> look) {
  QTimer::singleShot(0, [look] {
    auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    look(*box);
  });
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
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
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

}  // namespace
}  // namespace verdigo
