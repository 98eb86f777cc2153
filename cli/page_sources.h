#pragma once

#include <string>
#include <vector>

#include "common/unique_fd.h"

// The pages given with --page: files whose bytes are taken as pages, exactly
// as if they had been downloaded.
namespace verdigo {

class PageSources {
 public:
  struct Page {
    // The address the rows name: the --base address as entered, or the
    // file's absolute path as a file:// address.
    std::string address;
    // True when `address` goes through the rules of a listed address; false
    // when it is the page's own address as it stands.
    bool entered = false;
    std::string shownName;  // for messages
    UniqueFd file;
  };

  // Opens every file at once ("-" is standard input), so that one that
  // cannot be read is reported before any work.
  PageSources(const std::vector<std::string>& names, const std::string& base);

  // Each file that could not be opened, as "cannot read NAME: REASON".
  const std::vector<std::string>& OpenFailures() const { return openFailures_; }
  std::vector<Page>& pages() { return pages_; }

  // The page's bytes, read whole; throws Failure (also past kMaxPageBytes).
  static std::string Read(Page& page);

 private:
  void Open(const std::string& name, const std::string& base);

  std::vector<Page> pages_;
  std::vector<std::string> openFailures_;
};

// "file://" and the absolute path of `name`, made plain by text alone.
std::string FileAddress(const std::string& name);
// `address` up to, not including, its last "/".
std::string BaseOfFileAddress(const std::string& address);

}  // namespace verdigo
