#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cli/page_sources.h"
#include "cli/resumable_output.h"
#include "cli/row_writers.h"
#include "engine/extract_links.h"

// What a run of verdigo-extract does before it downloads its first listed
// page: the pages read from files (--page), and, when it carries on an
// interrupted run (-c), the skipping of every page that run has done.
namespace verdigo {

class AddressReader;

class LeadingPages {
 public:
  // What the run lends: its progress line and its record of pages done.
  struct Hooks {
    std::function<void(std::string_view address)> startPage;  // a page handled now
    std::function<void()> skipPage;                           // a page done before
    std::function<void()> wait;                               // while a list has nothing yet
    // After a page's rows are written; false when the run must stop.
    std::function<bool(ResumableOutput::Kind kind, std::string_view address)> pageDone;
  };

  // `journal` is null when nothing is carried on or kept for later.
  LeadingPages(ExtractLinks& engine, PageSources& files, ResumableOutput* journal)
      : engine_(engine), files_(files), journal_(journal) {}

  // The pages from files, then the listed pages done before (read from
  // `addresses`, not fetched). False when the run must stop: `refusal()`
  // then says why the interrupted run cannot be carried on (nothing has been
  // written), or is empty when the rows could not be written.
  bool Run(PageWriter& writer, RowSink& rows, EngineReporter& reporter, AddressReader& addresses,
           const Hooks& hooks);

  // False when a page file could not be read to its end.
  bool allFound() const { return allFound_; }
  const std::string& refusal() const { return refusal_; }

 private:
  bool ReadyToWrite();
  void PrepareAddress(const PageSources::Page& page);
  void Scan(PageSources::Page& page, RowSink& rows, EngineReporter& reporter);
  bool SkipListedPagesDone(AddressReader& addresses, const Hooks& hooks);

  ExtractLinks& engine_;
  PageSources& files_;
  ResumableOutput* journal_;
  bool confirmed_ = false;
  bool allFound_ = true;
  std::string refusal_;
};

}  // namespace verdigo
