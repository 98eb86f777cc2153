#include "cli/standard_streams.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace verdigo {
namespace {

bool IsClosed(int fd) { return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF; }

// A stream open the wrong way round is as good as closed.
bool IsOpenOnly(int fd, int accessMode) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_ACCMODE) == accessMode;
}

// /dev/null on `fd`; when even that cannot be opened, the descriptor of a
// pipe end serves as well to keep the number taken.
void Occupy(int fd) {
  int opened = ::open("/dev/null", (fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
  if (opened < 0) {
    int ends[2];
    if (::pipe(ends) != 0) return;
    opened = fd == STDIN_FILENO ? ends[0] : ends[1];
    ::close(fd == STDIN_FILENO ? ends[1] : ends[0]);
  }
  if (opened != fd) {
    ::dup2(opened, fd);  // a standard descriptor stays open across exec
    ::close(opened);
  } else {
    ::fcntl(fd, F_SETFD, 0);
  }
}

}  // namespace

ClosedStandardStreams OccupyClosedStandardStreams() {
  ClosedStandardStreams closed;
  // In order: each open takes the lowest free number, the one just found.
  closed.input = IsClosed(STDIN_FILENO);
  if (closed.input) Occupy(STDIN_FILENO);
  closed.output = IsClosed(STDOUT_FILENO);
  if (closed.output) Occupy(STDOUT_FILENO);
  closed.error = IsClosed(STDERR_FILENO);
  if (closed.error) Occupy(STDERR_FILENO);
  closed.input = closed.input || IsOpenOnly(STDIN_FILENO, O_WRONLY);
  closed.output = closed.output || IsOpenOnly(STDOUT_FILENO, O_RDONLY);
  return closed;
}

std::string StandardStreamTrouble(const ClosedStandardStreams& closed, bool writesOutput,
                                  bool readsInput) {
  if (writesOutput && closed.output) {
    return std::string("cannot write standard output: ") + std::strerror(EBADF);
  }
  if (readsInput && closed.input) {
    return std::string("cannot read standard input: ") + std::strerror(EBADF);
  }
  return {};
}

bool ReaderWatch::Gone() {
  const auto now = std::chrono::steady_clock::now();
  if (now < nextLook_) return false;
  nextLook_ = now + kInterval;
  // With no events asked for, poll still reports an error or a hang-up: a
  // pipe whose readers have all gone shows POLLERR to its writer.
  pollfd look{fd_, 0, 0};
  return ::poll(&look, 1, 0) == 1 && (look.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace verdigo
