#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <memory>
#include <string>
#include <vector>

#include "common/error_report.h"
#include "console/cmd_output.h"
#include "tests/support/recording_skin_engine.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/scripted_dialogs.h"
#include "window/busy_gate.h"
#include "window/form1.h"
#include "window/home_page.h"
#include "window/pointer_state.h"
#include "window/row_list_model.h"
#include "window/window_parts.h"

// A window with every outside service replaced: scripted boxes, a program
// folder of the test's own, a connectivity check and a browser that only
// record what they were asked to do.
namespace verdigo::testing {

class WindowTest : public ::testing::Test {
 protected:
  WindowSetup FakeSetup() {
    WindowSetup setup;
    setup.dialogs = &dialogs;
    setup.skin = &skin;
    setup.programFolder = ProgramFolder();
    setup.checkOnline = [this](const WarnFn& warn, const YieldFn&) {
      ++onlineChecks;
      if (!online) warn(std::string(kOnlineWarning));
    };
    setup.homePage.draw = [this] { return draw; };
    setup.homePage.open = [this](const std::string& address) {
      opened.push_back(address);
      if (browserMissing) throw Failure("File not found");
      if (openerMissing) throw NoLinkOpener();
    };
    return setup;
  }

  // A new window over new parts, not yet loaded.
  Form1& MakeWindow(WindowSetup setup) {
    window.reset();
    testers.clear();
    parts.reset();
    skin = RecordingSkinEngine();
    parts = std::make_unique<WindowParts>(std::move(setup));
    for (RowListModel* list : {parts->urls.get(), parts->results.get()}) {
      testers.push_back(std::make_unique<QAbstractItemModelTester>(
          list, QAbstractItemModelTester::FailureReportingMode::Fatal));
    }
    window = std::make_unique<Form1>(*parts);
    return *window;
  }

  Form1& LoadWindow(WindowSetup setup) {
    MakeWindow(std::move(setup)).Form_Load();
    return *window;
  }
  Form1& LoadWindow() { return LoadWindow(FakeSetup()); }

  RowListModel& UrlList() { return *parts->urls; }
  RowListModel& ResultList() { return *parts->results; }
  PointerState& Pointer() { return *parts->pointer; }
  BusyGate& Busy() { return *parts->busy; }

  std::string ProgramFolder() const { return folder.path(); }
  QString FolderPath(const std::string& name = {}) const {
    return QString::fromStdString(name.empty() ? folder.path() : folder / name);
  }

  template <typename T = QWidget>
  T* Control(const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  ScopedTempDir folder;
  ScriptedDialogs dialogs;
  RecordingSkinEngine skin;
  bool online = true;
  int onlineChecks = 0;
  int draw = 50;
  bool browserMissing = false;
  bool openerMissing = false;
  std::vector<std::string> opened;
  // The window goes before the parts it is wired to. Qt's model tester
  // watches both lists and ends the test program at the first
  // inconsistency a view would trip over.
  std::unique_ptr<WindowParts> parts;
  std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
  std::unique_ptr<Form1> window;
};

// The rows of a list, pending ones shown first.
inline int ShownRows(RowListModel& list) {
  list.FlushPending();
  return list.rowCount();
}

inline std::vector<std::string> Rows(RowListModel& list) {
  std::vector<std::string> rows;
  for (int i = 0; i < ShownRows(list); ++i) rows.emplace_back(list.RowText(i));
  return rows;
}

// "Verdigo", OK, no icon: an ordinary box of the program.
inline ShownBox Info(const char* text) { return Message(QString::fromLatin1(text), "Verdigo"); }

inline ShownBox ErrorBox(const std::string& text) {
  return Message(QString::fromStdString(text), "Application Error", BoxButtons::Ok,
                 BoxIcon::Warning);
}

}  // namespace verdigo::testing
