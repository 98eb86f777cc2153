// A server's Retry-After value: any bytes give a wait or nothing, never a
// crash, and a wait is never negative. A plain number of seconds parses to
// itself while it is small; a date one second later than another parses to
// a wait one second longer.
//
// Input: the value as it stands.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/fetch_scheduler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view value(reinterpret_cast<const char*>(data), size);
  const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(784111777));
  const auto wait = verdigo::ParseRetryAfter(value, now);
  if (wait && wait->count() < 0) std::abort();
  const auto earlier = verdigo::ParseRetryAfter(value, now - std::chrono::seconds(1));
  if (wait.has_value() != earlier.has_value()) std::abort();
  if (wait && wait->count() > 0 && wait->count() < 1000000 &&
      *earlier != *wait + std::chrono::seconds(1)) {
    // Plain seconds do not depend on the time; dates move with it.
    const bool digitsOnly = value.find_first_not_of("0123456789 \t") == std::string_view::npos;
    if (!digitsOnly) std::abort();
  }
  return 0;
}
