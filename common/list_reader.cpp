#include "common/list_reader.h"

#include <cerrno>

#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/file_routines.h"

namespace verdigo {

ListReader ListReader::OpenFile(const std::string& path, ListLimits limits) {
  return ListReader(OpenRegularFile(path, limits.maxListBytes), limits);
}

std::string_view ListReader::Read() {
  piece_.resize(kPieceBytes);
  const long n = ReadSomeFromFd(fd_.get(), piece_.data(), piece_.size());
  if (n < 0 && errno == EAGAIN) return {};
  if (n < 0) FailWithErrno(errno);
  if (n == 0) {
    ended_ = true;
    return {};
  }
  bytesRead_ += static_cast<std::uint64_t>(n);
  if (bytesRead_ > limits_.maxListBytes) throw Failure("File too large");
  return std::string_view(piece_.data(), static_cast<size_t>(n));
}

}  // namespace verdigo
