#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>
#include <QTreeView>
#include <cmath>

#include "tests/window/window_fixture.h"

namespace verdigo::testing {
namespace {

struct ControlSpec {
  const char* name;
  const char* caption;           // null for the lists
  int left, top, width, height;  // twips
};

// In tab order.
constexpr ControlSpec kControls[] = {
    {"ListView1", nullptr, 120, 120, 7800, 2535},
    {"ListView2", nullptr, 120, 4280, 7800, 2535},
    {"PushButton5", "Add URL", 120, 2750, 3840, 405},
    {"PushButton13", "Load List From Text File", 4080, 2750, 3840, 405},
    {"PushButton11", "Clear List", 120, 3260, 3840, 405},
    {"PushButton7", "Start Extracting Links", 120, 3770, 7800, 405},
    {"PushButton6", "Save Results As Text File", 120, 6900, 3840, 405},
    {"PushButton1", "Save As Comma Delimited", 4080, 6900, 3840, 405},
    {"PushButton9", "Clear Results", 4080, 7410, 3840, 405},
    {"PushButton2", "Copy Results To Clipboard", 120, 7410, 3840, 405},
    {"PushButton3", "Load Sample/Example Files", 4080, 3260, 3840, 405},
};

int Pixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

TEST_F(WindowTest, WindowAndControlsFollowTheTable) {
  Form1& form = LoadWindow();
  EXPECT_EQ(form.size(), QSize(536, 528));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form.font(), Control("ListView1")->font());
  // Arial is not installed; a face with its metrics stands in.
  EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Sans");
  for (const ControlSpec& expected : kControls) {
    SCOPED_TRACE(expected.name);
    QWidget* control = Control(expected.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), QRect(Pixels(expected.left), Pixels(expected.top),
                                         Pixels(expected.width), Pixels(expected.height)));
    EXPECT_TRUE(control->font().bold());
    EXPECT_EQ(control->font().family(), "Arial");
    if (expected.caption != nullptr) {
      EXPECT_EQ(static_cast<QPushButton*>(control)->text(), expected.caption);
      EXPECT_EQ(control->font().pointSizeF(), 11.25);
    } else {
      auto* list = static_cast<QTreeView*>(control);
      EXPECT_EQ(control->font().pointSizeF(), 9.0);
      EXPECT_EQ(control->toolTip(),
                "Double-click item to remove it. Move | line to right and out of window to "
                "reveal full names.");
      EXPECT_FALSE(list->rootIsDecorated());
      EXPECT_FALSE(list->isHeaderHidden());
      EXPECT_EQ(list->model()->columnCount(), 1);
      EXPECT_EQ(list->header()->sectionResizeMode(0), QHeaderView::Interactive);
      EXPECT_FALSE(list->header()->stretchLastSection());
    }
  }
}

TEST_F(WindowTest, ListTipShowsOverRowsAndOverTheEmptyPartOfAList) {
  Form1& form = LoadWindow();
  form.show();
  ResultList().AppendRow("http://127.0.0.1/");
  ResultList().FlushPending();
  QWidget* area = Control<QTreeView>("ListView2")->viewport();
  for (QPoint at : {QPoint(30, 5), QPoint(30, 120)}) {
    QHelpEvent help(QEvent::ToolTip, at, area->mapToGlobal(at));
    QCoreApplication::sendEvent(area, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), Control("ListView2")->toolTip());
    QToolTip::hideText();
  }
  form.hide();
}

TEST_F(WindowTest, TabOrderFollowsTheTable) {
  Form1& form = LoadWindow();
  std::vector<QString> order;
  QWidget* widget = Control("ListView1");
  for (size_t i = 0; i < std::size(kControls); ++i) {
    order.push_back(widget->objectName());
    do {
      widget = widget->nextInFocusChain();
    } while (widget->objectName().isEmpty() || widget->parentWidget() != &form);
  }
  std::vector<QString> expected;
  for (const ControlSpec& control : kControls) expected.push_back(control.name);
  EXPECT_EQ(order, expected);
}

TEST_F(WindowTest, WindowIsCentredWhenFirstShown) {
  Form1& form = LoadWindow();
  form.show();
  const QPoint centre = form.screen()->availableGeometry().center();
  EXPECT_LE((form.frameGeometry().center() - centre).manhattanLength(), 1);
  form.hide();
}

}  // namespace
}  // namespace verdigo::testing
