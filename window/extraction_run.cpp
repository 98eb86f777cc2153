#include "window/extraction_run.h"

#include <algorithm>
#include <string>

#include "common/error_report.h"
#include "window/box_reporter.h"
#include "window/busy_gate.h"
#include "window/row_list_model.h"

namespace verdigo {

void ExtractionRun::Start() {
  ErrorTrap trap(ProcedurePath("Form1", "PushButton7_Click"), p_.reporter);
  bool alreadyRunning = false;
  trap.Run(100, [&] { alreadyRunning = running_; });
  if (alreadyRunning) return;
  trap.Run(102, [&] { running_ = true; });
  bool haveEntries = false;
  trap.Run(104, [&] { haveEntries = Entries() >= 1; });
  if (haveEntries) {
    trap.Run(106, [&] { p_.busy.BeginRun(); });
    ProcessEntries(trap);
    // The last rows are on screen before the box, and the hourglass stays
    // until it is closed.
    trap.Run(118, [&] {
      p_.results.FlushPending();
      p_.reporter.Inform("Done.");
    });
    trap.Run(120, [&] { p_.busy.EndRun(); });
  } else {
    trap.Run(122, [&] { p_.reporter.Inform("No URLs added."); });
  }
  trap.Run(124, [&] { running_ = false; });
}

void ExtractionRun::ProcessEntries(ErrorTrap& trap) {
  int n = 0;
  trap.Run(108, [&] { n = Entries(); });  // entries added later wait for the next run
  std::string entry;
  prefetched_ = 0;
  for (int i = 1; i <= n; ++i) {
    trap.Run(110, [&] { p_.yieldNow(); });
    // The list may have been shortened meanwhile: stop at its end.
    if (i > Entries()) break;
    trap.Run(112, [&] { entry = std::string(p_.urls.RowText(i - 1)); });
    if (p_.pagesAhead > 0) PrefetchThrough(std::min(n, i + p_.pagesAhead));
    trap.Run(114, [&] { p_.engine.GetUrls(p_.resultSink, entry, kRunPageFile); });
  }
  p_.engine.CancelPrefetches();
}

int ExtractionRun::Entries() {
  // The run reads what the user sees: every row stored, shown first.
  p_.urls.FlushPending();
  return p_.urls.rowCount();
}

// Starts the downloads of the entries up to number `last` (the one about to
// be handled first), so that they arrive while earlier pages are handled.
void ExtractionRun::PrefetchThrough(int last) {
  last = std::min(last, Entries());
  while (prefetched_ < last) {
    ++prefetched_;
    p_.engine.Prefetch(p_.urls.RowText(prefetched_ - 1), kRunPageFile);
  }
}

}  // namespace verdigo
