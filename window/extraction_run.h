#pragma once

#include <functional>

#include "engine/extract_links.h"

// The extraction run behind "Start Extracting Links": every address of the
// URL list, in order, through the engine into the results.
namespace verdigo {

class BoxReporter;
class PointerState;
class RowListModel;

class ExtractionRun {
 public:
  struct Parts {
    RowListModel& urls;
    RowListModel& results;
    RowSink& resultSink;
    ExtractLinks& engine;
    PointerState& pointer;
    BoxReporter& reporter;
    std::function<void()> yieldNow;
  };

  explicit ExtractionRun(Parts parts) : p_(std::move(parts)) {}

  // Handles a press of the button (statements 100 to 124 of the error
  // reports). A press during a run does nothing.
  void Start();
  bool Running() const { return running_; }

 private:
  void ProcessEntries(class ErrorTrap& trap);

  Parts p_;
  bool running_ = false;
};

}  // namespace verdigo
