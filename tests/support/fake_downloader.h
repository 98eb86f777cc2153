#pragma once

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/interfaces.h"

namespace verdigo::testing {

// Pages from memory. Records what the engine asked for, in order; Collect
// can answer "not yet" a few times so that a test sees what waiting does.
class FakeDownloader : public Downloader {
 public:
  struct Started {
    std::uint64_t ticket;
    std::string url;
    int pageFile;
    bool operator==(const Started&) const = default;
  };

  void Serve(const std::string& url, std::string body) { pages_[url] = {true, std::move(body)}; }
  void Fail(const std::string& url, std::string reason) {
    pages_[url] = {false, std::move(reason)};
  }

  std::uint64_t Start(const std::string& url, UniqueFd pageFile) override {
    started.push_back({started.size() + 1, url, PageFileNumber(pageFile.get())});
    return started.size();
  }

  std::optional<FetchedPage> Collect(std::uint64_t ticket, std::chrono::milliseconds) override {
    ++waits;
    if (notYetAnswers > 0) {
      --notYetAnswers;
      return std::nullopt;
    }
    collected.push_back(ticket);
    const std::string& url = started.at(ticket - 1).url;
    const auto page = pages_.find(url);
    if (page == pages_.end()) return FetchedPage{false, "HTTP 404", {}};
    if (!page->second.ok) return FetchedPage{false, page->second.text, {}};
    FetchedPage fetched{true, {}, {}};
    fetched.body.Append(page->second.text);
    return fetched;
  }

  void CancelAll() override { ++cancels; }

  std::vector<Started> started;
  std::vector<std::uint64_t> collected;
  int notYetAnswers = 0;  // Collect says "not yet" this many times first
  int waits = 0;
  int cancels = 0;

 private:
  // N of the HTMLN.tmp the descriptor is open on (a file or a memfd).
  static int PageFileNumber(int fd) {
    char target[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    if (::readlink(link.c_str(), target, sizeof target - 1) < 0) return 0;
    const std::string path = target;
    const size_t name = path.rfind("HTML");
    return name == std::string::npos ? 0 : std::atoi(path.c_str() + name + 4);
  }

  struct Page {
    bool ok;
    std::string text;  // the body, or why it failed
  };
  std::map<std::string, Page> pages_;
};

}  // namespace verdigo::testing
