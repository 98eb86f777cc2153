// The scheduler on a clock of its own: which failures are tried again, after
// how long, and how each host's limits hold while other hosts go on.

#include "engine/fetch_scheduler.h"

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/fake_clock.h"

namespace verdigo {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

TryResult Ok() {
  TryResult result;
  result.ok = true;
  return result;
}

TEST(ClassifyTry, OnlyFailuresThatMayPassAreTriedAgain) {
  struct Case {
    TryEnd end;
    bool mayPass;
    bool slowsHost;
  };
  const Case cases[] = {
      {{CURLE_HTTP_RETURNED_ERROR, 503}, true, true},
      {{CURLE_HTTP_RETURNED_ERROR, 429}, true, true},
      {{CURLE_HTTP_RETURNED_ERROR, 408}, true, false},
      {{CURLE_HTTP_RETURNED_ERROR, 500}, true, false},
      {{CURLE_HTTP_RETURNED_ERROR, 502}, true, false},
      {{CURLE_HTTP_RETURNED_ERROR, 504}, true, false},
      {{CURLE_HTTP_RETURNED_ERROR, 404}, false, false},
      {{CURLE_HTTP_RETURNED_ERROR, 410}, false, false},
      {{CURLE_HTTP_RETURNED_ERROR, 501}, false, false},
      {{CURLE_RECV_ERROR}, true, false},
      {{CURLE_SEND_ERROR}, true, false},
      {{CURLE_PARTIAL_FILE}, true, false},
      {{CURLE_GOT_NOTHING}, true, false},
      {{CURLE_OPERATION_TIMEDOUT}, true, false},
      {{CURLE_OPERATION_TIMEDOUT, 200, 0, true}, false, false},  // the whole deadline ran out
      {{CURLE_COULDNT_CONNECT, 0, ECONNREFUSED}, false, false},
      {{CURLE_COULDNT_CONNECT, 0, EMFILE}, true, false},
      {{CURLE_COULDNT_RESOLVE_HOST}, false, false},
      {{CURLE_PEER_FAILED_VERIFICATION}, false, false},
      {{CURLE_FILESIZE_EXCEEDED}, false, false},
      {{CURLE_UNSUPPORTED_PROTOCOL}, false, false},
      {{CURLE_WRITE_ERROR}, false, false},
  };
  for (const Case& c : cases) {
    const TryResult result = ClassifyTry(c.end);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.mayPass, c.mayPass) << c.end.curlCode << " " << c.end.httpStatus;
    EXPECT_EQ(result.slowsHost, c.slowsHost) << c.end.curlCode << " " << c.end.httpStatus;
  }
  EXPECT_TRUE(ClassifyTry({CURLE_OK, 200}).ok);
}

TEST(ParseRetryAfter, SecondsOrAnHttpDate) {
  testing::FakeClock clock;  // 1994-11-06 08:49:37
  struct Case {
    const char* value;
    std::optional<seconds> wait;
  };
  const Case cases[] = {
      {"120", seconds(120)},
      {" 5\t", seconds(5)},
      {"0", seconds(0)},
      {"99999999999999999999999", seconds(1ll << 40)},
      {"Sun, 06 Nov 1994 08:50:37 GMT", seconds(60)},
      {"Mon, 07 Nov 1994 08:49:37 GMT", seconds(86400)},
      {"Sat, 05 Nov 1994 08:49:37 GMT", seconds(0)},  // already past
      {"Sun, 26 Nov 3988 08:50:37 GMT", seconds(62926329660)},
      {"Sun, 06 Nov 1994 08:50:37 UTC", std::nullopt},
      {"Sun, 06 Nov 1994 8:50:37 GMT", std::nullopt},
      {"Sun, 06 Foo 1994 08:50:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 25:50:37 GMT", std::nullopt},
      {"-5", std::nullopt},
      {"1.5", std::nullopt},
      {"soon", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseRetryAfter(c.value, clock.WallNow()), c.wait) << c.value;
  }
}

TEST(HostOf, HostAndPortInSmallLetters) {
  EXPECT_EQ(HostOf("http://Example.TEST:8080/a?b#c"), "example.test:8080");
  EXPECT_EQ(HostOf("https://user:pw@h.test"), "h.test");
  EXPECT_EQ(HostOf("http://h.test?q"), "h.test");
}

class Scheduling : public ::testing::Test {
 protected:
  Scheduling() { settings.perHost = 6; }

  FetchScheduler& Scheduler() {
    if (!scheduler) scheduler.emplace(settings, clock, [] { return 0.0; });
    return *scheduler;
  }

