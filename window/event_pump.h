#pragma once

#include <chrono>
#include <functional>

// Lets the window handle its events from inside a long operation. The engine
// yields after every row and every slice of a page; pumping Qt's event loop
// each time would cost more than the work itself, so the pump runs the loop
// only when some time has passed since it last did.
namespace verdigo {

class EventPump {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Pump = std::function<void()>;
  static constexpr std::chrono::milliseconds kInterval{10};

  // Qt's event loop, on the steady clock.
  EventPump();
  EventPump(Clock clock, Pump pump);

  // Pumps when kInterval has passed since the last pump.
  void YieldSometimes();
  // Pumps now.
  void YieldNow();

 private:
  Clock clock_;
  Pump pump_;
  std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace verdigo
