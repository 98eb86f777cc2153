#include "engine/extract_links.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/error_report.h"
#include "common/temp_folder.h"
#include "engine/href_scanner.h"
#include "engine/link_rules.h"

namespace verdigo {

ExtractLinks::ExtractLinks(Downloader& downloader, EngineReporter& reporter, YieldFn yield)
    : downloader_(downloader), reporter_(reporter), yield_(std::move(yield)) {}

bool ExtractLinks::GetUrls(RowSink& results, std::string_view pageAddress, std::int16_t tempIndex) {
  ErrorTrap trap(ProcedurePath("ExtractLinks", "GetUrls"), reporter_);
  UniqueFd pageFile;
  bool downloaded = false;
  trap.Run(100, [&] { PreparePageUrl(pageAddress); });
  trap.Run(102, [&] { pageFile = CreatePageFileReportedOnce(tempIndex); });
  lastDownloadError_ = "no temporary file";
  trap.Run(104, [&] { downloaded = pageFile.valid() && DownloadToFile(PageUrl, pageFile.get()); });
  if (!downloaded) {
    if (pageFile.valid()) RemovePageFile(tempIndex);  // a half-written page is of no use
    trap.Run(126, [&] { reporter_.UrlNotFound(PageUrl, lastDownloadError_); });
    return false;
  }
  ReadPageFile(pageFile.get(), trap);
  pageFile.Close();
  trap.Run(122, [&] { ScanForLinks(results); });
  trap.Run(128, [&] {
    Yield();
    RemovePageFile(tempIndex);
  });
  return true;
}

UniqueFd ExtractLinks::CreatePageFileReportedOnce(int index) {
  try {
    UniqueFd file = CreatePageFile(index);
    lastPageFileFailure_.clear();
    return file;
  } catch (const Failure& failure) {
    // A temporary folder that cannot be made fails every page alike: one
    // report says it, the pages after it only say "URL not found".
    if (failure.what() == lastPageFileFailure_) return UniqueFd();
    lastPageFileFailure_ = failure.what();
    throw;
  }
}

void ExtractLinks::ReadPageFile(int pageFd, ErrorTrap& trap) {
  // One report for the first failing step: the steps after it depend on it.
  int fd = -1;
  struct stat st {};
  const bool ok = trap.Run(112, [&] {
    // The page file is open for writing only; its /proc entry reopens that
    // very file for reading, wherever its folder has gone meanwhile.
    fd = ::open(("/proc/self/fd/" + std::to_string(pageFd)).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) FailWithErrno(errno);
  }) && trap.Run(114, [&] {
    if (::fstat(fd, &st) != 0) FailWithErrno(errno);
    if (static_cast<std::uint64_t>(st.st_size) > kMaxPageBytes) {
      throw Failure("Page larger than 256 MiB");
    }
  }) && trap.Run(116, [&] {
    PageBytes.assign(static_cast<size_t>(st.st_size), '\0');
  }) && trap.Run(118, [&] {
    size_t done = 0;
    while (done < PageBytes.size()) {
      const ssize_t n = ::read(fd, PageBytes.data() + done, PageBytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) FailWithErrno(errno);
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    PageBytes.resize(done);
  });
  if (!ok) PageBytes.clear();
  PageLength = static_cast<std::int32_t>(PageBytes.size());
  if (fd >= 0)
    trap.Run(120, [&] {
      if (::close(fd) != 0) FailWithErrno(errno);
    });
}

void ExtractLinks::PreparePageUrl(std::string_view entered) {
  PreparedPage page = PreparePage(entered);
  PageUrl = std::move(page.pageUrl);
  if (page.hasBase) BaseUrl = std::move(page.baseUrl);
}

bool ExtractLinks::DownloadToFile(const std::string& address, int pageFd) {
  DownloadOutcome outcome = downloader_.Fetch(address, pageFd);
  lastDownloadError_ = outcome.ok ? std::string() : std::move(outcome.reason);
  return outcome.ok;
}

void ExtractLinks::ScanForLinks(RowSink& results) {
  results.AppendRow(PageUrl);
  Yield();
  const std::string_view page(PageBytes.data(), static_cast<size_t>(PageLength));
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
  return ReadTargetAt(std::string_view(PageBytes.data(), static_cast<size_t>(PageLength)), start,
                      target);
}

void ExtractLinks::AddLink(size_t start, RowSink& results) {
  std::string_view target;
  if (!ReadLinkTarget(start, target)) return;  // never closed: no row
  ResolveLink(target, BaseUrl, row_);
  results.AppendRow(row_);
  Yield();
}

}  // namespace verdigo
