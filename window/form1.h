#pragma once

#include <QCursor>
#include <QKeySequence>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "console/cmd_output.h"
#include "engine/curl_downloader.h"
#include "engine/extract_links.h"
#include "window/app_title.h"
#include "window/box_reporter.h"
#include "window/dialogs.h"
#include "window/event_pump.h"
#include "window/extraction_run.h"
#include "window/home_page.h"
#include "window/pointer_state.h"
#include "window/results_actions.h"
#include "window/row_list_model.h"
#include "window/skin_engine.h"
#include "window/url_list_actions.h"

class QAction;
class QMenu;
class QPushButton;
class QTreeView;

namespace verdigo {

// What the window uses of the world outside it. The program passes
// Form1Setup::ForProgram(); tests pass fakes. An empty hook does nothing.
struct Form1Setup {
  // Null: Qt's own boxes.
  Dialogs* dialogs = nullptr;
  // Where the hover cursor and the skin file are looked for.
  std::string programFolder;
  std::function<void(const WarnFn& warn, const YieldFn& yield)> checkOnline;
  HomePageHooks homePage;
  // Fetches pages; null: libcurl, on a thread of its own.
  Downloader* downloader = nullptr;
  // Pages downloading ahead of the one being handled during a run.
  int pagesAhead = 2 * DownloadSettings{}.jobs;
  // Ends the program when the window is closed; empty: the window just closes.
  std::function<void()> endProgram;

  static Form1Setup ForProgram();
};

// The main window.
class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(Form1Setup setup, QWidget* parent = nullptr);
  ~Form1() override;

  // Start-up, before the window is shown (statements 100 to 136).
  void Form_Load();

  // The extraction run.
  void PushButton7_Click();

  // The URL list and the results.
  void PushButton5_Click();
  void PushButton13_Click();
  void PushButton11_Click();
  void PushButton3_Click();
  void PushButton6_Click();
  void PushButton1_Click();
  void PushButton9_Click();
  void PushButton2_Click();
  void ListView1_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  void ListView1_DblClick();
  void ListView2_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  void ListView2_DblClick();

  // The lists' context menus, Ctrl+V on the URL list and drops on it.
  void mnuPaste_Click();
  void mnuOpenLink_Click();
  void mnuCopy_Click();

  // A run or a save is under way: clearing and removing must wait.
  bool IsBusy() const { return pointer_.IsBusy(); }
  PointerState& Pointer() { return pointer_; }
  const AppTitle& Title() const { return title_; }
  const SkinEngine& Skin() const { return skin_; }
  RowListModel& UrlList() { return *urlList_; }
  RowListModel& ResultList() { return *resultList_; }
  bool HasHoverCursor() const { return hasHoverCursor_; }
  const QCursor& HoverCursor() const { return hoverCursor_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  QTreeView* CreateList(const char* name, RowListModel* model, int top);
  QPushButton* CreateButton(const char* name, const QString& caption, int left, int top, int width,
                            void (Form1::*onClick)());
  void WatchPointer();
  void LoadHoverCursor();
  void ShowPointer(PointerValue value);
  // True when the event was used up.
  bool HandleListGesture(QObject* watched, QEvent* event);
  bool HandleDrop(QEvent* event);
  void CreateContextMenus();
  void AddMenuItem(QMenu* menu, const char* name, const QString& text,
                   QKeySequence::StandardKey key, void (Form1::*onClick)());
  void ShowUrlListMenu(const QPoint& at);
  void ShowResultsMenu(const QPoint& at);

  Form1Setup setup_;
  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs& dialogs_;
  AppTitle title_;
  PointerState pointer_;
  SkinEngine skin_;  // SkinFramework1
  BoxReporter reporter_;
  EventPump pump_;
  std::unique_ptr<CurlDownloader> curl_;
  Downloader& download_;
  ExtractLinks engine_;
  RowListModel* urlList_;
  RowListModel* resultList_;
  ModelRowSink resultSink_;
  ExtractionRun run_;
  UrlListActions urlActions_;
  ResultsActions resultActions_;
  QCursor hoverCursor_;
  bool hasHoverCursor_ = false;
  bool placed_ = false;

  QTreeView* listView1_ = nullptr;
  QTreeView* listView2_ = nullptr;
  QPushButton* pushButton5_ = nullptr;
  QPushButton* pushButton13_ = nullptr;
  QPushButton* pushButton11_ = nullptr;
  QPushButton* pushButton7_ = nullptr;
  QPushButton* pushButton6_ = nullptr;
  QPushButton* pushButton1_ = nullptr;
  QPushButton* pushButton9_ = nullptr;
  QPushButton* pushButton2_ = nullptr;
  QPushButton* pushButton3_ = nullptr;
  QMenu* urlListMenu_ = nullptr;
  QMenu* resultsMenu_ = nullptr;
};

// Layout positions are given in twips, 15 to a pixel.
int TwipsToPixels(int twips);

}  // namespace verdigo
