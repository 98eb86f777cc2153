// The results list at a million rows of about 60 characters: filling it
// (model alone, and with the window's kind of view), the two saves, and the
// clipboard copy. Resident memory for the rows is reported as a counter with
// its ratio to the rows' text size.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/clipboard_text.h"
#include "common/file_routines.h"
#include "common/results_export.h"
#include "common/safe_file_writer.h"
#include "window/clipboard.h"
#include "window/row_list_model.h"

namespace verdigo {
namespace {

constexpr size_t kRows = 1'000'000;

// Link-like rows of 55 to 65 characters, packed in one buffer so that the
// source of the rows adds no allocations of its own.
struct SourceRows {
  std::string bytes;
  std::vector<size_t> ends;
  std::string_view Row(size_t i) const {
    const size_t start = i == 0 ? 0 : ends[i - 1];
    return std::string_view(bytes).substr(start, ends[i] - start);
  }
};

const SourceRows& Source() {
  static const SourceRows rows = [] {
    SourceRows out;
    out.bytes.reserve(kRows * 61);
    out.ends.reserve(kRows);
    char row[96];
    for (size_t i = 0; i < kRows; ++i) {
      const int n = std::snprintf(row, sizeof row,
                                  "http://www.host%zu.example.com/links/dir/page-%07zu.html%.*s",
                                  i % 97, i, static_cast<int>(i % 11), "?q=abcdefgh");
      out.bytes.append(row, static_cast<size_t>(n));
      out.ends.push_back(out.bytes.size());
    }
    return out;
  }();
  return rows;
}

long ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6)) * 1024;
  }
  return 0;
}

void Fill(RowListModel& list) {
  const SourceRows& source = Source();
  for (size_t i = 0; i < kRows; ++i) list.AppendRow(source.Row(i));
  list.FlushPending();
}

// Argument 0: the model alone; 1: shown in a tree view as the window does.
void BM_AppendMillionRows(benchmark::State& state) {
  const bool withView = state.range(0) == 1;
  const double textBytes = static_cast<double>(Source().bytes.size());
  double resident = 0;
  for (auto _ : state) {
    ::malloc_trim(0);
    const long before = ResidentBytes();
    auto list = std::make_unique<RowListModel>(true);
    std::unique_ptr<QTreeView> view;
    if (withView) {
      view = std::make_unique<QTreeView>();
      view->setUniformRowHeights(true);
      view->setRootIsDecorated(false);
      view->setModel(list.get());
      view->resize(520, 170);
      view->show();
    }
    Fill(*list);
    QApplication::processEvents();
    if (withView) view->scrollToBottom();
    QApplication::processEvents();
    resident = static_cast<double>(ResidentBytes() - before);
    state.PauseTiming();
    view.reset();
    list.reset();
    state.ResumeTiming();
  }
  state.counters["rows_rss_MB"] = resident / 1e6;
  state.counters["text_MB"] = textBytes / 1e6;
  state.counters["rss_to_text"] = resident / textBytes;
}
BENCHMARK(BM_AppendMillionRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

RowListModel& FullList() {
  static RowListModel* list = [] {
    auto* filled = new RowListModel(true);
    Fill(*filled);
    return filled;
  }();
  return *list;
}

std::string SavePath() { return "/tmp/verdigo-bench-lists-" + std::to_string(::getpid()) + ".txt"; }

// What a save does once the name is chosen: take the rows as they stand,
// build the file, replace the target.
void BM_SaveText(benchmark::State& state) {
  RowListModel& list = FullList();
  const std::string path = SavePath();
  for (auto _ : state) WriteFileAtomically(path, ResultsTextFileBytes(list.Snapshot()));
  ::unlink(path.c_str());
}
BENCHMARK(BM_SaveText)->Unit(benchmark::kMillisecond);

void BM_SaveCommaDelimited(benchmark::State& state) {
  RowListModel& list = FullList();
  const std::string path = SavePath();
  for (auto _ : state) WriteFileAtomically(path, ResultsCsvFileBytes(list.Snapshot()));
  ::unlink(path.c_str());
}
BENCHMARK(BM_SaveCommaDelimited)->Unit(benchmark::kMillisecond);

void BM_ClipboardTextBuild(benchmark::State& state) {
  RowListModel& list = FullList();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ClipboardText(RowStoreList(list.Rows())));
  }
}
BENCHMARK(BM_ClipboardTextBuild)->Unit(benchmark::kMillisecond);

// The whole copy: the text, its characters, and the (offscreen) clipboard.
void BM_CopyListToClipboard(benchmark::State& state) {
  RowListModel& list = FullList();
  for (auto _ : state) CopyListToClipboard(list);
  ClearClipboard();
}
BENCHMARK(BM_CopyListToClipboard)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace verdigo

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  verdigo::Source();  // built before any memory is measured
  ::benchmark::Initialize(&argc, argv);
  if (::benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ::benchmark::RunSpecifiedBenchmarks();
  ::benchmark::Shutdown();
  return 0;
}
