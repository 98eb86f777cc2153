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

UniqueFd OpenRegularFile(const std::string& path, std::uint64_t maxBytes) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) FailToOpen(errno, path);
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) FailWithErrno(errno);
  if (!S_ISREG(st.st_mode)) FailWithErrno(EISDIR);
  // Fails before reading a byte when the size tells already.
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) throw Failure("File too large");
  return file;
}

std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  return ReadAllFromFd(OpenRegularFile(path, maxBytes).get(), maxBytes);
}

}  // namespace verdigo
