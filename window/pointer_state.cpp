#include "window/pointer_state.h"

namespace verdigo {

template <typename Change>
void PointerState::Update(Change&& change) {
  const PointerValue before = Value();
  change();
  if (Value() != before && onChange_) onChange_(Value());
}

void PointerState::BusyChanged(bool busy) {
  Update([&] {
    busy_ = busy;
    if (!busy) hover_ = PointerValue::Default;
  });
}

void PointerState::SetHover(PointerValue value) {
  // A busy window keeps its hourglass.
  if (busy_) return;
  Update([&] { hover_ = value; });
}

}  // namespace verdigo
