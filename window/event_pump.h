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
  static constexpr std::chrono::milliseconds kInterval{10};

  explicit EventPump(Clock clock = std::chrono::steady_clock::now);

  // Pumps when kInterval has passed since the last pump.
  void YieldSometimes();
  // Pumps now.
  void YieldNow();

  // The pumping itself; tests may count it.
  void SetPump(std::function<void()> pump) { pump_ = std::move(pump); }

 private:
  Clock clock_;
  std::function<void()> pump_;
  std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace verdigo
