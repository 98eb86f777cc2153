#include "console/cmd_output.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "common/ascii_case.h"
#include "common/code_page.h"
#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/unique_fd.h"
#include "console/console_decoder.h"

extern char** environ;

namespace verdigo {
namespace {

constexpr size_t kReadSize = 1024;
// While the program is silent, the caller still gets to yield this often.
constexpr std::chrono::milliseconds kQuietSlice{50};
constexpr std::chrono::milliseconds kReapSlice{10};
constexpr std::string_view kReplyMarker = "bytes=";

// The child's standard streams: input from /dev/null; output and error on the
// pipe or, when not wanted, to /dev/null. The pipe's own descriptors are
// close-on-exec, so the child keeps only these copies.
bool RouteChildStreams(posix_spawn_file_actions_t& actions, int writeEnd, bool wantStdOut,
                       bool wantStdErr) {
  const auto route = [&](int target, bool wanted) {
    return wanted ? posix_spawn_file_actions_adddup2(&actions, writeEnd, target)
                  : posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
  };
  return posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
         route(STDOUT_FILENO, wantStdOut) == 0 && route(STDERR_FILENO, wantStdErr) == 0;
}

// A session of its own (so no terminal, and one process group to kill),
// signals unblocked, and SIGPIPE back to its default so that pipelines in
// the child end as usual.
bool DetachChild(posix_spawnattr_t& attr) {
  sigset_t none;
  sigset_t pipe;
  sigemptyset(&none);
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  return posix_spawnattr_setflags(
             &attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
         posix_spawnattr_setsigmask(&attr, &none) == 0 &&
         posix_spawnattr_setsigdefault(&attr, &pipe) == 0;
}

// Returns the child's pid, or -1 when it could not be started. The words are
// code-page text; the system takes its arguments as UTF-8.
pid_t StartHidden(const std::vector<std::string>& words, int writeEnd, bool wantStdOut,
                  bool wantStdErr) {
  if (words.empty()) return -1;
  std::vector<std::string> args;
  for (const std::string& word : words) args.push_back(CodePageToUtf8(word));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  pid_t pid = -1;
  const bool ready =
      RouteChildStreams(actions, writeEnd, wantStdOut, wantStdErr) && DetachChild(attr);
  if (!ready || posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

enum class Wait { kReadable, kQuiet, kExpired };

Wait WaitReadable(int fd, const std::optional<ConsoleClock::time_point>& deadline) {
  auto slice = kQuietSlice;
  if (deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - ConsoleClock::now());
    if (left.count() <= 0) return Wait::kExpired;
    slice = std::min(slice, left);
  }
  pollfd entry{fd, POLLIN, 0};
  const int ready = ::poll(&entry, 1, static_cast<int>(slice.count()));
  if (ready == 0 || (ready < 0 && errno == EINTR)) return Wait::kQuiet;
  return Wait::kReadable;  // data, end of file or an error: the read tells
}

// Reads the pipe in chunks of at most kReadSize until it closes. Returns
// false when the deadline came first.
template <typename OnChunk>
bool ReadUntilClosed(int fd, const YieldFn& yield,
                     const std::optional<ConsoleClock::time_point>& deadline, OnChunk&& onChunk) {
  char buffer[kReadSize];
  for (;;) {
    if (yield) yield();
    const Wait wait = WaitReadable(fd, deadline);
    if (wait == Wait::kExpired) return false;
    if (wait == Wait::kQuiet) continue;
    const long n = ReadSomeFromFd(fd, buffer, sizeof buffer);
    if (n <= 0) return true;
    onChunk(std::string_view(buffer, static_cast<size_t>(n)));
  }
}

void WaitForExit(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Reaps the child if it ends before the deadline.
bool ReapedBefore(pid_t pid, ConsoleClock::time_point deadline, const YieldFn& yield) {
  for (;;) {
    const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (ConsoleClock::now() >= deadline) return false;
    if (yield) yield();
    std::this_thread::sleep_for(kReapSlice);
  }
}

// Reaps the child. With a deadline, a child still running then (or still
// holding the pipe) is killed with everything it started: it leads its own
// process group.
void EndChild(pid_t pid, bool pipeClosed, const YieldFn& yield,
              const std::optional<ConsoleClock::time_point>& deadline) {
  if (!deadline) return WaitForExit(pid);
  if (pipeClosed && ReapedBefore(pid, *deadline, yield)) return;
  ::kill(-pid, SIGKILL);
  WaitForExit(pid);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  const auto it = std::search(text.begin(), text.end(), word.begin(), word.end(),
                              [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
  return it != text.end();
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string RunConsoleCommand(std::string_view commandLine, bool wantStdOut, bool wantStdErr,
                              bool convertOem, const YieldFn& yield,
                              std::optional<ConsoleClock::time_point> deadline) {
  if (!wantStdOut && !wantStdErr) throw Failure(std::string(kInvalidProcedureCall));
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return {};
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);

  const pid_t pid =
      StartHidden(SplitCommandLine(commandLine), writeEnd.get(), wantStdOut, wantStdErr);
  // Only the child may hold the write end, so the pipe closes when it is done.
  writeEnd.Close();
  if (pid < 0) return std::string(kFailedToCreateProcess);

  std::string result;
  ConsoleDecoder decoder;
  const bool closed = ReadUntilClosed(readEnd.get(), yield, deadline, [&](std::string_view chunk) {
    if (convertOem) {
      decoder.Feed(chunk, result);
    } else {
      result.append(chunk);
    }
  });
  if (convertOem) decoder.Finish(result);

  EndChild(pid, closed, yield, deadline);
  return result;
}

std::string OnlineCheckCommandLine() {
  // iputils' ping reports a reply as "64 bytes from HOST ..."; sed marks that
  // line, and also lets through the reply lines of pings that print the
  // marker themselves. Nothing else reaches the output.
  return "/bin/sh -c \"ping -c 1 -W 3 " + std::string(kOnlineCheckHost) +
         " 2>/dev/null | sed -n 's/ bytes from / bytes= from /; /bytes=/Ip'\"";
}

void CheckOnline(const WarnFn& warn, const YieldFn& yield) {
  const std::string output = RunConsoleCommand(OnlineCheckCommandLine(), true, false, true, yield,
                                               ConsoleClock::now() + kOnlineCheckLimit);
  if (!ContainsIgnoringCase(output, kReplyMarker)) warn(std::string(kOnlineWarning));
}

}  // namespace verdigo
