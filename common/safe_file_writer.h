#pragma once

#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace verdigo {

// A file written beside its final name and put in place only when complete.
// Destroyed without Commit, it removes what it wrote. Throws Failure.
class SafeFileWriter {
 public:
  static SafeFileWriter Open(const std::string& path);
  SafeFileWriter(SafeFileWriter&&) noexcept = default;
  ~SafeFileWriter();

  void Write(std::string_view bytes);
  void Commit();

 private:
  SafeFileWriter(std::string path, std::string tempPath, UniqueFd fd)
      : path_(std::move(path)), tempPath_(std::move(tempPath)), fd_(std::move(fd)) {}

  std::string path_;
  std::string tempPath_;
  UniqueFd fd_;
};

}  // namespace verdigo
