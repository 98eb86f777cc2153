#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeView>

#include "tests/window/window_fixture.h"
#include "window/event_pump.h"
#include "window/pointer_state.h"

namespace verdigo::testing {
namespace {

TEST(PointerState, HourglassOutlastsHoverAndEveryBusyOperation) {
  BusyGate busy;
  PointerState pointer;
  busy.SetOnChange([&](bool nowBusy) { pointer.BusyChanged(nowBusy); });
  std::vector<PointerValue> shown;
  pointer.SetOnChange([&](PointerValue value) { shown.push_back(value); });
  pointer.MouseOverButton();
  EXPECT_EQ(pointer.Value(), PointerValue::Custom);
  busy.BeginRun();
  pointer.MouseOverSurface();
  pointer.MouseOverButton();
  EXPECT_EQ(pointer.Value(), PointerValue::Hourglass);
  // A save that ends during the run leaves the window busy.
  busy.BeginSave();
  busy.EndSave();
  EXPECT_FALSE(busy.ListsMayChange());
  EXPECT_EQ(pointer.Value(), PointerValue::Hourglass);
  busy.BeginSave();
  busy.EndRun();
  int changes = 0;
  EXPECT_FALSE(busy.ChangeList([&] { ++changes; }));
  busy.EndSave();
  EXPECT_TRUE(busy.ChangeList([&] { ++changes; }));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(pointer.Value(), PointerValue::Default);  // not back to the custom pointer
  EXPECT_EQ(shown, (std::vector<PointerValue>{PointerValue::Custom, PointerValue::Hourglass,
                                              PointerValue::Default}));
}

class PointerOverWindow : public WindowTest {
 protected:
  void SetUp() override { LoadWindow(); }

  void Enter(QWidget* widget) {
    QEnterEvent event(QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                      widget->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(widget, &event);
  }
  void Move(QWidget* widget, QPoint at) {
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
  }
  PointerValue Value() { return Pointer().Value(); }
};

TEST_F(PointerOverWindow, ButtonsShowTheCustomPointerListsAndSurfaceTheDefault) {
  Enter(Control("PushButton9"));
  EXPECT_EQ(Value(), PointerValue::Custom);
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);  // no cursor file: an arrow
  Move(Control<QTreeView>("ListView2")->viewport(), {5, 5});
  EXPECT_EQ(Value(), PointerValue::Default);
  Move(Control("PushButton3"), {5, 5});
  EXPECT_EQ(Value(), PointerValue::Custom);
  // Movement over a button that reaches the window stays the button's.
  Move(window.get(), Control("PushButton3")->geometry().center());
  EXPECT_EQ(Value(), PointerValue::Custom);
  Move(window.get(), {2, 2});  // the margin of the window itself
  EXPECT_EQ(Value(), PointerValue::Default);
  Enter(Control("PushButton1"));
  Move(Control<QTreeView>("ListView1")->header()->viewport(), {5, 5});
  EXPECT_EQ(Value(), PointerValue::Default);
}

TEST_F(PointerOverWindow, BusyWindowKeepsTheHourglassEverywhere) {
  Busy().BeginRun();
  EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
  Enter(Control("PushButton7"));
  Move(Control("PushButton7"), {5, 5});
  EXPECT_EQ(Value(), PointerValue::Hourglass);
  Move(Control<QTreeView>("ListView1")->viewport(), {5, 5});
  Move(window.get(), {2, 2});
  EXPECT_EQ(Value(), PointerValue::Hourglass);
  EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
  Busy().EndRun();
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST(EventPump, PumpsOnlyWhenTenMillisecondsHavePassedSinceTheLastPump) {
  using namespace std::chrono_literals;
  std::chrono::steady_clock::time_point now{};
  int pumps = 0;
  EventPump pump([&] { return now; }, [&] { ++pumps; });
  for (auto step : {9ms, 1ms, 5ms}) {
    now += step;
    pump.YieldSometimes();
  }
  EXPECT_EQ(pumps, 1);
  pump.YieldNow();
  now += 9ms;
  pump.YieldSometimes();
  EXPECT_EQ(pumps, 2);
}

}  // namespace
}  // namespace verdigo::testing
