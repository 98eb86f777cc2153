#pragma once

#include <functional>
#include <utility>

#include "window/dialogs.h"

// Every box after what it follows: before a box is shown, the window shows
// and draws every row its lists hold. The lists show appended rows in timed
// batches, so a box ("URL not found") could otherwise stand in front of rows
// of earlier pages that were stored but not yet drawn, and they would appear
// behind it.
namespace verdigo {

class DrawnFirstDialogs : public Dialogs {
 public:
  // `drawAll` shows the pending rows and draws the window, at once.
  DrawnFirstDialogs(Dialogs& boxes, std::function<void()> drawAll)
      : boxes_(boxes), drawAll_(std::move(drawAll)) {}

  BoxAnswer ShowMessage(const MessageBoxSpec& box) override {
    drawAll_();
    return boxes_.ShowMessage(box);
  }
  std::optional<QString> AskText(const QString& prompt, const QString& title,
                                 const QString& defaultAnswer) override {
    drawAll_();
    return boxes_.AskText(prompt, title, defaultAnswer);
  }
  QStringList ChooseFilesToOpen(const FileDialogSpec& dialog) override {
    drawAll_();
    return boxes_.ChooseFilesToOpen(dialog);
  }
  QString ChooseFileToSave(const FileDialogSpec& dialog) override {
    drawAll_();
    return boxes_.ChooseFileToSave(dialog);
  }

 private:
  Dialogs& boxes_;
  std::function<void()> drawAll_;
};

}  // namespace verdigo
