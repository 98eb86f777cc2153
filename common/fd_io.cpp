#include "common/fd_io.h"

#include <sys/stat.h>
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

void WriteAllIgnoringErrors(int fd, std::string_view bytes) {
  int ignored = 0;
  (void)WriteAllToFd(fd, bytes, ignored);
}

long ReadSomeFromFd(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

std::string ReadAllFromFd(int fd, std::uint64_t maxBytes) {
  std::string bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) throw Failure("File too large");
    bytes.reserve(static_cast<size_t>(st.st_size));
  }
  char chunk[64 * 1024];
  for (;;) {
    const long n = ReadSomeFromFd(fd, chunk, sizeof chunk);
    if (n < 0) FailWithErrno(errno);
    if (n == 0) return bytes;
    if (bytes.size() + static_cast<std::uint64_t>(n) > maxBytes) throw Failure("File too large");
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace verdigo
