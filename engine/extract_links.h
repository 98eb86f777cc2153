#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/unique_fd.h"
#include "engine/interfaces.h"

namespace verdigo {

// Every run downloads its pages one after the other into this page file.
inline constexpr std::int16_t kRunPageFile = 1;

// The link-extraction engine: one page at a time, from its entered address to
// its rows in the results.
class ExtractLinks {
 public:
  // Pages larger than this are refused by the downloader and by the reader.
  static constexpr std::uint64_t kMaxPageBytes = 256ull << 20;
  // The scan yields at least this often (in bytes scanned) and after each row.
  static constexpr size_t kYieldSlice = 64 * 1024;

  ExtractLinks(Downloader& downloader, EngineReporter& reporter, YieldFn yield = {});

  // Handles one page completely: normalises the address, downloads the page
  // into temporary file `tempIndex`, appends the page row and its links to
  // `results`, deletes the file. False when the download failed.
  bool GetUrls(RowSink& results, std::string_view pageAddress, std::int16_t tempIndex);

  // Sets PageUrl and (when it holds a "/") BaseUrl from an entered address.
  void PreparePageUrl(std::string_view entered);
  bool DownloadToFile(const std::string& address, int pageFd);
  // Appends the page row, then one row per link target of PageBytes.
  void ScanForLinks(RowSink& results);
  // The target that starts at byte offset `start` (just after its opening
  // quote); false when it is never closed.
  bool ReadLinkTarget(size_t start, std::string_view& target) const;
  // Resolves the target at `start` against BaseUrl and appends it.
  void AddLink(size_t start, RowSink& results);

  // Page state; each call of GetUrls overwrites it.
  std::string PageUrl;
  std::string BaseUrl;
  std::string PageBytes;
  std::int32_t PageLength = 0;

  const std::string& LastDownloadError() const { return lastDownloadError_; }

 private:
  UniqueFd CreatePageFileReportedOnce(int index);
  void ReadPageFile(int pageFd, class ErrorTrap& trap);
  void Yield() {
    if (yield_) yield_();
  }

  Downloader& downloader_;
  EngineReporter& reporter_;
  YieldFn yield_;
  std::string lastDownloadError_;
  std::string lastPageFileFailure_;
  std::string row_;  // reused for every link, so rows cost no allocation
};

}  // namespace verdigo
