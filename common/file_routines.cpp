#include "common/file_routines.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/unique_fd.h"

namespace verdigo {

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string DescribeOpenFailure(int err, const std::string& path) {
  if (err == ENOENT) {
    const size_t slash = path.rfind('/');
    struct stat st {};
    if (slash != std::string::npos && slash > 0 &&
        ::stat(path.substr(0, slash).c_str(), &st) != 0) {
      return DescribeFolderFailure(err);
    }
  }
  return DescribeErrno(err);
}

std::string DescribeFolderFailure(int err) { return DescribeErrno(err == ENOENT ? ENOTDIR : err); }

std::string RandomFileName(std::string_view prefix) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6] = {};
  if (::getrandom(random, sizeof random, 0) != sizeof random) {
    for (unsigned char& byte : random) byte = static_cast<unsigned char>(std::rand());
  }
  std::string name(prefix);
  for (const unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
  return name;
}

void FailToOpen(int err, const std::string& path) { throw Failure(DescribeOpenFailure(err, path)); }

mode_t ReadProcessUmask() {
  const UniqueFd status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (!status.valid()) return 022;
  std::string text;
  try {
    text = ReadAllFromFd(status.get(), 1 << 20);
  } catch (const Failure&) {
    return 022;
  }
  const size_t at = text.find("\nUmask:\t");
  if (at == std::string::npos) return 022;
  return static_cast<mode_t>(std::strtoul(text.c_str() + at + 8, nullptr, 8) & 0777);
}

std::string DescribeNotARegularFile(mode_t mode) {
  if (S_ISDIR(mode)) return DescribeErrno(EISDIR);
  if (S_ISFIFO(mode)) return "Is a pipe (FIFO), not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "Is a device, not a file";
  if (S_ISSOCK(mode)) return "Is a socket, not a file";
  return "Not a regular file";
}

UniqueFd OpenRegularFile(const std::string& path, std::uint64_t maxBytes) {
  // Not blocking: opening a FIFO that nobody writes into, or a device, would
  // wait for good before the check below could refuse it.
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.valid()) FailToOpen(errno, path);
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) FailWithErrno(errno);
  if (!S_ISREG(st.st_mode)) throw Failure(DescribeNotARegularFile(st.st_mode));
  // Reads of a regular file wait as they always do.
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags == -1 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) FailWithErrno(errno);
  // Fails before reading a byte when the size tells already.
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) throw Failure("File too large");
  return file;
}

std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  return ReadAllFromFd(OpenRegularFile(path, maxBytes).get(), maxBytes);
}

}  // namespace verdigo
