#pragma once

#include <QPointer>
#include <QWidget>

// A ring around the control that has the keyboard focus. Styles draw the
// focus of a push button faintly or not at all, and a skin's style sheet may
// hide it; the ring shows it whatever the style.
namespace verdigo {

class FocusRing : public QWidget {
 public:
  static constexpr int kThickness = 2;

  // Follows the focus among the controls of `window`, drawn above them.
  explicit FocusRing(QWidget& window);

  // The control the ring is drawn around; null when none is.
  QWidget* Target() const { return isVisible() ? target_.data() : nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FocusMoved(QWidget* now);
  void Follow();

  QWidget& window_;
  QPointer<QWidget> target_;
};

}  // namespace verdigo
