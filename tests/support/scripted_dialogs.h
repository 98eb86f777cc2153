#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "window/dialogs.h"

// A Dialogs fake for tests: records every box in order and gives the answers
// the test scripted. A message box with no scripted answer is answered OK
// (Yes/No boxes must be scripted).
namespace verdigo::testing {

enum class ShownKind { Message, Input, OpenFiles, SaveFile };

struct ShownBox {
  ShownKind kind = ShownKind::Message;
  QString text;  // message text or input prompt
  QString title;
  BoxButtons buttons = BoxButtons::Ok;
  BoxIcon icon = BoxIcon::None;
  QString filter;         // file dialogs
  QString defaultAnswer;  // input box

  bool operator==(const ShownBox&) const = default;
};

inline ShownBox Message(QString text, QString title, BoxButtons buttons = BoxButtons::Ok,
                        BoxIcon icon = BoxIcon::None) {
  return {ShownKind::Message, std::move(text), std::move(title), buttons, icon, {}, {}};
}

inline void PrintTo(const ShownBox& box, std::ostream* out) {
  static const char* const kKinds[] = {"Message", "Input", "OpenFiles", "SaveFile"};
  *out << kKinds[static_cast<int>(box.kind)] << "{\"" << box.text.toStdString() << "\", \""
       << box.title.toStdString() << "\", " << (box.buttons == BoxButtons::YesNo ? "YesNo" : "Ok")
       << ", " << (box.icon == BoxIcon::Warning ? "Warning" : "NoIcon") << "}";
}

class ScriptedDialogs : public Dialogs {
 public:
  std::vector<ShownBox> shown;
  std::deque<BoxAnswer> messageAnswers;
  std::deque<std::optional<QString>> textAnswers;
  std::deque<QStringList> openAnswers;
  std::deque<QString> saveAnswers;
  // Runs while a box is "open", after it was recorded.
  std::function<void(const ShownBox&)> whileShown;

  BoxAnswer ShowMessage(const MessageBoxSpec& box) override {
    Record({ShownKind::Message, box.text, box.title, box.buttons, box.icon, {}, {}});
    if (!messageAnswers.empty()) return Take(messageAnswers);
    if (box.buttons == BoxButtons::YesNo) ADD_FAILURE() << "unscripted Yes/No box";
    return BoxAnswer::Ok;
  }

  std::optional<QString> AskText(const QString& prompt, const QString& title,
                                 const QString& defaultAnswer) override {
    Record({ShownKind::Input, prompt, title, BoxButtons::Ok, BoxIcon::None, {}, defaultAnswer});
    if (textAnswers.empty()) return std::nullopt;
    return Take(textAnswers);
  }

  QStringList ChooseFilesToOpen(const FileDialogSpec& dialog) override {
    Record(
        {ShownKind::OpenFiles, {}, dialog.title, BoxButtons::Ok, BoxIcon::None, dialog.filter, {}});
    return openAnswers.empty() ? QStringList() : Take(openAnswers);
  }

  QString ChooseFileToSave(const FileDialogSpec& dialog) override {
    Record(
        {ShownKind::SaveFile, {}, dialog.title, BoxButtons::Ok, BoxIcon::None, dialog.filter, {}});
    return saveAnswers.empty() ? QString() : Take(saveAnswers);
  }

 private:
  void Record(ShownBox box) {
    shown.push_back(box);
    if (whileShown) whileShown(box);
  }

  template <typename T>
  static T Take(std::deque<T>& answers) {
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
};

}  // namespace verdigo::testing
