#include "window/form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEnterEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <cmath>
#include <memory>
#include <utility>

#include "common/error_report.h"
#include "common/file_routines.h"
#include "common/product.h"
#include "common/temp_folder.h"
#include "window/app_title.h"
#include "window/box_reporter.h"
#include "window/busy_gate.h"
#include "window/event_pump.h"
#include "window/extraction_run.h"
#include "window/focus_ring.h"
#include "window/hover_cursor.h"
#include "window/pointer_state.h"
#include "window/program_icon.h"
#include "window/qt_dialogs.h"
#include "window/qt_text.h"
#include "window/results_actions.h"
#include "window/row_list_model.h"
#include "window/row_removal.h"
#include "window/screen_reader_texts.h"
#include "window/skin_engine.h"
#include "window/url_list_actions.h"
#include "window/window_parts.h"

namespace verdigo {

namespace {
constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 7920;
constexpr int kListLeft = 120;
constexpr int kListWidth = 7800;
constexpr int kListHeight = 2535;
constexpr int kButtonHeight = 405;
constexpr int kHalfWidth = 3840;
constexpr int kLeftColumn = 120;
constexpr int kRightColumn = 4080;
constexpr int kColumnWidth = 7000;
constexpr char kListTip[] =
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.";

QFont ArialBold(qreal points) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

std::vector<int> SelectedRows(const QTreeView& view) {
  std::vector<int> rows;
  if (const QItemSelectionModel* selection = view.selectionModel()) {
    for (const QModelIndex& index : selection->selectedRows()) rows.push_back(index.row());
  }
  return rows;
}

bool IsMenuKey(const QKeyEvent& key) {
  return key.key() == Qt::Key_Menu ||
         (key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier);
}
}  // namespace

int TwipsToPixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

Form1::Form1(WindowParts& parts, QWidget* parent) : QWidget(parent), parts_(parts) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
  setFont(ArialBold(9));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);
  CreateControls();
  CreateContextMenus();
  DescribeControlsForScreenReaders(*this);
  WatchPointer();
  focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                        [this](QWidget*, QWidget* now) { ShowFocus(now); });
  parts_.pointer->SetOnChange([this](PointerValue value) { ShowPointer(value); });
  if (parts_.qtDialogs) parts_.qtDialogs->SetParent(this);
  parts_.drawWindow = [this] { DrawNow(); };
}

Form1::~Form1() {
  // The controls are deleted after this, and the focus moves as they go.
  disconnect(focusWatch_);
  parts_.drawWindow = {};
  parts_.pointer->SetOnChange({});
}

void Form1::DrawNow() {
  if (!isVisible()) return;
  // The lists lay out the rows they were told of later, on a timer.
  for (QTreeView* list : {listView1_, listView2_}) list->doItemsLayout();
  repaint();
}

void Form1::CreateControls() {
  // In the order of creation, which is also the tab order.
  listView1_ = CreateList("ListView1", parts_.urls.get(), 120);
  listView2_ = CreateList("ListView2", parts_.results.get(), 4280);
  pushButton5_ = CreateButton("PushButton5", QStringLiteral("Add URL"), kLeftColumn, 2750,
                              kHalfWidth, &Form1::PushButton5_Click);
  pushButton13_ = CreateButton("PushButton13", QStringLiteral("Load List From Text File"),
                               kRightColumn, 2750, kHalfWidth, &Form1::PushButton13_Click);
  pushButton11_ = CreateButton("PushButton11", QStringLiteral("Clear List"), kLeftColumn, 3260,
                               kHalfWidth, &Form1::PushButton11_Click);
  pushButton7_ = CreateButton("PushButton7", QStringLiteral("Start Extracting Links"), kLeftColumn,
                              3770, kListWidth, &Form1::PushButton7_Click);
  pushButton6_ = CreateButton("PushButton6", QStringLiteral("Save Results As Text File"),
                              kLeftColumn, 6900, kHalfWidth, &Form1::PushButton6_Click);
  pushButton1_ = CreateButton("PushButton1", QStringLiteral("Save As Comma Delimited"),
                              kRightColumn, 6900, kHalfWidth, &Form1::PushButton1_Click);
  pushButton9_ = CreateButton("PushButton9", QStringLiteral("Clear Results"), kRightColumn, 7410,
                              kHalfWidth, &Form1::PushButton9_Click);
  pushButton2_ = CreateButton("PushButton2", QStringLiteral("Copy Results To Clipboard"),
                              kLeftColumn, 7410, kHalfWidth, &Form1::PushButton2_Click);
  pushButton3_ = CreateButton("PushButton3", QStringLiteral("Load Sample/Example Files"),
                              kRightColumn, 3260, kHalfWidth, &Form1::PushButton3_Click);
  QWidget* order[] = {listView1_,    listView2_,   pushButton5_, pushButton13_,
                      pushButton11_, pushButton7_, pushButton6_, pushButton1_,
                      pushButton9_,  pushButton2_, pushButton3_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

QTreeView* Form1::CreateList(const char* name, RowListModel* model, int top) {
  auto* list = new QTreeView(this);
  list->setObjectName(QStringFromCodePage(name));
  list->setGeometry(TwipsToPixels(kListLeft), TwipsToPixels(top), TwipsToPixels(kListWidth),
                    TwipsToPixels(kListHeight));
  list->setFont(ArialBold(9));
  list->setToolTip(QStringFromCodePage(kListTip));
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->setModel(model);
  // One column that keeps its width; the user drags its divider to widen it.
  list->header()->setStretchLastSection(false);
  list->header()->setSectionResizeMode(QHeaderView::Interactive);
  list->header()->setSectionsMovable(false);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  return list;
}

QPushButton* Form1::CreateButton(const char* name, const QString& caption, int left, int top,
                                 int width, void (Form1::*onClick)()) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QStringFromCodePage(name));
  button->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                      TwipsToPixels(kButtonHeight));
  button->setFont(ArialBold(11.25));
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, [this, onClick] { (this->*onClick)(); });
  return button;
}

