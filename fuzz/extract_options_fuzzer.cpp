// The command line of verdigo-extract. The input, cut at NUL bytes, is the
// argument list. Parsing it twice must give the same result (the C library's
// option scanner keeps state between calls), and a command line that is
// accepted must give only values the options allow. Any difference aborts.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/extract_options.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "extract_options: %s\n", what);
  std::abort();
}

bool SameResult(const verdigo::ParsedArguments& a, const verdigo::ParsedArguments& b) {
  const verdigo::ExtractOptions& x = a.options;
  const verdigo::ExtractOptions& y = b.options;
  return a.error == b.error && x.addresses == y.addresses && x.listFiles == y.listFiles &&
         x.outputFile == y.outputFile && x.csv == y.csv && x.json == y.json &&
         x.nullTerminated == y.nullTerminated && x.quiet == y.quiet && x.pageFiles == y.pageFiles &&
         x.pageBase == y.pageBase && x.continueRun == y.continueRun &&
         x.download.jobs == y.download.jobs && x.download.perHost == y.download.perHost &&
         x.download.retries == y.download.retries &&
         x.download.perHostDelay == y.download.perHostDelay &&
         x.download.connectTimeout == y.download.connectTimeout &&
         x.download.pageTimeout == y.download.pageTimeout &&
         x.download.headers == y.download.headers && x.download.userAgent == y.download.userAgent;
}

void CheckAccepted(const verdigo::ExtractOptions& o) {
  const verdigo::DownloadSettings& d = o.download;
  if (d.jobs < 1 || d.jobs > verdigo::kMaxJobs) Fail("-j out of range");
  if (d.perHost < 1 || d.perHost > verdigo::kMaxJobs) Fail("--per-host out of range");
  if (d.retries < 0) Fail("--retries below 0");
  if (d.perHostDelay.count() < 0 || d.pageTimeout.count() < 0) Fail("a negative time");
  if (d.connectTimeout.count() <= 0) Fail("no connection time-out");
  for (const std::string& address : o.addresses) {
    if (address.empty()) Fail("an empty address");
  }
  for (const std::string& header : d.headers) {
    const size_t colon = header.find(':');
    if (colon == 0 || colon == std::string::npos) Fail("a header without its name");
    if (header.find_first_of("\r\n") != std::string::npos) Fail("a header with a line break");
  }
  if (o.json && (o.csv || o.nullTerminated)) Fail("--json with another format");
  if (o.nullTerminated && !o.outputFile.empty()) Fail("-0 with -o");
  if (o.continueRun && o.outputFile.empty()) Fail("-c without -o");
  if (!o.pageBase.empty() && o.pageFiles.empty()) Fail("--base without --page");
  for (const std::string& page : o.pageFiles) {
    if (page.empty()) Fail("an empty page file name");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  for (size_t start = 0; start <= bytes.size() && args.size() < 64;) {
    const size_t end = std::min(bytes.find('\0', start), bytes.size());
    args.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  const verdigo::ParsedArguments first = verdigo::ParseExtractArguments(args);
  const verdigo::ParsedArguments second = verdigo::ParseExtractArguments(args);
  if (!SameResult(first, second)) Fail("a second parse differs from the first");
  if (first.error.empty()) CheckAccepted(first.options);
  return 0;
}
