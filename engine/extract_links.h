#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <string_view>

#include "engine/interfaces.h"
#include "engine/page_buffer.h"

namespace verdigo {

// Runs number their page files from this one up.
inline constexpr std::int16_t kRunPageFile = 1;

// The link-extraction engine: one page at a time, from its entered address to
// its rows in the results. Downloads may run ahead of that order (Prefetch);
// everything that carries from page to page happens in GetUrls, in the
// order of its calls.
class ExtractLinks {
 public:
  // The scan yields at least this often (in bytes scanned) and after each row.
  static constexpr size_t kYieldSlice = 64 * 1024;
  // How often a wait for a download yields.
  static constexpr std::chrono::milliseconds kWaitSlice{10};

  ExtractLinks(Downloader& downloader, EngineReporter& reporter, YieldFn yield = {},
               PageFiles& pageFiles = TempFolderPageFiles());
  ~ExtractLinks();
  ExtractLinks(const ExtractLinks&) = delete;
  ExtractLinks& operator=(const ExtractLinks&) = delete;

  // Starts downloading the page of `pageAddress` ahead of its turn. The
  // caller later passes the same addresses to GetUrls in the same order.
  void Prefetch(std::string_view pageAddress, std::int16_t tempIndex);
  // Pages started by Prefetch whose GetUrls has not come yet.
  size_t PrefetchedCount() const { return prefetched_.size(); }
  // Abandons the pages started ahead and deletes the page files kept for
  // the next pages: the end of every run calls it.
  void CancelPrefetches();

  // Handles one page completely: normalises the address, waits for its
  // download (started now unless Prefetch started it), appends the page row
  // and its links to `results`, releases the page file (PageFiles::Release). False when the
  // download failed.
  bool GetUrls(RowSink& results, std::string_view pageAddress, std::int16_t tempIndex);

  // Sets the page's address and (when it holds a "/") the base of its links
  // from an entered address.
  void PreparePageUrl(std::string_view entered);
  // Sets the page's address and base as they stand, for a page whose address
  // no entered address gives (a local file's own).
  void SetPageUrl(std::string pageUrl, std::string baseUrl);
  // Makes `bytes` the page that ScanForLinks reads.
  void SetPage(std::string_view bytes);
  // Appends the page row, then one row per link target of the page.
  void ScanForLinks(RowSink& results);

 private:
  struct Transfer {
    std::string address;       // as entered
    std::uint64_t ticket = 0;  // 0: never started, for want of a page file
    int pageFile = 0;
    std::string pageFileFailure;  // why the page file could not be made
  };

  Transfer StartTransfer(std::string_view pageAddress, std::int16_t tempIndex);
  Transfer TakeTransfer(std::string_view pageAddress, std::int16_t tempIndex);
  int FreePageFile(std::int16_t tempIndex) const;
  void ReportPageFileFailureOnce(const Transfer& transfer);
  bool DownloadToFile(const Transfer& transfer);
  // The target that starts at byte offset `start` (just after its opening
  // quote); false when it is never closed.
  bool ReadLinkTarget(size_t start, std::string_view& target) const;
  // Resolves the target at `start` against the base and appends it.
  void AddLink(size_t start, RowSink& results);
  void Yield() {
    if (yield_) yield_();
  }

  Downloader& downloader_;
  EngineReporter& reporter_;
  YieldFn yield_;
  PageFiles& pageFiles_;
  std::string pageUrl_;
  std::string baseUrl_;
  PageBuffer page_;  // the page being scanned; its length is its buffer's
  std::string downloadError_;
  std::string lastPageFileFailure_;
  std::deque<Transfer> prefetched_;
  // The page files of the page GetUrls is handling and of the pages ahead.
  std::set<int> pageFilesHeld_;
  std::string row_;  // reused for every link, so rows cost no allocation
};

}  // namespace verdigo
