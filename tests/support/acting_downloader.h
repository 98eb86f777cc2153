#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <functional>
#include <map>
#include <string>

#include "engine/curl_downloader.h"

namespace verdigo::testing {

// Fetches through libcurl. A page that has an action starts only once the
// engine waits for it and the window's thread has run the action from its
// event loop, so only a window that handles its events while it waits for a
// page ever runs it, and it runs at that page's turn.
class ActingDownloader : public Downloader {
 public:
  void Before(const std::string& url, std::function<void()> action) {
    actions_[url] = std::move(action);
  }
  void BeforeEach(std::function<void()> action) { everyAction_ = std::move(action); }

  std::uint64_t Start(const std::string& url, UniqueFd pageFile) override {
    const std::uint64_t ticket = ++lastTicket_;
    std::function<void()> action = everyAction_;
    if (auto found = actions_.find(url); found != actions_.end()) action = found->second;
    if (action) {
      held_.emplace(ticket, Held{url, std::move(pageFile), std::move(action)});
    } else {
      realTickets_[ticket] = curl_.Start(url, std::move(pageFile));
    }
    return ticket;
  }

  std::optional<FetchedPage> Collect(std::uint64_t ticket,
                                     std::chrono::milliseconds wait) override {
    if (auto held = held_.find(ticket); held != held_.end()) {
      QMetaObject::invokeMethod(
          qApp,
          [this, ticket, page = std::make_shared<Held>(std::move(held->second))] {
            page->action();
            realTickets_[ticket] = curl_.Start(page->url, std::move(page->file));
          },
          Qt::QueuedConnection);
      held_.erase(held);
    }
    const auto real = realTickets_.find(ticket);
    if (real == realTickets_.end()) return std::nullopt;  // its action has not run yet
    return curl_.Collect(real->second, wait);
  }

  void CancelAll() override {
    held_.clear();
    curl_.CancelAll();
  }

 private:
  struct Held {
    std::string url;
    UniqueFd file;
    std::function<void()> action;
  };

  CurlDownloader curl_;
  std::map<std::string, std::function<void()>> actions_;
  std::function<void()> everyAction_;
  std::uint64_t lastTicket_ = 0;
  std::map<std::uint64_t, Held> held_;
  std::map<std::uint64_t, std::uint64_t> realTickets_;  // ours to libcurl's
};

}  // namespace verdigo::testing