void Form1::Form_Load() {
  ErrorTrap trap(ProcedurePath("Form1", "Form_Load"), *parts_.reporter);
  trap.Run(100, [&] { ApplySkin(*this, *parts_.skin, parts_.setup.programFolder); });
  trap.Run(102, [&] {
    if (!parts_.setup.checkOnline) return;
    parts_.setup.checkOnline([this](const std::string& text) { parts_.reporter->Inform(text); },
                             [this] { parts_.pump->YieldSometimes(); });
  });
  LoadHoverCursor();
  trap.Run(110, [&] {
    if (parts_.setup.homePage.draw) ShowHomePageSometimes(parts_.setup.homePage);
  });
  trap.Run(128, [&] { setWindowTitle(QStringFromCodePage(kDisplayName)); });
  trap.Run(128, [&] { setWindowIcon(ProgramIcon()); });
  trap.Run(128, [&] { parts_.title->SetAppTitle(); });
  trap.Run(130, [&] { parts_.urls->SetHeader(QStringLiteral("URL(s)")); });
  trap.Run(132, [&] { listView1_->header()->resizeSection(0, TwipsToPixels(kColumnWidth)); });
  trap.Run(134, [&] { parts_.results->SetHeader(QStringLiteral("Result(s)")); });
  trap.Run(136, [&] { listView2_->header()->resizeSection(0, TwipsToPixels(kColumnWidth)); });
}

void Form1::LoadHoverCursor() {
  ErrorTrap trap(ProcedurePath("Form1", "Form_Load"), *parts_.reporter);
  const std::string path = HoverCursorPath(parts_.setup.programFolder);
  bool present = false;
  trap.Run(106, [&] { present = FileExists(path); });
  if (!present) return;
  trap.Run(108, [&] {
    hoverCursor_ = LoadCursorFile(path);
    hasHoverCursor_ = true;
  });
}

void Form1::PushButton7_Click() { parts_.run->Start(); }

// The lists' buttons and gestures.
void Form1::PushButton5_Click() { parts_.urlActions->AddUrl(); }
void Form1::PushButton13_Click() { parts_.urlActions->LoadListFiles(); }
void Form1::PushButton11_Click() { parts_.urlActions->ClearList(); }
void Form1::PushButton3_Click() { parts_.urlActions->LoadSamples(); }
void Form1::PushButton6_Click() { parts_.resultActions->SaveAsTextFile(); }
void Form1::PushButton1_Click() { parts_.resultActions->SaveAsCommaDelimited(); }
void Form1::PushButton9_Click() { parts_.resultActions->ClearResults(); }
void Form1::PushButton2_Click() { parts_.resultActions->CopyToClipboard(); }

void Form1::ListView1_KeyDown(int key, Qt::KeyboardModifiers) {
  if (IsRemoveKey(key)) RemoveSelectedRow(*listView1_, *parts_.urls, *parts_.busy);
}

void Form1::ListView1_DblClick() { RemoveSelectedRow(*listView1_, *parts_.urls, *parts_.busy); }

