#include "console/cmd_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace verdigo {
namespace {

namespace fs = std::filesystem;

// Puts a folder of fake programs first on PATH, so that the check's `ping`
// is a script of the test and nothing goes out on the network.
class CheckOnlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "verdigo-ping-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    savedPath_ = std::getenv("PATH");
    ::setenv("PATH", (folder_.string() + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override {
    ::setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(folder_);
  }

  void FakePing(const std::string& body) {
    const fs::path script = folder_ / "ping";
    std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(script, fs::perms::owner_all);
  }

  std::vector<std::string> Warnings() {
    std::vector<std::string> shown;
    CheckOnline([&](const std::string& text) { shown.push_back(text); }, {});
    return shown;
  }

  fs::path folder_;
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
  ::setenv("PATH", folder_.c_str(), 1);
  EXPECT_EQ(Warnings(), kWarned);
}

TEST_F(CheckOnlineTest, PingThatHangsIsCutOffAndWarns) {
  FakePing("sleep 30; echo '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.04 ms'");
  EXPECT_EQ(Warnings(), kWarned);
}

}  // namespace
}  // namespace verdigo
