#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/error_report.h"
#include "common/unique_fd.h"
#include "common/yield_fn.h"
#include "engine/page_buffer.h"

// The engine's view of the outside world: where rows go, how a page is
// fetched, where its messages go, and how it lets the caller breathe.
namespace verdigo {

// Receives result rows in order; texts are code-page bytes.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void AppendRow(std::string_view row) = 0;
};

// A finished transfer: the page's body, or why there is none.
struct FetchedPage {
  bool ok = false;
  std::string reason;  // the downloader's own words when !ok
  PageBuffer body;
};

// The page files, HTML<index>.tmp in the private temporary folder: the engine
// creates and removes them, the downloader writes each body into its file
// and may read a large one back where it lies. Every step but Remove throws
// Failure with a description. May be used from several threads at once.
class PageFiles {
 public:
  virtual ~PageFiles() = default;
  // Creates or empties page file `index`, open for reading and writing.
  virtual UniqueFd Create(int index) = 0;
  // Appends all of `bytes` to the page file open at `file`.
  virtual void Write(const UniqueFd& file, std::string_view bytes) = 0;
  // Empties the page file open at `file`, for a page tried again.
  virtual void Empty(const UniqueFd& file);
  // The first `size` bytes of the page file open at `file`, read-only.
  virtual PageBuffer Map(const UniqueFd& file, size_t size) = 0;
  // Deletes page file `index`; a failure is ignored.
  virtual void Remove(int index) = 0;
  // Page file `index` is done with: its page is handled and nothing writes
  // to it any more. Deleted, or kept empty for the next Create(index) until
  // RemoveKept.
  virtual void Release(int index) { Remove(index); }
  // Deletes the page files kept by Release.
  virtual void RemoveKept() {}
};

// The page files of the program's private temporary folder.
PageFiles& TempFolderPageFiles();

// Fetches pages, several at once. Every body is also written into its page
// file, open for writing (the caller made the file and removes it). The
// engine starts transfers ahead of their turn and collects each one once, in
// the order it started them.
class Downloader {
 public:
  virtual ~Downloader() = default;
  // Starts fetching `url`; the ticket names the transfer from then on.
  // Tickets rise with every call.
  virtual std::uint64_t Start(const std::string& url, UniqueFd pageFile) = 0;
  // Transfer `ticket` once it has ended, waiting at most `wait` for it;
  // nothing while it is still under way.
  virtual std::optional<FetchedPage> Collect(std::uint64_t ticket,
                                             std::chrono::milliseconds wait) = 0;
  // Abandons every transfer not yet collected.
  virtual void CancelAll() = 0;
  // Takes back a collected body so that its memory serves a later page.
  virtual void Recycle(PageBuffer body) { (void)body; }
};

// Messages of the engine: the error report (through ErrorReportSink) and a
// page that could not be downloaded.
class EngineReporter : public ErrorReportSink {
 public:
  // `pageUrl` is the normalised address that was fetched.
  virtual void UrlNotFound(std::string_view pageUrl, std::string_view reason) = 0;
};

// Pages larger than this are refused: a page is held whole in memory.
inline constexpr std::uint64_t kMaxPageBytes = 256ull << 20;

}  // namespace verdigo
