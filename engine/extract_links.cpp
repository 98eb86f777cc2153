#include "engine/extract_links.h"

#include <algorithm>

#include "common/error_report.h"
#include "engine/href_scanner.h"
#include "engine/link_rules.h"

namespace verdigo {

ExtractLinks::ExtractLinks(Downloader& downloader, EngineReporter& reporter, YieldFn yield,
                           PageFiles& pageFiles)
    : downloader_(downloader),
      reporter_(reporter),
      yield_(std::move(yield)),
      pageFiles_(pageFiles) {}

ExtractLinks::~ExtractLinks() { CancelPrefetches(); }

void ExtractLinks::Prefetch(std::string_view pageAddress, std::int16_t tempIndex) {
  prefetched_.push_back(StartTransfer(pageAddress, tempIndex));
}

void ExtractLinks::CancelPrefetches() {
  // The run is over (or goes its own way): no page file outlives it.
  pageFiles_.RemoveKept();
  if (prefetched_.empty()) return;
  downloader_.CancelAll();
  for (const Transfer& transfer : prefetched_) {
    if (transfer.ticket != 0) pageFiles_.Remove(transfer.pageFile);
    pageFilesHeld_.erase(transfer.pageFile);
  }
  prefetched_.clear();
}

bool ExtractLinks::GetUrls(RowSink& results, std::string_view pageAddress, std::int16_t tempIndex) {
  ErrorTrap trap(ProcedurePath("ExtractLinks", "GetUrls"), reporter_);
  Transfer transfer;
  bool downloaded = false;
  trap.Run(100, [&] { PreparePageUrl(pageAddress); });
  trap.Run(102, [&] {
    transfer = TakeTransfer(pageAddress, tempIndex);
    ReportPageFileFailureOnce(transfer);
  });
  downloadError_ = "no temporary file";
  trap.Run(104, [&] { downloaded = transfer.ticket != 0 && DownloadToFile(transfer); });
  if (!downloaded) {
    // A half-written page is of no use to anyone.
    if (transfer.ticket != 0) pageFiles_.Remove(transfer.pageFile);
    pageFilesHeld_.erase(transfer.pageFile);
    trap.Run(126, [&] { reporter_.UrlNotFound(pageUrl_, downloadError_); });
    return false;
  }
  trap.Run(122, [&] { ScanForLinks(results); });
  trap.Run(128, [&] {
    Yield();
    pageFiles_.Release(transfer.pageFile);
  });
  pageFilesHeld_.erase(transfer.pageFile);
  downloader_.Recycle(std::move(page_));
  return true;
}

// A temporary folder that cannot be made fails every page alike: one report
// says it, the pages after it only say "URL not found".
void ExtractLinks::ReportPageFileFailureOnce(const Transfer& transfer) {
  if (transfer.ticket != 0) {
    lastPageFileFailure_.clear();
  } else if (transfer.pageFileFailure != lastPageFileFailure_) {
    lastPageFileFailure_ = transfer.pageFileFailure;
    throw Failure(transfer.pageFileFailure);
  }
}

ExtractLinks::Transfer ExtractLinks::StartTransfer(std::string_view pageAddress,
                                                   std::int16_t tempIndex) {
  Transfer transfer{std::string(pageAddress), 0, FreePageFile(tempIndex), {}};
  pageFilesHeld_.insert(transfer.pageFile);
  UniqueFd file;
  try {
    file = pageFiles_.Create(transfer.pageFile);
  } catch (const Failure& failure) {
    transfer.pageFileFailure = failure.what();
    return transfer;
  }
  transfer.ticket = downloader_.Start(PreparePage(pageAddress).pageUrl, std::move(file));
  return transfer;
}

// The page started ahead for this address, else a download started now (after
// abandoning pages started ahead for other addresses: the caller went its own
// way).
ExtractLinks::Transfer ExtractLinks::TakeTransfer(std::string_view pageAddress,
                                                  std::int16_t tempIndex) {
  if (!prefetched_.empty() && prefetched_.front().address == pageAddress) {
    Transfer transfer = std::move(prefetched_.front());
    prefetched_.pop_front();
    return transfer;
  }
  CancelPrefetches();
  return StartTransfer(pageAddress, tempIndex);
}

// The lowest page file number from `tempIndex` on that no page under way
// uses, so that one page at a time always uses the same file.
int ExtractLinks::FreePageFile(std::int16_t tempIndex) const {
  int candidate = tempIndex;
  for (auto held = pageFilesHeld_.lower_bound(candidate);
       held != pageFilesHeld_.end() && *held == candidate; ++held) {
    ++candidate;
  }
  return candidate;
}

bool ExtractLinks::DownloadToFile(const Transfer& transfer) {
  std::optional<FetchedPage> fetched;
  while (!(fetched = downloader_.Collect(transfer.ticket, kWaitSlice))) Yield();
  if (!fetched->ok) {
    downloadError_ = std::move(fetched->reason);
    return false;
  }
  page_ = std::move(fetched->body);
  return true;
}

void ExtractLinks::PreparePageUrl(std::string_view entered) {
  PreparedPage page = PreparePage(entered);
  pageUrl_ = std::move(page.pageUrl);
  if (page.hasBase) baseUrl_ = std::move(page.baseUrl);
}

void ExtractLinks::SetPageUrl(std::string pageUrl, std::string baseUrl) {
  pageUrl_ = std::move(pageUrl);
  baseUrl_ = std::move(baseUrl);
}

void ExtractLinks::SetPage(std::string_view bytes) {
  page_.Clear();
  page_.Append(bytes);
}

void ExtractLinks::ScanForLinks(RowSink& results) {
  results.AppendRow(pageUrl_);
  Yield();
  const std::string_view page = page_.View();
  for (size_t slice = 0; slice < page.size(); slice += kYieldSlice) {
    const size_t sliceEnd = std::min(page.size(), slice + kYieldSlice);
    size_t quote = FindNextHrefQuote(page, slice, sliceEnd);
    while (quote != kNoMatch) {
      AddLink(quote + 1, results);
      quote = FindNextHrefQuote(page, quote + 1, sliceEnd);
    }
    Yield();
  }
}

bool ExtractLinks::ReadLinkTarget(size_t start, std::string_view& target) const {
  return ReadTargetAt(page_.View(), start, target);
}

void ExtractLinks::AddLink(size_t start, RowSink& results) {
  std::string_view target;
  if (!ReadLinkTarget(start, target)) return;  // never closed: no row
  ResolveLink(target, baseUrl_, row_);
  results.AppendRow(row_);
  Yield();
}

}  // namespace verdigo
