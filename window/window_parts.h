#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "window/home_page.h"

// The objects behind the main window, built in one place: the program's
// main builds them with WindowSetup::ForProgram(), a test with fakes, and
// the window (Form1) only wires its widgets to them.
namespace verdigo {

class AppTitle;
class BoxReporter;
class BusyGate;
class CurlDownloader;
class Dialogs;
class Downloader;
class EventPump;
class ExtractLinks;
class ExtractionRun;
class ModelRowSink;
class PointerState;
class QtDialogs;
class ResultsActions;
class RowListModel;
class SkinEngine;
class StyleSheetSkin;
class UrlListActions;

// What the window uses of the world outside it. An empty hook does nothing.
struct WindowSetup {
  // Null: Qt's own boxes.
  Dialogs* dialogs = nullptr;
  // Null: the program's own, style sheets.
  SkinEngine* skin = nullptr;
  // Where the hover cursor and the skin file are looked for.
  std::string programFolder;
  // Warns when the computer is offline; yields while it waits.
  std::function<void(const std::function<void(const std::string&)>& warn,
                     const std::function<void()>& yield)>
      checkOnline;
  HomePageHooks homePage;
  // Fetches pages; null: libcurl, on a thread of its own.
  Downloader* downloader = nullptr;
  // Pages downloading ahead of the one being handled during a run; empty:
  // twice the downloads libcurl runs at once.
  std::optional<int> pagesAhead;
  // Ends the program when the window is closed; empty: the window just closes.
  std::function<void()> endProgram;

  static WindowSetup ForProgram();
};

class WindowParts {
 public:
  explicit WindowParts(WindowSetup setup);
  ~WindowParts();
  WindowParts(const WindowParts&) = delete;
  WindowParts& operator=(const WindowParts&) = delete;

  WindowSetup setup;
  // Set when the setup names no boxes; the window makes them block its input.
  std::unique_ptr<QtDialogs> qtDialogs;
  // Every box of the window: the given or Qt's, each after the rows the
  // lists hold are drawn.
  std::unique_ptr<Dialogs> drawnFirst;
  Dialogs* dialogs = nullptr;
  // Draws the window now; set by the window while it stands.
  std::function<void()> drawWindow;
  std::unique_ptr<AppTitle> title;
  std::unique_ptr<BusyGate> busy;
  std::unique_ptr<PointerState> pointer;
  std::unique_ptr<StyleSheetSkin> ownSkin;
  SkinEngine* skin = nullptr;  // SkinFramework1
  std::unique_ptr<BoxReporter> reporter;
  std::unique_ptr<EventPump> pump;
  std::unique_ptr<CurlDownloader> ownDownloader;
  Downloader* downloader = nullptr;
  std::unique_ptr<ExtractLinks> engine;
  std::unique_ptr<RowListModel> urls;
  std::unique_ptr<RowListModel> results;
  std::unique_ptr<ModelRowSink> resultSink;
  std::unique_ptr<ExtractionRun> run;
  std::unique_ptr<UrlListActions> urlActions;
  std::unique_ptr<ResultsActions> resultActions;

 private:
  void DrawAllRows();
};

}  // namespace verdigo
