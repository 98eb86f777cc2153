#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/clock.h"
#include "engine/download_settings.h"
#include "engine/interfaces.h"

namespace verdigo {

// Downloads over libcurl's multi interface on a thread of its own: several
// transfers at once, connections kept open and shared, HTTP/2 multiplexed
// where a server offers it. http and https only (redirects too), compressed
// bodies decoded by BodyDecoder (whole or failed), HTTP status 400 and above a failure, proxies
// from the environment or the settings. A page that fails for a reason that may pass is tried
// again, and no host gets more than its share (FetchScheduler, on `clock`). Bodies go to their page
// files through `pageFiles`, which must outlive the downloader, as must `clock`. Start, Collect,
// CancelAll and Recycle may be called from any one thread.
class CurlDownloader : public Downloader {
 public:
  explicit CurlDownloader(DownloadSettings settings = {},
                          PageFiles& pageFiles = TempFolderPageFiles(),
                          Clock& clock = SystemClock());
  ~CurlDownloader() override;
  CurlDownloader(const CurlDownloader&) = delete;
  CurlDownloader& operator=(const CurlDownloader&) = delete;

  std::uint64_t Start(const std::string& url, UniqueFd pageFile) override;
  std::optional<FetchedPage> Collect(std::uint64_t ticket, std::chrono::milliseconds wait) override;
  void CancelAll() override;
  void Recycle(PageBuffer body) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace verdigo
