#pragma once

#include <QCursor>
#include <QKeySequence>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QMenu;
class QPushButton;
class QTreeView;

namespace verdigo {

class RowListModel;
class WindowParts;
enum class PointerValue : int;

// The main window: its widgets, wired to the parts that do the work. The
// parts must outlive the window.
class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(WindowParts& parts, QWidget* parent = nullptr);
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

  // Where the ring around the focused control stands; null when no control
  // of the window has the focus.
  QRect FocusRing() const;

  bool HasHoverCursor() const { return hasHoverCursor_; }
  const QCursor& HoverCursor() const { return hoverCursor_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Lays out and draws the whole window now, without the event loop.
  void DrawNow();
  void ShowFocus(QWidget* now);
  void CreateControls();
  QTreeView* CreateList(const char* name, RowListModel* model, int top);
  QPushButton* CreateButton(const char* name, const QString& caption, int left, int top, int width,
                            void (Form1::*onClick)());
  void WatchPointer();
  void LoadHoverCursor();
  void ShowPointer(PointerValue value);
  // True when the event was used up.
  bool HandleButtonKey(QObject* watched, QEvent* event);
  bool HandleListGesture(QObject* watched, QEvent* event);
  void HandleMenuKey(QTreeView& list, int key);
  void OpenContextMenuFromKeys(QTreeView& list);
  bool HandleDrop(QEvent* event);
  void CreateContextMenus();
  void AddMenuItem(QMenu* menu, const char* name, const QString& text,
                   QKeySequence::StandardKey key, void (Form1::*onClick)());
  void ShowUrlListMenu(const QPoint& at);
  void ShowResultsMenu(const QPoint& at);

  WindowParts& parts_;
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
  QPointer<QWidget> focusShown_;
  QMetaObject::Connection focusWatch_;
  QTreeView* menuKeyList_ = nullptr;  // the Menu key's list, until its menu opens
  QMenu* urlListMenu_ = nullptr;
  QMenu* resultsMenu_ = nullptr;
};

// Layout positions are given in twips, 15 to a pixel.
int TwipsToPixels(int twips);

}  // namespace verdigo
