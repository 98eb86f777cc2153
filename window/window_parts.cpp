#include "window/window_parts.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "common/open_file_limit.h"
#include "common/product.h"
#include "common/temp_folder.h"
#include "console/cmd_output.h"
#include "engine/curl_downloader.h"
#include "engine/extract_links.h"
#include "window/app_title.h"
#include "window/box_reporter.h"
#include "window/busy_gate.h"
#include "window/drawn_first_dialogs.h"
#include "window/event_pump.h"
#include "window/extraction_run.h"
#include "window/pointer_state.h"
#include "window/qt_dialogs.h"
#include "window/results_actions.h"
#include "window/row_list_model.h"
#include "window/skin_engine.h"
#include "window/url_list_actions.h"

namespace verdigo {

namespace {

// The part the setup gives, or else one of the program's own, kept in `own`.
template <typename Part, typename Own>
Part* GivenOrOwn(Part* given, std::unique_ptr<Own>& own) {
  if (given != nullptr) return given;
  own = std::make_unique<Own>();
  return own.get();
}

// The defaults, with no more downloads at once than the descriptors carry.
DownloadSettings WindowDownloadSettings() {
  DownloadSettings settings;
  settings.jobs = JobsThatFitOpenFiles(settings.jobs);
  return settings;
}

[[noreturn]] void EndProgramNow() {
  RemovePrivateTempFolder();
  std::fflush(nullptr);
  std::_Exit(0);
}
}  // namespace

WindowSetup WindowSetup::ForProgram() {
  WindowSetup setup;
  setup.programFolder = QCoreApplication::applicationDirPath().toStdString();
  setup.checkOnline = CheckOnline;
  setup.homePage = DefaultHomePageHooks();
  setup.endProgram = EndProgramNow;
  return setup;
}

// Each part is built after every part it keeps a reference to.
WindowParts::WindowParts(WindowSetup windowSetup) : setup(std::move(windowSetup)) {
  drawnFirst = std::make_unique<DrawnFirstDialogs>(*GivenOrOwn(setup.dialogs, qtDialogs),
                                                   [this] { DrawAllRows(); });
  dialogs = drawnFirst.get();
  title = std::make_unique<AppTitle>(kDisplayName);
  busy = std::make_unique<BusyGate>();
  pointer = std::make_unique<PointerState>();
  busy->SetOnChange([this](bool nowBusy) { pointer->BusyChanged(nowBusy); });
  skin = GivenOrOwn(setup.skin, ownSkin);
  reporter = std::make_unique<BoxReporter>(*dialogs, *title);
  pump = std::make_unique<EventPump>();
  const DownloadSettings downloads = WindowDownloadSettings();
  if (setup.downloader == nullptr) ownDownloader = std::make_unique<CurlDownloader>(downloads);
  downloader = setup.downloader != nullptr ? setup.downloader : ownDownloader.get();
  engine =
      std::make_unique<ExtractLinks>(*downloader, *reporter, [this] { pump->YieldSometimes(); });
  urls = std::make_unique<RowListModel>(false);
  results = std::make_unique<RowListModel>(true);
  resultSink = std::make_unique<ModelRowSink>(*results);
  run = std::make_unique<ExtractionRun>(ExtractionRun::Parts{
      *urls, *results, *resultSink, *engine, *busy, *reporter, [this] { pump->YieldNow(); },
      setup.pagesAhead.value_or(2 * downloads.jobs)});
  urlActions = std::make_unique<UrlListActions>(
      UrlListActions::Parts{*urls, *dialogs, *title, *reporter, *busy});
  resultActions = std::make_unique<ResultsActions>(
      ResultsActions::Parts{*results, *dialogs, *title, *reporter, *busy, setup.homePage.open});
}

void WindowParts::DrawAllRows() {
  for (RowListModel* list : {urls.get(), results.get()}) {
    if (list != nullptr) list->FlushPending();
  }
  if (drawWindow) drawWindow();
}

// In the reverse order of building: no part outlives one it refers to.
WindowParts::~WindowParts() {
  resultActions.reset();
  urlActions.reset();
  run.reset();
  resultSink.reset();
  results.reset();
  urls.reset();
  engine.reset();
  ownDownloader.reset();
  pump.reset();
  reporter.reset();
  ownSkin.reset();
  pointer.reset();
  busy.reset();
  title.reset();
  drawnFirst.reset();
  qtDialogs.reset();
}

}  // namespace verdigo