  TryResult Failed(long status, std::optional<seconds> retryAfter = std::nullopt) {
    TryResult result = ClassifyTry({CURLE_HTTP_RETURNED_ERROR, status});
    result.reason = "HTTP " + std::to_string(status);
    result.retryAfter = retryAfter;
    return result;
  }

  // How long it takes until pages may start again, and which ones then.
  milliseconds WaitForStarts(std::vector<std::uint64_t>& started) {
    const Clock::TimePoint before = clock.Now();
    while ((started = Scheduler().TakeStartable()).empty()) {
      const auto due = Scheduler().NextDue();
      if (!due || *due <= clock.Now()) return milliseconds(-1);  // none ever will
      clock.Advance(*due - clock.Now());
    }
    return std::chrono::duration_cast<milliseconds>(clock.Now() - before);
  }

  milliseconds WaitBeforeRestart(std::uint64_t ticket) {
    std::vector<std::uint64_t> started;
    const milliseconds wait = WaitForStarts(started);
    EXPECT_THAT(started, ElementsAre(ticket));
    return wait;
  }

  DownloadSettings settings;
  testing::FakeClock clock;
  std::optional<FetchScheduler> scheduler;
};

TEST_F(Scheduling, TriesAgainAfterGrowingWaitsOrAsTheServerAsks) {
  struct Case {
    std::vector<TryResult> tries;     // the last one ends the page
    std::vector<milliseconds> waits;  // before each try after the first
    std::string reason;               // after the last try
    int retries = 3;
  };
  const TryResult ok = Ok();
  const Case cases[] = {
      {{Failed(503), Failed(503), Failed(503), ok}, {1000ms, 2000ms, 4000ms}, ""},
      {{Failed(503), Failed(503), Failed(503), Failed(503)},
       {1000ms, 2000ms, 4000ms},
       "HTTP 503 after 4 tries"},
      {{Failed(404)}, {}, "HTTP 404"},
      {{Failed(500), Failed(410)}, {1000ms}, "HTTP 410 after 2 tries"},
      {{Failed(429, seconds(7)), ok}, {7000ms}, ""},
      // The host keeps its requests 5 s apart from then on, whatever it asks.
      {{Failed(429, seconds(7)), Failed(429, seconds(0)), ok}, {7000ms, 5000ms}, ""},
      {{Failed(503, seconds(0)), ok}, {0ms}, ""},
      {{Failed(429, seconds(120))},
       {},
       "HTTP 429: the server asks to wait 120 s, longer than 60 s"},
      {{Failed(503)}, {}, "HTTP 503", 0},
  };
  for (const Case& c : cases) {
    settings.retries = c.retries;
    scheduler.reset();
    Scheduler().Add(1, "http://h.test/a");
    ASSERT_THAT(Scheduler().TakeStartable(), ElementsAre(1u));
    std::vector<milliseconds> waits;
    TryVerdict verdict;
    for (size_t i = 0; i < c.tries.size(); ++i) {
      verdict = Scheduler().Ended(1, c.tries[i]);
      if (!verdict.tryAgain) break;
      waits.push_back(WaitBeforeRestart(1));
    }
    EXPECT_FALSE(verdict.tryAgain) << c.reason;
    EXPECT_EQ(verdict.reason, c.reason);
    EXPECT_EQ(waits, c.waits) << c.reason;
    EXPECT_EQ(Scheduler().UnderWay(), 0);
  }
}

TEST_F(Scheduling, JitterLengthensAWaitByUpToAQuarter) {
  FetchScheduler jittery(settings, clock, [] { return 0.999; });
  EXPECT_EQ(jittery.BackOff(1), 1249ms);
  EXPECT_EQ(jittery.BackOff(3), 4999ms);
  EXPECT_EQ(jittery.BackOff(6), 39992ms);
  EXPECT_EQ(jittery.BackOff(30), 60000ms);  // never past the longest wait
}

TEST_F(Scheduling, AtMostJobsAtOnceAndPerHostToOneHost) {
  settings.jobs = 4;
  settings.perHost = 2;
  for (std::uint64_t ticket = 1; ticket <= 4; ++ticket) Scheduler().Add(ticket, "http://a.test/");
  Scheduler().Add(5, "http://B.test/");
  Scheduler().Add(6, "http://c.test/");
  Scheduler().Add(7, "http://d.test/");
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(1u, 2u, 5u, 6u));
  EXPECT_THAT(Scheduler().TakeStartable(), IsEmpty());
  Scheduler().Ended(6, Ok());
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(7u));  // a.test is full
  Scheduler().Ended(1, Ok());
  Scheduler().Forget(7);
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(3u));
  EXPECT_EQ(Scheduler().UnderWay(), 3);
}

