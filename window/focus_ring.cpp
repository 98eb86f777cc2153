#include "window/focus_ring.h"

#include <QPainter>
#include <QWidget>

namespace verdigo {

QRect FocusRingAround(const QWidget& control) {
  const int margin = kFocusRingThickness + 1;
  return control.geometry().adjusted(-margin, -margin, margin, margin);
}

void PaintFocusRing(QPainter& painter, const QRect& ring, const QColor& color) {
  const int t = kFocusRingThickness;
  painter.fillRect(QRect(ring.left(), ring.top(), ring.width(), t), color);
  painter.fillRect(QRect(ring.left(), ring.bottom() - t + 1, ring.width(), t), color);
  painter.fillRect(QRect(ring.left(), ring.top(), t, ring.height()), color);
  painter.fillRect(QRect(ring.right() - t + 1, ring.top(), t, ring.height()), color);
}

}  // namespace verdigo
