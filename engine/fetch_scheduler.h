#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/clock.h"
#include "engine/download_settings.h"

// When each page may start: at most `jobs` at once and `perHost` to one host,
// `perHostDelay` between the starts of two requests to one host, and the
// tries again of a page that failed for a reason that may pass, after a wait
// that grows (or the one the server asks for). A host that answers 429 or
// 503 waits that long for all its pages, then gets one request at a time,
// that far apart (5 s at most). Plain bookkeeping on the
// transfer thread: it knows tickets and hosts, never a transfer.
namespace verdigo {

// What one try of a page came to.
struct TryResult {
  bool ok = false;
  bool mayPass = false;    // the failure may not happen again
  bool slowsHost = false;  // the server says it is overloaded: its host waits too
  std::optional<std::chrono::seconds> retryAfter;  // the wait the server asked for
  std::string reason;                              // why the try failed
};

// The verdict on a page after a try.
struct TryVerdict {
  bool tryAgain = false;
  std::string reason;  // when the page has failed for good: why, with its tries
};

class FetchScheduler {
 public:
  // Returns a number from 0 up to (not including) 1.
  using Jitter = std::function<double()>;

  FetchScheduler(const DownloadSettings& settings, Clock& clock, Jitter jitter = {});

  // A page to fetch from `url`; tickets rise with every call.
  void Add(std::uint64_t ticket, std::string_view url);
  // The pages that may start now, lowest ticket first; they count as under
  // way from now on. Page `inTurn`, the one collected next, needs no free
  // place under the limits of transfers at once, only its time.
  std::vector<std::uint64_t> TakeStartable(std::uint64_t inTurn = 0);
  // When a page that waits only for time may start; nothing when none does.
  std::optional<Clock::TimePoint> NextDue() const;
  // Ends the try under way of page `ticket`.
  TryVerdict Ended(std::uint64_t ticket, const TryResult& result);
  // Forgets page `ticket`, waiting or under way.
  void Forget(std::uint64_t ticket);

  int UnderWay() const { return underWay_; }

  // The wait after failed try number `tries` (1, 2, 4 … s, lengthened by up
  // to a quarter by the jitter, at most longestRetryWait).
  std::chrono::milliseconds BackOff(int tries) const;

 private:
  struct Host {
    int underWay = 0;
    Clock::TimePoint lastStart{};
    Clock::TimePoint notBefore{};  // the host asked for a pause until then
    // Set once the host said it is overloaded: one request at a time, this
    // far apart.
    std::optional<std::chrono::milliseconds> learntInterval;
  };
  struct Page {
    std::string host;
    int tries = 0;
    bool underWay = false;
    Clock::TimePoint notBefore{};
  };

  // The earliest this page may start, or nothing while its host is full.
  std::optional<Clock::TimePoint> EarliestStart(const Page& page, bool withinLimits = true) const;
  void StartInTurn(Clock::TimePoint now, std::vector<std::uint64_t>& startable);
  void Begin(Page& page, Clock::TimePoint now);
  void Finish(Page& page);
  void SlowDown(Host& host, Clock::TimePoint now, std::chrono::milliseconds pause);
  void ForgetIdleHosts();

  const DownloadSettings settings_;
  Clock& clock_;
  Jitter jitter_;
  std::map<std::uint64_t, Page> pages_;
  std::map<std::string, Host, std::less<>> hosts_;
  int underWay_ = 0;
  std::uint64_t inTurn_ = 0;
  size_t forgetHostsAt_ = 0;
  // Nothing changed since the last look, and no waiting page is due before
  // `nextDue_`: TakeStartable has nothing to do till then.
  bool changed_ = true;
  std::optional<Clock::TimePoint> nextDue_;
};

// The host and port of an address, in small letters: what one host's limits
// count by.
std::string HostOf(std::string_view url);

// A Retry-After value: seconds, or an HTTP date (as in "Sun, 06 Nov 1994
// 08:49:37 GMT"), as a wait from `now`; nothing when it is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now);

// How a transfer ended, as libcurl tells it.
struct TryEnd {
  int curlCode = 0;
  long httpStatus = 0;        // the last status; 0: none
  int osErrno = 0;            // the system's error of a connection that failed
  bool pastDeadline = false;  // the try ran for its whole time limit
};

// Whether the failure may pass and whether it slows the host (the reason and
// Retry-After are the caller's to fill in).
TryResult ClassifyTry(const TryEnd& end);

}  // namespace verdigo
