#pragma once

#include <functional>

// The window's mouse pointer: the hourglass while the window is busy (told
// by BusyGate), else what the mouse last moved over.
namespace verdigo {

enum class PointerValue : int { Default = 0, Hourglass = 11, Custom = 99 };

class PointerState {
 public:
  // Called whenever the value changes, to show the matching pointer.
  void SetOnChange(std::function<void(PointerValue)> onChange) { onChange_ = std::move(onChange); }

  PointerValue Value() const { return busy_ ? PointerValue::Hourglass : hover_; }

  // The window turned busy or idle. Once idle the pointer is the default
  // until the mouse moves over something.
  void BusyChanged(bool busy);

  // The mouse moved over one of the push buttons.
  void MouseOverButton() { SetHover(PointerValue::Custom); }
  // The mouse moved over the window's own surface or one of the lists.
  void MouseOverSurface() { SetHover(PointerValue::Default); }

 private:
  void SetHover(PointerValue value);
  template <typename Change>
  void Update(Change&& change);

  bool busy_ = false;
  PointerValue hover_ = PointerValue::Default;
  std::function<void(PointerValue)> onChange_;
};

}  // namespace verdigo
