#include <algorithm>

#include "engine/clock.h"

namespace verdigo {
namespace {

class RealClock : public Clock {
 public:
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  std::chrono::system_clock::time_point WallNow() const override {
    return std::chrono::system_clock::now();
  }
  std::chrono::milliseconds IdleUntil(TimePoint due) override {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(due - Now()));
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace verdigo
