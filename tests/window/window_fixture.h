#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "console/cmd_output.h"
#include "tests/support/scripted_dialogs.h"
#include "window/form1.h"

// A window with every outside service replaced: scripted boxes, a program
// folder of the test's own, a connectivity check and a browser that only
// record what they were asked to do.
namespace verdigo::testing {

class WindowTest : public ::testing::Test {
 protected:
  Form1Setup FakeSetup() {
    Form1Setup setup;
    setup.dialogs = &dialogs;
    setup.programFolder = ProgramFolder();
    setup.checkOnline = [this](const WarnFn& warn, const YieldFn&) {
      ++onlineChecks;
      if (!online) warn(std::string(kOnlineWarning));
    };
    setup.homePage.draw = [this] { return draw; };
    setup.homePage.open = [this](const std::string& address) {
      opened.push_back(address);
      if (browserMissing) throw Failure("File not found");
    };
    return setup;
  }

  Form1& LoadWindow() {
    window = std::make_unique<Form1>(FakeSetup());
    window->Form_Load();
    return *window;
  }

  std::string ProgramFolder() const { return folder.path().toStdString(); }

  template <typename T = QWidget>
  T* Control(const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  QTemporaryDir folder;
  ScriptedDialogs dialogs;
  bool online = true;
  int onlineChecks = 0;
  int draw = 50;
  bool browserMissing = false;
  std::vector<std::string> opened;
  std::unique_ptr<Form1> window;
};

// "Verdigo", OK, no icon: an ordinary box of the program.
inline ShownBox Info(const char* text) { return Message(QString::fromLatin1(text), "Verdigo"); }

inline ShownBox ErrorBox(const std::string& text) {
  return Message(QString::fromStdString(text), "Application Error", BoxButtons::Ok,
                 BoxIcon::Warning);
}

}  // namespace verdigo::testing
