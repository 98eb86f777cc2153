// An international host name, looked up as its IDNA form. The name lives
// only in the hosts file of a network and mount namespace the test makes,
// where 127.0.0.1 is all there is: no lookup can leave it.
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scoped_temp_dir.h"
#include "tests/support/test_files.h"
#include "tests/support/test_http_server.h"

namespace verdigo {
namespace {

constexpr int kNoNamespace = 3;
constexpr std::string_view kIdnaHost = "xn--bcher-kva.example";

using testing::ReadFile;
using testing::WriteFile;

// In the namespace: loopback up, and the test's hosts file in place of the
// system's. Returns what failed, or nothing.
std::string PrepareOwnNetwork(const std::string& dir) {
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return "mount private";
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq lo{};
  std::strcpy(lo.ifr_name, "lo");
  const bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &lo) == 0 &&
                  (lo.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &lo) == 0);
  if (s >= 0) ::close(s);
  if (!up) return "loopback up";
  const std::string hosts = dir + "/hosts";
  WriteFile(hosts, "127.0.0.1 localhost\n127.0.0.1 " + std::string(kIdnaHost) + "\n");
  if (::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) return "hosts file";
  return {};
}

// Runs verdigo-extract with `args`, its output and messages into files of
// `dir`; returns its exit status.
int RunExtract(const std::string& dir, std::vector<std::string> args) {
  args.insert(args.begin(), VERDIGO_EXTRACT_PATH);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string temp = "TEMP=" + dir, noProxy = "no_proxy=*", path = "PATH=/usr/bin:/bin";
  char* env[] = {temp.data(), noProxy.data(), path.data(), nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::dup2(::open((dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open((dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::execve(argv[0], argv.data(), env);
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The child's part: the server and the program in the namespace; what the
// server saw goes to `dir`/requests, one "HOST PATH" a line.
[[noreturn]] void RunInOwnNetwork(const std::string& dir) {
  if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
    WriteFile(dir + "/setup", std::strerror(errno));
    ::_exit(kNoNamespace);
  }
  const std::string failed = PrepareOwnNetwork(dir);
  if (!failed.empty()) {
    WriteFile(dir + "/setup", failed + ": " + std::strerror(errno));
    ::_exit(1);
  }
  int status = -1;
  std::string requests;
  {
    testing::TestHttpServer server;
    server.Serve("/caf\xC3\xA9.html", "<a href=\"x.html\">");
    const std::string port = std::to_string(server.Port());
    WriteFile(dir + "/port", port);
    WriteFile(dir + "/latin1.txt",
              "http://b\xFC"
              "cher.example:" +
                  port + "/caf\xE9.html\n");
    status = RunExtract(dir, {"-q", "-u",
                              "http://b\xC3\xBC"
                              "cher.example:" +
                                  port + "/caf\xC3\xA9.html",
                              dir + "/latin1.txt"});
    for (const auto& request : server.Requests())
      requests += request.host + " " + request.path + "\n";
  }
  WriteFile(dir + "/requests", requests);
  ::_exit(status);
}

TEST(InternationalHostName, IsLookedUpAndSentInItsIdnaForm) {
  testing::ScopedTempDir folder;
  const std::string dir = folder.path();
  // Forked before the test has threads of its own: the child starts the
  // server's.
  const pid_t pid = ::fork();
  if (pid == 0) RunInOwnNetwork(dir);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kNoNamespace) {
    GTEST_SKIP() << "no network namespace can be made here (" << ReadFile(dir + "/setup")
                 << "); it takes root or CAP_SYS_ADMIN";
  }
  ASSERT_EQ(ReadFile(dir + "/setup"), "");
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(dir + "/err");
  const std::string port = ":" + ReadFile(dir + "/port");
  const std::string host = std::string(kIdnaHost) + port;
  EXPECT_EQ(ReadFile(dir + "/requests"),
            host + " /caf\xC3\xA9.html\n" + host + " /caf\xC3\xA9.html\n");
  // The rows keep the address as it was given.
  const std::string utf8 =
      "http://b\xC3\xBC"
      "cher.example" +
      port;
  const std::string latin1 =
      "http://b\xFC"
      "cher.example" +
      port;
  EXPECT_EQ(ReadFile(dir + "/out"), utf8 + "/caf\xC3\xA9.html\n" + utf8 + "/x.html\n" + latin1 +
                                        "/caf\xE9.html\n" + latin1 + "/x.html\n");
}

}  // namespace
}  // namespace verdigo
