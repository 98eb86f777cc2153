#include "cli/page_sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/file_routines.h"
#include "engine/interfaces.h"

namespace verdigo {

PageSources::PageSources(const std::vector<std::string>& names, const std::string& base) {
  for (const std::string& name : names) Open(name, base);
}

void PageSources::Open(const std::string& name, const std::string& base) {
  Page page;
  page.shownName = name == "-" ? "standard input" : name;
  page.entered = !base.empty();
  page.address = page.entered ? base : FileAddress(name == "-" ? "/dev/stdin" : name);
  page.file.Reset(name == "-" ? ::dup(STDIN_FILENO) : ::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  std::string failure;
  struct stat st {};
  if (!page.file.valid()) {
    failure = DescribeOpenFailure(errno, name);
  } else if (::fstat(page.file.get(), &st) == 0 && S_ISDIR(st.st_mode)) {
    failure = DescribeErrno(EISDIR);
  } else if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > kMaxPageBytes) {
    failure = "File too large";
  }
  if (failure.empty()) {
    pages_.push_back(std::move(page));
  } else {
    openFailures_.push_back("cannot read " + page.shownName + ": " + failure);
  }
}

std::string PageSources::Read(Page& page) {
  std::string bytes = ReadAllFromFd(page.file.get(), kMaxPageBytes);
  page.file.Close();
  return bytes;
}

std::string FileAddress(const std::string& name) {
  return "file://" + std::filesystem::absolute(name).lexically_normal().string();
}

std::string BaseOfFileAddress(const std::string& address) {
  return address.substr(0, address.rfind('/'));
}

}  // namespace verdigo