// Transfers paused for memory wait for the page collected next: it must get
// started whatever is under way.
TEST_F(Scheduling, ThePageCollectedNextStartsBeyondTheLimits) {
  settings.jobs = 2;
  settings.perHost = 2;
  for (std::uint64_t ticket = 1; ticket <= 3; ++ticket) Scheduler().Add(ticket, "http://a.test/");
  EXPECT_THAT(Scheduler().TakeStartable(1), ElementsAre(1u, 2u));
  EXPECT_TRUE(Scheduler().Ended(1, Failed(500)).tryAgain);
  EXPECT_THAT(Scheduler().TakeStartable(1), ElementsAre(3u));
  clock.Advance(999ms);
  EXPECT_THAT(Scheduler().TakeStartable(1), IsEmpty());  // its time still holds
  clock.Advance(1ms);
  EXPECT_THAT(Scheduler().TakeStartable(1), ElementsAre(1u));
  EXPECT_EQ(Scheduler().UnderWay(), 3);
}

TEST_F(Scheduling, DelayBetweenTheStartsOfTwoRequestsToOneHost) {
  settings.perHostDelay = 500ms;
  for (std::uint64_t ticket = 1; ticket <= 3; ++ticket) Scheduler().Add(ticket, "http://a.test/");
  Scheduler().Add(4, "http://b.test/");
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(1u, 4u));
  clock.Advance(499ms);
  EXPECT_THAT(Scheduler().TakeStartable(), IsEmpty());
  EXPECT_EQ(Scheduler().NextDue(), clock.Now() + 1ms);
  clock.Advance(1ms);
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(2u));
  EXPECT_EQ(WaitBeforeRestart(3), 500ms);
}

TEST_F(Scheduling, AHostThatAnswers429WaitsWhileAnotherHostGoesOn) {
  for (std::uint64_t ticket = 1; ticket <= 2; ++ticket)
    Scheduler().Add(ticket, "http://slow.test/");
  Scheduler().Add(3, "http://other.test/");
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(1u, 2u, 3u));
  EXPECT_TRUE(Scheduler().Ended(1, Failed(429, seconds(2))).tryAgain);
  EXPECT_TRUE(Scheduler().Ended(2, Ok()).reason.empty());
  Scheduler().Add(4, "http://slow.test/");
  Scheduler().Add(5, "http://other.test/");
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(5u));  // slow.test waits its 2 s
  clock.Advance(1999ms);
  EXPECT_THAT(Scheduler().TakeStartable(), IsEmpty());
  clock.Advance(1ms);
  // From now on one at a time, 2 s apart.
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(1u));
  EXPECT_TRUE(Scheduler().Ended(1, Ok()).reason.empty());
  EXPECT_EQ(WaitBeforeRestart(4), 2000ms);
}

// Idle hosts are forgotten as more come; one that said it is overloaded is not.
TEST_F(Scheduling, ASlowedHostIsRememberedAmongManyOthers) {
  Scheduler().Add(1, "http://slow.test/");
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(1u));
  EXPECT_TRUE(Scheduler().Ended(1, Failed(429, seconds(1))).tryAgain);
  for (std::uint64_t ticket = 2; ticket < 1000; ++ticket) {
    Scheduler().Add(ticket, "http://h" + std::to_string(ticket) + ".test/");
    ASSERT_THAT(Scheduler().TakeStartable(), ElementsAre(ticket));
    Scheduler().Ended(ticket, Ok());
  }
  EXPECT_EQ(WaitBeforeRestart(1), 1000ms);
  Scheduler().Ended(1, Ok());
  Scheduler().Add(1000, "http://slow.test/");
  EXPECT_EQ(WaitBeforeRestart(1000), 1000ms);
}

TEST_F(Scheduling, AHost503WithoutRetryAfterWaitsOutTheBackOff) {
  Scheduler().Add(1, "http://slow.test/");
  Scheduler().Add(2, "http://slow.test/");
  EXPECT_THAT(Scheduler().TakeStartable(), ElementsAre(1u, 2u));
  EXPECT_TRUE(Scheduler().Ended(1, Failed(503)).tryAgain);
  EXPECT_TRUE(Scheduler().Ended(2, Failed(503)).tryAgain);
  EXPECT_EQ(WaitBeforeRestart(1), 1000ms);
}

}  // namespace
}  // namespace verdigo
