#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "engine/clock.h"

namespace verdigo::testing {

// A clock that moves only when told to, or, left to itself, jumps over every
// wait the downloader would idle through (and records it), so that retries
// and pacing cost no real time. Safe to read from the transfer thread.
class FakeClock : public Clock {
 public:
  // Starts far from the clock's zero, as the system's steady clock does.
  static constexpr std::chrono::hours kStart{1000};

  TimePoint Now() const override { return TimePoint(kStart + Elapsed()); }
  std::chrono::system_clock::time_point WallNow() const override {
    return wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(Elapsed());
  }
  std::chrono::milliseconds IdleUntil(TimePoint due) override {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Now());
    if (wait.count() <= 0) return {};
    std::lock_guard lock(mutex_);
    idles_.push_back(wait);
    Advance(wait);
    return {};
  }

  void Advance(std::chrono::nanoseconds by) { elapsed_ += by.count(); }
  // Every wait jumped over, in order.
  std::vector<std::chrono::milliseconds> Idles() const {
    std::lock_guard lock(mutex_);
    return idles_;
  }

  // The wall time when the clock started.
  std::chrono::system_clock::time_point wallStart = std::chrono::system_clock::time_point(
      std::chrono::seconds(784111777));  // 1994-11-06 08:49:37

 private:
  std::chrono::nanoseconds Elapsed() const { return std::chrono::nanoseconds(elapsed_.load()); }

  std::atomic<long long> elapsed_{0};
  mutable std::mutex mutex_;
  std::vector<std::chrono::milliseconds> idles_;
};

}  // namespace verdigo::testing
