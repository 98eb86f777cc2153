#pragma once

#include <QColor>
#include <QRect>

class QPainter;
class QWidget;

// A ring around the control that has the keyboard focus, drawn by the window
// on its own surface, in the margin around the control. Styles draw the focus
// of a push button faintly or not at all, and a skin's style sheet may hide
// it; the ring shows it whatever the style.
namespace verdigo {

inline constexpr int kFocusRingThickness = 2;

// The ring's outer edge around `control`, in its parent's coordinates: one
// pixel off the control, so that the ring never covers it.
QRect FocusRingAround(const QWidget& control);

void PaintFocusRing(QPainter& painter, const QRect& ring, const QColor& color);

}  // namespace verdigo
