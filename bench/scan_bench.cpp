// The scanner and the link rules over a 64 MiB page, beside a memchr pass
// over the same bytes in the same run, so the ratio means something on a
// noisy machine.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "engine/extract_links.h"
#include "engine/href_scanner.h"

namespace verdigo {
namespace {

constexpr size_t kPageBytes = 64u << 20;

// Markup with about one double-quoted href per 300 bytes, some in capitals,
// and single-quoted or unquoted ones that must not match.
const std::string& RealisticPage() {
  static const std::string page = [] {
    std::mt19937 random(42);
    std::string out;
    out.reserve(kPageBytes + 1024);
    const char* words[] = {"lorem", "ipsum", "dolor", "sit", "amet", "links", "page", "news"};
    while (out.size() < kPageBytes) {
      out += "<div class=\"item col-";
      out += std::to_string(random() % 12);
      out += "\" id=\"n";
      out += std::to_string(random() % 100000);
      out += "\"><p>";
      for (int w = 0; w < 26; ++w) {
        out += words[random() % 8];
        out += ' ';
      }
      switch (random() % 10) {
        case 0:
          out += "<A HREF=\"/Docs/Page" + std::to_string(random() % 1000) + ".HTM\">x</A>";
          break;
        case 1:
          out += "<a href='single" + std::to_string(random() % 1000) + ".html'>y</a>";
          break;
        case 2:
          out += "<a href=unquoted" + std::to_string(random() % 1000) + ".html>z</a>";
          break;
        default:
          out += "<a href=\"dir/page" + std::to_string(random() % 100000) + ".html\" title=\"t\">";
          out += "link</a>";
      }
      out += "</p></div>\n";
    }
    out.resize(kPageBytes);
    return out;
  }();
  return page;
}

const std::string& PageWithoutLinks() {
  static const std::string page = [] {
    std::string out;
    out.reserve(kPageBytes + 128);
    while (out.size() < kPageBytes)
      out += "<p class=\"text\">no links in this paragraph at all</p>\n";
    out.resize(kPageBytes);
    return out;
  }();
  return page;
}

const std::string& PageFor(const benchmark::State& state) {
  return state.range(0) == 0 ? RealisticPage() : PageWithoutLinks();
}

void Label(benchmark::State& state) {
  state.SetLabel(state.range(0) == 0 ? "realistic page" : "page without links");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kPageBytes));
}

void BM_MemchrQuotes(benchmark::State& state) {
  const std::string& page = PageFor(state);
  for (auto _ : state) {
    size_t quotes = 0;
    const char* p = page.data();
    const char* end = p + page.size();
    while ((p = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p))))) {
      ++quotes;
      ++p;
    }
    benchmark::DoNotOptimize(quotes);
  }
  Label(state);
}

void BM_FindTargets(benchmark::State& state) {
  const std::string_view page = PageFor(state);
  size_t targets = 0;
  for (auto _ : state) {
    targets = 0;
    size_t bytes = 0;
    for (size_t q = FindNextHrefQuote(page, 0, page.size()); q != kNoMatch;
         q = FindNextHrefQuote(page, q + 1, page.size())) {
      std::string_view target;
      if (ReadTargetAt(page, q + 1, target)) {
        ++targets;
        bytes += target.size();
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["links"] = static_cast<double>(targets);
  Label(state);
}

struct CountingSink : RowSink {
  size_t rows = 0;
  size_t bytes = 0;
  void AppendRow(std::string_view row) override {
    ++rows;
    bytes += row.size();
  }
};

struct NoDownloads : Downloader {
  std::uint64_t Start(const std::string&, UniqueFd) override { return 1; }
  std::optional<FetchedPage> Collect(std::uint64_t, std::chrono::milliseconds) override {
    return FetchedPage{};
  }
  void CancelAll() override {}
};

struct NoReports : EngineReporter {
  void ShowErrorReport(const std::string&) override {}
  void UrlNotFound(std::string_view, std::string_view) override {}
};

void BM_ScanAndResolve(benchmark::State& state) {
  NoDownloads downloader;
  NoReports reporter;
  size_t yields = 0;
  ExtractLinks engine(downloader, reporter, [&] { ++yields; });
  engine.PreparePageUrl("http://bench.example/dir/index.html");
  engine.SetPage(PageFor(state));
  CountingSink sink;
  for (auto _ : state) {
    sink = {};
    engine.ScanForLinks(sink);
    benchmark::DoNotOptimize(sink.bytes);
  }
  state.counters["rows"] = static_cast<double>(sink.rows);
  Label(state);
}

BENCHMARK(BM_MemchrQuotes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTargets)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanAndResolve)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace verdigo

BENCHMARK_MAIN();
