#pragma once

#include <functional>

// Whether the window is at work (an extraction run or a save under way), and
// the one gate that every change of a list the user asks for passes while it
// may be: clearing the URL list, removing a row of either list, pasting and
// dropping addresses. A run reads the URL list and a save the results as
// they stand, so these changes wait until the work is done. Adding one
// address, loading a list file or the samples and "Clear Results" stay open
// at any time and do not pass here.
//
// What the mouse pointer shows while the window works is PointerState's
// business; it only hears of the changes.
namespace verdigo {

class BusyGate {
 public:
  // Called whenever the window turns busy or idle.
  void SetOnChange(std::function<void(bool busy)> onChange) { onChange_ = std::move(onChange); }

  bool IsBusy() const { return runUnderWay_ || savesUnderWay_ > 0; }
  // Whether a list may change at the user's request now.
  bool ListsMayChange() const { return !IsBusy(); }

  // Runs `change` when the lists may change; true when it ran.
  template <typename Change>
  bool ChangeList(Change&& change) const {
    if (!ListsMayChange()) return false;
    change();
    return true;
  }

  void BeginRun();
  void EndRun();
  // Saves may overlap: each one ends its own.
  void BeginSave();
  void EndSave();

 private:
  template <typename Change>
  void Update(Change&& change);

  bool runUnderWay_ = false;
  int savesUnderWay_ = 0;
  std::function<void(bool busy)> onChange_;
};

}  // namespace verdigo
