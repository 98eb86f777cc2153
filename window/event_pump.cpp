#include "window/event_pump.h"

#include <QCoreApplication>

namespace verdigo {

EventPump::EventPump()
    : EventPump(std::chrono::steady_clock::now, [] { QCoreApplication::processEvents(); }) {}

EventPump::EventPump(Clock clock, Pump pump)
    : clock_(std::move(clock)), pump_(std::move(pump)), lastPump_(clock_()) {}

void EventPump::YieldSometimes() {
  if (clock_() - lastPump_ >= kInterval) YieldNow();
}

void EventPump::YieldNow() {
  pump_();
  lastPump_ = clock_();
}

}  // namespace verdigo
