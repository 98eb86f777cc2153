#include "common/fd_io.h"

#include <unistd.h>

#include <cerrno>

#include "common/error_report.h"

namespace verdigo {

bool WriteAllToFd(int fd, std::string_view bytes, int& error) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void WriteAllOrFail(int fd, std::string_view bytes) {
  int error = 0;
  if (!WriteAllToFd(fd, bytes, error)) FailWithErrno(error);
}

}  // namespace verdigo
