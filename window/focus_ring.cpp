#include "window/focus_ring.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QRegion>

namespace verdigo {

FocusRing::FocusRing(QWidget& window) : QWidget(&window), window_(window) {
  setObjectName(QStringLiteral("FocusRing"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { FocusMoved(now); });
}

void FocusRing::FocusMoved(QWidget* now) {
  if (target_ != nullptr) target_->removeEventFilter(this);
  // Only the window's own controls, which stand directly on it (its menus
  // are windows of their own).
  const bool control =
      now != nullptr && now != this && !now->isWindow() && now->parentWidget() == &window_;
  target_ = control ? now : nullptr;
  if (target_ == nullptr) {
    hide();
    return;
  }
  target_->installEventFilter(this);
  Follow();
}

void FocusRing::Follow() {
  const QRect ring = target_->geometry().adjusted(-kThickness - 1, -kThickness - 1, kThickness + 1,
                                                  kThickness + 1);
  setGeometry(ring);
  const QRect inside(0, 0, ring.width(), ring.height());
  setMask(QRegion(inside).subtracted(
      QRegion(inside.adjusted(kThickness, kThickness, -kThickness, -kThickness))));
  setVisible(target_->isVisible());
  raise();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == target_ && (type == QEvent::Move || type == QEvent::Resize ||
                             type == QEvent::Show || type == QEvent::Hide)) {
    Follow();
  }
  return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}

}  // namespace verdigo
