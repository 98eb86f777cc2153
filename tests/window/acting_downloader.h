#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/curl_downloader.h"

namespace verdigo::testing {

// Fetches through libcurl. For an address that has an action, the window's
// thread runs the action from its event loop before that transfer begins,
// so only a window that handles its events while it waits for pages ever
// runs it.
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
    if (!action) {
      realTickets_[ticket] = curl_.Start(url, std::move(pageFile));
      return ticket;
    }
    auto file = std::make_shared<UniqueFd>(std::move(pageFile));
    QMetaObject::invokeMethod(
        qApp,
        [this, action, ticket, url, file] {
          action();
          realTickets_[ticket] = curl_.Start(url, std::move(*file));
        },
        Qt::QueuedConnection);
    return ticket;
  }
  std::optional<FetchedPage> Collect(std::uint64_t ticket,
                                     std::chrono::milliseconds wait) override {
    const auto real = realTickets_.find(ticket);
    if (real == realTickets_.end()) return std::nullopt;  // its action has not run yet
    return curl_.Collect(real->second, wait);
  }
  void CancelAll() override { curl_.CancelAll(); }

 private:
  CurlDownloader curl_;
  std::map<std::string, std::function<void()>> actions_;
  std::function<void()> everyAction_;
  std::uint64_t lastTicket_ = 0;
  std::map<std::uint64_t, std::uint64_t> realTickets_;  // ours to libcurl's
};

}  // namespace verdigo::testing
