#include "engine/fetch_scheduler.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>

#include "common/ascii_case.h"

namespace verdigo {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using namespace std::chrono_literals;

constexpr milliseconds kFirstBackOff{1000};
// Hosts known before any is forgotten.
constexpr size_t kHostsKept = 256;
// A host that said it is overloaded keeps its requests this far apart at most.
constexpr milliseconds kLongestLearntInterval{5000};

double RandomJitter() {
  static thread_local std::minstd_rand generator{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

std::string WithTries(const std::string& reason, int tries) {
  if (tries <= 1) return reason;
  return reason + " after " + std::to_string(tries) + " tries";
}

// ---- HTTP dates ("Sun, 06 Nov 1994 08:49:37 GMT") ---------------------------

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

// The number of `width` digits at `at`, or -1.
long Digits(std::string_view text, size_t at, size_t width) {
  if (at + width > text.size()) return -1;
  long value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Seconds since 1970 (in seconds, not the system clock's ticks, which would
// overflow in the year 2262).
std::optional<long long> ParseHttpDate(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // "Sun, 06 Nov 1994 08:49:37 GMT": 29 characters, fixed places.
  if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT" ||
      text[7] != ' ' || text[11] != ' ' || text[16] != ' ' || text[19] != ':' || text[22] != ':') {
    return std::nullopt;
  }
  const auto month = std::find(kMonths.begin(), kMonths.end(), text.substr(8, 3));
  const long day = Digits(text, 5, 2), year = Digits(text, 12, 4);
  const long hour = Digits(text, 17, 2), minute = Digits(text, 20, 2), second = Digits(text, 23, 2);
  if (month == kMonths.end() || day < 1 || day > 31 || year < 0 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 60) {
    return std::nullopt;
  }
  const long days = DaysFromCivil(year, static_cast<unsigned>(month - kMonths.begin() + 1),
                                  static_cast<unsigned>(day));
  return static_cast<long long>(days) * 86400 + hour * 3600 + minute * 60 + second;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

// ---- Free functions ----------------------------------------------------------

std::string HostOf(std::string_view url) {
  const size_t scheme = url.find("://");
  std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
  std::string host(rest);
  for (char& c : host) c = AsciiLower(c);
  return host;
}

std::optional<seconds> ParseRetryAfter(std::string_view value,
                                       std::chrono::system_clock::time_point now) {
  value = TrimSpaces(value);
  if (value.empty()) return std::nullopt;
  if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    constexpr long long kLongest = 1ll << 40;  // beyond any limit, far from overflow
    long long wait = 0;
    for (const char c : value) wait = std::min(kLongest, wait * 10 + (c - '0'));
    return seconds(wait);
  }
  const auto date = ParseHttpDate(value);
  if (!date) return std::nullopt;
  // A date already past asks for no wait.
  const long long nowSeconds = std::chrono::floor<seconds>(now.time_since_epoch()).count();
  return seconds(std::max(0ll, *date - nowSeconds));
}

TryResult ClassifyTry(const TryEnd& end) {
  TryResult result;
  result.ok = end.curlCode == CURLE_OK;
  switch (end.curlCode) {
    case CURLE_HTTP_RETURNED_ERROR: {
      static constexpr long kPassing[] = {408, 429, 500, 502, 503, 504};
      result.mayPass =
          std::find(std::begin(kPassing), std::end(kPassing), end.httpStatus) != std::end(kPassing);
      result.slowsHost = end.httpStatus == 429 || end.httpStatus == 503;
      break;
    }
    // A try that ran out its whole time limit is not tried again: the page
    // trickles, and another try would take as long.
    case CURLE_OPERATION_TIMEDOUT:
      result.mayPass = !end.pastDeadline;
      break;
    // Connections reset or cut short.
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      result.mayPass = true;
      break;
    // Refused or unreachable stays so; out of descriptors passes as other
    // transfers end.
    case CURLE_COULDNT_CONNECT:
      result.mayPass = end.osErrno == EMFILE || end.osErrno == ENFILE;
      break;
    default:
      break;
  }
  return result;
}

// ---- The scheduler -----------------------------------------------------------

FetchScheduler::FetchScheduler(const DownloadSettings& settings, Clock& clock, Jitter jitter)
    : settings_(settings), clock_(clock), jitter_(jitter ? std::move(jitter) : RandomJitter) {}

void FetchScheduler::Add(std::uint64_t ticket, std::string_view url) {
  pages_.emplace(ticket, Page{HostOf(url)});
  changed_ = true;
}

std::vector<std::uint64_t> FetchScheduler::TakeStartable(std::uint64_t inTurn) {
  std::vector<std::uint64_t> startable;
  const Clock::TimePoint now = clock_.Now();
  if (inTurn != inTurn_) {
    inTurn_ = inTurn;
    changed_ = true;
  }
  if (!changed_ && !(nextDue_ && *nextDue_ <= now)) return startable;
  changed_ = false;
  nextDue_.reset();
  StartInTurn(now, startable);
  for (auto& [ticket, page] : pages_) {
    if (page.underWay) continue;
    if (underWay_ >= settings_.jobs) break;  // a page that ends marks a change
    const std::optional<Clock::TimePoint> earliest = EarliestStart(page);
    if (!earliest) continue;
    if (*earliest > now) {
      nextDue_ = std::min(nextDue_.value_or(*earliest), *earliest);
      continue;
    }
    Begin(page, now);
    startable.push_back(ticket);
  }
  return startable;
}

std::optional<Clock::TimePoint> FetchScheduler::NextDue() const {
  if (changed_ && underWay_ < settings_.jobs) return clock_.Now();
  return nextDue_;
}

// The page whose turn it is goes past the limits of transfers at once: the
// transfers under way may all be paused until it comes (the waiting
// budget), so nothing else would end to make room for it.
void FetchScheduler::StartInTurn(Clock::TimePoint now, std::vector<std::uint64_t>& startable) {
  const auto turn = pages_.find(inTurn_);
  if (turn == pages_.end() || turn->second.underWay) return;
  const Clock::TimePoint earliest = *EarliestStart(turn->second, false);
  if (earliest > now) {
    nextDue_ = earliest;
    return;
  }
  Begin(turn->second, now);
  startable.push_back(inTurn_);
}

std::optional<Clock::TimePoint> FetchScheduler::EarliestStart(const Page& page,
                                                              bool withinLimits) const {
  const auto host = hosts_.find(page.host);
  if (host == hosts_.end()) return page.notBefore;
  const Host& h = host->second;
  if (withinLimits && h.underWay >= (h.learntInterval ? 1 : settings_.perHost)) {
    return std::nullopt;
  }
  const milliseconds interval = std::max(settings_.perHostDelay, h.learntInterval.value_or(0ms));
  return std::max({page.notBefore, h.notBefore, h.lastStart + interval});
}

void FetchScheduler::Begin(Page& page, Clock::TimePoint now) {
  Host& host = hosts_[page.host];
  ++host.underWay;
  host.lastStart = now;
  page.underWay = true;
  ++page.tries;
  ++underWay_;
}

void FetchScheduler::Finish(Page& page) {
  --hosts_.find(page.host)->second.underWay;
  page.underWay = false;
  --underWay_;
  changed_ = true;
  ForgetIdleHosts();
}

// Hosts with nothing under way and nothing to wait out are forgotten, so that
// a long list of hosts costs no memory; looked for whenever the hosts known
// have doubled since the last look.
void FetchScheduler::ForgetIdleHosts() {
  if (hosts_.size() < forgetHostsAt_) return;
  const Clock::TimePoint now = clock_.Now();
  std::erase_if(hosts_, [&](const auto& entry) {
    const Host& host = entry.second;
    return host.underWay == 0 && !host.learntInterval && host.notBefore <= now &&
           host.lastStart + settings_.perHostDelay <= now;
  });
  forgetHostsAt_ = std::max(kHostsKept, 2 * hosts_.size());
}

TryVerdict FetchScheduler::Ended(std::uint64_t ticket, const TryResult& result) {
  const auto found = pages_.find(ticket);
  if (found == pages_.end()) return {false, result.reason};
  Page& page = found->second;
  const Clock::TimePoint now = clock_.Now();
  const milliseconds wait =
      result.retryAfter ? milliseconds(*result.retryAfter) : BackOff(page.tries);
  const milliseconds longest = settings_.longestRetryWait;
  if (!result.ok && result.slowsHost) SlowDown(hosts_[page.host], now, std::min(wait, longest));
  if (page.underWay) Finish(page);
  const int tries = page.tries;
  if (result.ok || !result.mayPass || tries > settings_.retries) {
    pages_.erase(found);
    return {false, result.ok ? std::string() : WithTries(result.reason, tries)};
  }
  if (result.retryAfter && wait > longest) {
    pages_.erase(found);
    return {false, WithTries(result.reason, tries) + ": the server asks to wait " +
                       std::to_string(result.retryAfter->count()) + " s, longer than " +
                       std::to_string(settings_.longestRetryWait.count()) + " s"};
  }
  page.notBefore = now + wait;
  return {true, {}};
}

// An overloaded host waits out the pause it asked for, then gets one request
// at a time, as far apart as that pause, for the rest of the run.
void FetchScheduler::SlowDown(Host& host, Clock::TimePoint now, milliseconds pause) {
  host.notBefore = std::max(host.notBefore, now + pause);
  host.learntInterval =
      std::max(host.learntInterval.value_or(0ms), std::min(pause, kLongestLearntInterval));
}

void FetchScheduler::Forget(std::uint64_t ticket) {
  const auto found = pages_.find(ticket);
  if (found == pages_.end()) return;
  if (found->second.underWay) Finish(found->second);
  pages_.erase(found);
  changed_ = true;
}

milliseconds FetchScheduler::BackOff(int tries) const {
  const int doublings = std::clamp(tries - 1, 0, 20);
  const milliseconds base =
      std::min<milliseconds>(kFirstBackOff * (1 << doublings), settings_.longestRetryWait);
  const milliseconds jitter(
      static_cast<long long>(static_cast<double>(base.count()) * jitter_() / 4));
  return std::min<milliseconds>(base + jitter, settings_.longestRetryWait);
}

}  // namespace verdigo
