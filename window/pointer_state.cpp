#include "window/pointer_state.h"

namespace verdigo {

template <typename Change>
void PointerState::Update(Change&& change) {
  const PointerValue before = Value();
  change();
  if (Value() != before && onChange_) onChange_(Value());
}

void PointerState::BeginRun() {
  Update([&] { runUnderWay_ = true; });
}

void PointerState::EndRun() {
  Update([&] {
    runUnderWay_ = false;
    BusyEnded();
  });
}

void PointerState::BeginSave() {
  Update([&] { ++savesUnderWay_; });
}

void PointerState::EndSave() {
  Update([&] {
    if (savesUnderWay_ > 0) --savesUnderWay_;
    BusyEnded();
  });
}

void PointerState::SetHover(PointerValue value) {
  // A busy window keeps its hourglass.
  if (IsBusy()) return;
  Update([&] { hover_ = value; });
}

void PointerState::BusyEnded() {
  if (!IsBusy()) hover_ = PointerValue::Default;
}

}  // namespace verdigo
