#pragma once

#include <chrono>

// Time as the downloader's scheduler sees it: given, so that tests of retries
// and pacing never wait real seconds.
namespace verdigo {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  // For waits and intervals.
  virtual TimePoint Now() const = 0;
  // For a server's Retry-After given as a date.
  virtual std::chrono::system_clock::time_point WallNow() const = 0;
  // How long the caller really idles before `due` comes. The real clock
  // answers the time left; a test clock may move itself to `due` and answer
  // nothing.
  virtual std::chrono::milliseconds IdleUntil(TimePoint due) = 0;
};

// The system's clocks.
Clock& SystemClock();

}  // namespace verdigo