void Form1::ListView2_KeyDown(int key, Qt::KeyboardModifiers) {
  if (IsRemoveKey(key)) RemoveSelectedRow(*listView2_, *parts_.results, *parts_.busy);
}

void Form1::ListView2_DblClick() { RemoveSelectedRow(*listView2_, *parts_.results, *parts_.busy); }

// The context menus and the keys and drops that go with them.

void Form1::mnuPaste_Click() { parts_.urlActions->PasteFromClipboard(); }

void Form1::mnuOpenLink_Click() {
  const std::vector<int> rows = SelectedRows(*listView2_);
  if (!rows.empty()) parts_.resultActions->OpenLink(rows.front());
}

void Form1::mnuCopy_Click() { parts_.resultActions->CopyRows(SelectedRows(*listView2_)); }

void Form1::CreateContextMenus() {
  urlListMenu_ = new QMenu(this);
  urlListMenu_->setObjectName(QStringLiteral("UrlListMenu"));
  AddMenuItem(urlListMenu_, "mnuPaste", QStringLiteral("Paste"), QKeySequence::Paste,
              &Form1::mnuPaste_Click);
  resultsMenu_ = new QMenu(this);
  resultsMenu_->setObjectName(QStringLiteral("ResultsMenu"));
  AddMenuItem(resultsMenu_, "mnuOpenLink", QStringLiteral("Open Link"), QKeySequence::UnknownKey,
              &Form1::mnuOpenLink_Click);
  AddMenuItem(resultsMenu_, "mnuCopy", QStringLiteral("Copy"), QKeySequence::Copy,
              &Form1::mnuCopy_Click);
  connect(listView1_, &QWidget::customContextMenuRequested, this, &Form1::ShowUrlListMenu);
  connect(listView2_, &QWidget::customContextMenuRequested, this, &Form1::ShowResultsMenu);
  listView1_->viewport()->setAcceptDrops(true);
}

void Form1::AddMenuItem(QMenu* menu, const char* name, const QString& text,
                        QKeySequence::StandardKey key, void (Form1::*onClick)()) {
  // The key is only shown beside the text: the list itself handles it
  // (HandleListGesture), whether the menu was ever opened or not.
  const QString keyText = QKeySequence(key).toString(QKeySequence::NativeText);
  QAction* action = menu->addAction(keyText.isEmpty() ? text : text + u'\t' + keyText);
  action->setObjectName(QStringFromCodePage(name));
  connect(action, &QAction::triggered, this, [this, onClick] { (this->*onClick)(); });
}

void Form1::ShowUrlListMenu(const QPoint& at) {
  urlListMenu_->actions().first()->setEnabled(parts_.urlActions->CanAddMany());
  urlListMenu_->popup(listView1_->viewport()->mapToGlobal(at));
}

void Form1::ShowResultsMenu(const QPoint& at) {
  const bool selected = !SelectedRows(*listView2_).empty();
  for (QAction* action : resultsMenu_->actions()) action->setEnabled(selected);
  resultsMenu_->popup(listView2_->viewport()->mapToGlobal(at));
}

void Form1::WatchPointer() {
  // Every part of the window reports mouse movement, lists down to their
  // headers and scroll bars, so the pointer follows the mouse everywhere.
  setMouseTracking(true);
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) {
    child->setMouseTracking(true);
    child->installEventFilter(this);
  }
}

