#include "console/cmd_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

namespace fs = std::filesystem;

// Puts a folder of fake programs first on PATH, so that the check's `ping`
// is a script of the test and nothing goes out on the network.
class CheckOnlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = std::getenv("PATH");
    ::setenv("PATH", (folder_.path() + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", savedPath_.c_str(), 1); }

  void FakePing(const std::string& body) {
    const std::string script = folder_ / "ping";
    std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(script, fs::perms::owner_all);
  }

  std::vector<std::string> Warnings() {
    std::vector<std::string> shown;
    CheckOnline([&](const std::string& text) { shown.push_back(text); }, {});
    return shown;
  }

  testing::ScopedTempDir folder_;
  std::string savedPath_;
};

const std::vector<std::string> kWarned = {"You must be online to use this software accurately."};

TEST_F(CheckOnlineTest, ReplyMeansNoWarning) {
  FakePing(
      "echo 'PING host (127.0.0.1) 56(84) bytes of data.'\n"
      "echo '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.04 ms'\n"
      "echo '1 packets transmitted, 1 received, 0% packet loss, time 0ms'");
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(CheckOnlineTest, MarkerInCapitalsCounts) {
  FakePing("echo 'Reply from 127.0.0.1: BYTES=32 time<1ms TTL=128'");
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(CheckOnlineTest, NoReplyWarns) {
  FakePing(
      "echo 'PING host (127.0.0.1) 56(84) bytes of data.'\n"
      "echo 'From 10.0.0.1 icmp_seq=1 Destination Host Unreachable' >&2\n"
      "echo '1 packets transmitted, 0 received, 100% packet loss, time 0ms'\n"
      "exit 1");
  EXPECT_EQ(Warnings(), kWarned);
}

TEST_F(CheckOnlineTest, NoPingProgramWarns) {
  // Only sed on PATH: the system's directories might hold a real ping.
  fs::create_symlink("/bin/sed", folder_ / "sed");
  ::setenv("PATH", folder_.path().c_str(), 1);
  EXPECT_EQ(Warnings(), kWarned);
}

TEST_F(CheckOnlineTest, PingThatHangsIsCutOffWithAllItStartedAndWarns) {
  // The hanging ping leaves a program of its own running (a helper, a
  // child it forgot): the deadline must end that too, not only the shell.
  const std::string pidFile = folder_ / "grandchild";
  FakePing("sleep 30 </dev/null >/dev/null 2>&1 & echo $! >" + pidFile +
           "\nwait; echo '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.04 ms'");
  EXPECT_EQ(Warnings(), kWarned);
  pid_t grandchild = 0;
  std::ifstream(pidFile) >> grandchild;
  ASSERT_GT(grandchild, 0);
  // Killed, it waits to be reaped by whoever adopted it (a zombie is gone).
  const auto running = [&] {
    std::string state;
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::getline(stat, state);
    const size_t end = state.rfind(')');
    return end != std::string::npos && end + 2 < state.size() && state[end + 2] != 'Z';
  };
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = !running();
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone) << "the hung ping's own child outlived the deadline";
  if (!gone) ::kill(grandchild, SIGKILL);
}

}  // namespace
}  // namespace verdigo
