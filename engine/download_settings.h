#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/interfaces.h"

// How pages are fetched: the one place for every download default. The
// command line overrides them from its options; the window uses them as
// they stand.
namespace verdigo {

// The largest number of transfers at once a user may ask for.
inline constexpr int kMaxJobs = 1000;

struct DownloadSettings {
  std::chrono::milliseconds connectTimeout{15000};
  // A transfer slower than 1 byte per second for this long is abandoned.
  std::chrono::seconds stallTimeout{30};
  // Each try of a page ends after this long, however it is going; 0: never.
  std::chrono::seconds pageTimeout{300};
  std::uint64_t maxBodyBytes = kMaxPageBytes;
  long maxRedirects = 10;
  // Transfers at once, in all and to one host (requests in flight, also where
  // HTTP/2 carries several over one connection).
  int jobs = 64;
  int perHost = 6;
  // Bodies not yet collected hold at most this much in all; beyond it every
  // transfer but the one collected next pauses until the engine catches up.
  std::uint64_t waitingBudget = 512ull << 20;
  // A page that fails for a reason that may pass is tried this many more times.
  int retries = 3;
  // The shortest time between the starts of two requests to one host.
  std::chrono::milliseconds perHostDelay{0};
  // The longest wait a server's Retry-After may ask for; a longer one fails
  // the page.
  std::chrono::seconds longestRetryWait{60};

  // Request options. Empty strings: the program's own behaviour.
  std::string userAgent;             // empty: "<program>/<version>"
  std::vector<std::string> headers;  // "Name: value", sent with every request
  std::string cookieFile;            // cookies to send; those set are kept for the run
  std::string proxy;                 // empty: http_proxy, https_proxy, no_proxy
  std::string caCertFile;            // certificates to trust instead of the system's
  bool insecure = false;             // accept any certificate
};

}  // namespace verdigo