void Form1::ShowPointer(PointerValue value) {
  switch (value) {
    case PointerValue::Hourglass:
      setCursor(Qt::WaitCursor);
      break;
    case PointerValue::Custom:
      setCursor(hasHoverCursor_ ? hoverCursor_ : QCursor(Qt::ArrowCursor));
      break;
    case PointerValue::Default:
      unsetCursor();
      break;
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::Enter || type == QEvent::MouseMove) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (qobject_cast<QPushButton*>(widget)) {
      parts_.pointer->MouseOverButton();
    } else if (widget == this) {
      // Movement that a button passed up belongs to the button.
      const QPointF at = type == QEvent::Enter ? static_cast<QEnterEvent*>(event)->position()
                                               : static_cast<QMouseEvent*>(event)->position();
      if (childAt(at.toPoint()) == nullptr) parts_.pointer->MouseOverSurface();
    } else if (widget != nullptr) {
      parts_.pointer->MouseOverSurface();  // a list or one of its parts
    }
  }
  if (HandleButtonKey(watched, event) || HandleListGesture(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

// Enter and the keypad's Enter press a focused button, as Space does (the
// buttons are no default buttons, which Qt lets Enter press).
bool Form1::HandleButtonKey(QObject* watched, QEvent* event) {
  auto* button = qobject_cast<QPushButton*>(watched);
  if (event->type() != QEvent::KeyPress || button == nullptr || button->parentWidget() != this) {
    return false;
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  if (!key->isAutoRepeat() && button->isEnabled()) button->click();
  return true;
}

// Shift+F10 opens the menu at once. Some platforms (X11) turn the Menu key
// into a menu request of their own, just after the key: the key's own menu
// waits for that moment and is left to the platform when its request came.
void Form1::HandleMenuKey(QTreeView& list, int key) {
  if (key != Qt::Key_Menu) {
    OpenContextMenuFromKeys(list);
    return;
  }
  menuKeyList_ = &list;
  QTimer::singleShot(0, this, [this] {
    if (QTreeView* waiting = std::exchange(menuKeyList_, nullptr))
      OpenContextMenuFromKeys(*waiting);
  });
}

// The Menu key and Shift+F10 open a list's context menu, at its current row,
// by the way the mouse opens it.
void Form1::OpenContextMenuFromKeys(QTreeView& list) {
  QWidget* viewport = list.viewport();
  const QRect row = list.visualRect(list.currentIndex());
  const QPoint at = row.isValid() ? viewport->rect().intersected(row).bottomLeft() : QPoint(2, 2);
  QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport->mapToGlobal(at));
  QCoreApplication::sendEvent(viewport, &menu);
}

bool Form1::HandleListGesture(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((watched == listView1_ || watched == listView2_) && IsMenuKey(*key)) {
      HandleMenuKey(*static_cast<QTreeView*>(watched), key->key());
      return true;
    }
    if (watched == listView1_ && key->matches(QKeySequence::Paste)) {
      mnuPaste_Click();
      return true;
    }
    if (watched == listView2_ && key->matches(QKeySequence::Copy)) {
      mnuCopy_Click();
      return true;
    }
    if (watched == listView1_) ListView1_KeyDown(key->key(), key->modifiers());
    if (watched == listView2_) ListView2_KeyDown(key->key(), key->modifiers());
  } else if (event->type() == QEvent::ContextMenu &&
             static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
    menuKeyList_ = nullptr;  // the platform turned the Menu key into the menu itself
  } else if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == listView1_->viewport()) ListView1_DblClick();
    if (watched == listView2_->viewport()) ListView2_DblClick();
  } else if (watched == listView1_->viewport()) {
    return HandleDrop(event);
  }
  return false;
}

bool Form1::HandleDrop(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  // Always a copy: a file manager that is told "moved" deletes the file.
  if (!(drop->possibleActions() & Qt::CopyAction) ||
      !parts_.urlActions->AcceptsDrop(*drop->mimeData())) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  if (type == QEvent::Drop) {
    // Loaded once the drop is over: a box it shows ("File not found") must
    // not keep the program the drag came from waiting for the drop's end.
    auto dropped = std::make_shared<QMimeData>();
    if (drop->mimeData()->hasUrls()) dropped->setUrls(drop->mimeData()->urls());
    if (drop->mimeData()->hasText()) dropped->setText(drop->mimeData()->text());
    QTimer::singleShot(0, this, [this, dropped] { parts_.urlActions->Drop(*dropped); });
  }
  return true;
}

QRect Form1::FocusRing() const {
  return focusShown_ != nullptr && focusShown_->isVisible() ? FocusRingAround(*focusShown_)
                                                            : QRect();
}

void Form1::ShowFocus(QWidget* now) {
  update(FocusRing());
  // Only the window's own controls, which stand directly on it (its menus
  // and boxes are windows of their own).
  const bool control = now != nullptr && !now->isWindow() && now->parentWidget() == this;
  focusShown_ = control ? now : nullptr;
  update(FocusRing());
}

void Form1::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  const QRect ring = FocusRing();
  if (ring.isNull()) return;
  QPainter painter(this);
  PaintFocusRing(painter, ring, palette().color(QPalette::Active, QPalette::Highlight));
}

void Form1::showEvent(QShowEvent* event) {
  if (!placed_) {
    placed_ = true;
    // The frame counts where the platform already knows it.
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
  }
  QWidget::showEvent(event);
}

void Form1::closeEvent(QCloseEvent* event) {
  // Ends the program at once, whatever is under way: nothing is saved.
  if (parts_.setup.endProgram) parts_.setup.endProgram();
  RemovePrivateTempFolder();
  event->accept();
}

}  // namespace verdigo
