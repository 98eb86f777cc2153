#include "window/event_pump.h"

#include <QCoreApplication>

namespace verdigo {

EventPump::EventPump(Clock clock)
    : clock_(std::move(clock)),
      pump_([] { QCoreApplication::processEvents(); }),
      lastPump_(clock_()) {}

void EventPump::YieldSometimes() {
  if (clock_() - lastPump_ >= kInterval) YieldNow();
}

void EventPump::YieldNow() {
  pump_();
  lastPump_ = clock_();
}

}  // namespace verdigo
