#pragma once

#include <functional>

// The window's mouse pointer and busy state. The pointer shows the hourglass
// while a run or a save is under way; whether the window is busy is kept as
// state of its own, so that a save that ends during a run does not make the
// window look idle to the handlers that must not act while it works.
namespace verdigo {

enum class PointerValue : int { Default = 0, Hourglass = 11, Custom = 99 };

class PointerState {
 public:
  // Called whenever the value changes, to show the matching pointer.
  void SetOnChange(std::function<void(PointerValue)> onChange) { onChange_ = std::move(onChange); }

  PointerValue Value() const { return IsBusy() ? PointerValue::Hourglass : hover_; }
  bool IsBusy() const { return runUnderWay_ || savesUnderWay_ > 0; }

  void BeginRun();
  void EndRun();
  void BeginSave();
  void EndSave();

  // The mouse moved over one of the push buttons.
  void MouseOverButton() { SetHover(PointerValue::Custom); }
  // The mouse moved over the window's own surface or one of the lists.
  void MouseOverSurface() { SetHover(PointerValue::Default); }

 private:
  void SetHover(PointerValue value);
  // A busy operation ended: the pointer returns to the default.
  void BusyEnded();
  template <typename Change>
  void Update(Change&& change);

  bool runUnderWay_ = false;
  int savesUnderWay_ = 0;
  PointerValue hover_ = PointerValue::Default;
  std::function<void(PointerValue)> onChange_;
};

}  // namespace verdigo
