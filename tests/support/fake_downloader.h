#pragma once

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

  std::uint64_t Start(const std::string& url, int pageFile) override {
    started.push_back({started.size() + 1, url, pageFile});
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
  struct Page {
    bool ok;
    std::string text;  // the body, or why it failed
  };
  std::map<std::string, Page> pages_;
};

}  // namespace verdigo::testing
