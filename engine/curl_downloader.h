#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/interfaces.h"

namespace verdigo {

struct DownloadSettings {
  std::chrono::milliseconds connectTimeout{15000};
  // A transfer slower than 1 byte per second for this long is abandoned.
  std::chrono::seconds stallTimeout{30};
  std::uint64_t maxBodyBytes = 256ull << 20;
  long maxRedirects = 10;
};

// Downloads over libcurl: http and https only (redirects too), compressed
// bodies decoded, HTTP status 400 and above a failure, proxies from the
// environment. One handle serves every call so connections stay open.
// Not thread-safe: one call at a time.
class CurlDownloader : public Downloader {
 public:
  explicit CurlDownloader(DownloadSettings settings = {});
  ~CurlDownloader() override;
  CurlDownloader(const CurlDownloader&) = delete;
  CurlDownloader& operator=(const CurlDownloader&) = delete;

  DownloadOutcome Fetch(const std::string& url, int pageFd) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The address as sent: bytes an address may not hold as they stand (space,
// control characters, bytes above 127) percent-encoded, as browsers do.
std::string EncodeAddressForRequest(const std::string& url);

}  // namespace verdigo
