#pragma once

#include "engine/interfaces.h"

// Runs each download on a worker thread while the calling thread keeps
// handling its events, so that the window repaints and its buttons work
// during a download as they do between slices of a scan.
namespace verdigo {

class BackgroundDownloader : public Downloader {
 public:
  // `inner` does the fetching; one fetch at a time, as before.
  explicit BackgroundDownloader(Downloader& inner) : inner_(inner) {}

  DownloadOutcome Fetch(const std::string& url, int pageFd) override;

 private:
  Downloader& inner_;
};

}  // namespace verdigo
