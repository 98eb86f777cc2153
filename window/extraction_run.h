#pragma once

#include <functional>

#include "engine/extract_links.h"

// The extraction run behind "Start Extracting Links": every address of the
// URL list, in order, through the engine into the results.
namespace verdigo {

class BoxReporter;
class BusyGate;
class RowListModel;

class ExtractionRun {
 public:
  struct Parts {
    RowListModel& urls;
    RowListModel& results;
    RowSink& resultSink;
    ExtractLinks& engine;
    BusyGate& busy;
    BoxReporter& reporter;
    std::function<void()> yieldNow;
    // Pages downloading ahead of the one being handled (0: one at a time).
    int pagesAhead = 0;
  };

  explicit ExtractionRun(Parts parts) : p_(std::move(parts)) {}

  // Handles a press of the button (statements 100 to 124 of the error
  // reports). A press during a run does nothing.
  void Start();

 private:
  void ProcessEntries(class ErrorTrap& trap);
  void PrefetchThrough(int last);
  // The URL list's entries as they stand now, pending rows included.
  int Entries();

  Parts p_;
  bool running_ = false;
  int prefetched_ = 0;  // entries started ahead so far in this run
};

}  // namespace verdigo
