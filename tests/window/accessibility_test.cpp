#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <set>
#include <string>
#include <vector>

#include "tests/window/window_fixture.h"

// What a screen reader hears of the window, read through Qt's accessibility
// interfaces as the AT-SPI bridge reads them.
namespace verdigo::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(WindowTest, ScreenReadersHearEveryListAndButtonByNameWithADescription) {
  LoadWindow();
  std::vector<std::string> heard;
  std::set<QString> descriptions;
  for (const char* name :
       {"ListView1", "ListView2", "PushButton5", "PushButton13", "PushButton11", "PushButton7",
        "PushButton6", "PushButton1", "PushButton9", "PushButton2", "PushButton3"}) {
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(Control(name));
    ASSERT_NE(control, nullptr) << name;
    heard.push_back(control->text(QAccessible::Name).toStdString());
    descriptions.insert(control->text(QAccessible::Description));
  }
  EXPECT_THAT(
      heard,
      ElementsAre("URL list", "Results list", "Add URL", "Load List From Text File", "Clear List",
                  "Start Extracting Links", "Save Results As Text File", "Save As Comma Delimited",
                  "Clear Results", "Copy Results To Clipboard", "Load Sample/Example Files"));
  EXPECT_EQ(descriptions.size(), 11u);  // each its own, none empty
  EXPECT_FALSE(descriptions.contains(QString()));
  EXPECT_EQ(Control("ListView1")->toolTip(), Control("ListView2")->toolTip());
  EXPECT_TRUE(Control("ListView1")->toolTip().startsWith("Double-click item to remove it."));
}

}  // namespace
}  // namespace verdigo::testing
