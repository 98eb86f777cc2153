#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/error_report.h"

// The engine's view of the outside world: where rows go, how a page is
// fetched, where its messages go, and how it lets the caller breathe.
namespace verdigo {

// Receives result rows in order; texts are code-page bytes.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void AppendRow(std::string_view row) = 0;
};

struct DownloadOutcome {
  bool ok = false;
  std::string reason;  // the downloader's own words when !ok
};

// Fetches the resource at an address and writes its body into a file open
// for writing (the caller owns the descriptor and removes the file).
class Downloader {
 public:
  virtual ~Downloader() = default;
  virtual DownloadOutcome Fetch(const std::string& url, int pageFd) = 0;
};

// Messages of the engine: the error report (through ErrorReportSink) and a
// page that could not be downloaded.
class EngineReporter : public ErrorReportSink {
 public:
  // `pageUrl` is the normalised address that was fetched.
  virtual void UrlNotFound(std::string_view pageUrl, std::string_view reason) = 0;
};

// Called between slices of work so that a window can handle its events.
using YieldFn = std::function<void()>;

}  // namespace verdigo
