#include "common/safe_file_writer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/error_report.h"
#include "common/fd_io.h"

namespace verdigo {

SafeFileWriter SafeFileWriter::Open(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                     ".verdigo-save-XXXXXX";
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.valid()) FailWithErrno(errno);
  return SafeFileWriter(path, std::move(temp), std::move(fd));
}

SafeFileWriter::~SafeFileWriter() {
  if (fd_.valid()) ::unlink(tempPath_.c_str());
}

void SafeFileWriter::Write(std::string_view bytes) { WriteAllOrFail(fd_.get(), bytes); }

void SafeFileWriter::Commit() {
  if (::rename(tempPath_.c_str(), path_.c_str()) != 0) FailWithErrno(errno);
  fd_.Reset();
}

}  // namespace verdigo
