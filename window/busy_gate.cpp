#include "window/busy_gate.h"

namespace verdigo {

template <typename Change>
void BusyGate::Update(Change&& change) {
  const bool before = IsBusy();
  change();
  if (IsBusy() != before && onChange_) onChange_(IsBusy());
}

void BusyGate::BeginRun() {
  Update([&] { runUnderWay_ = true; });
}

void BusyGate::EndRun() {
  Update([&] { runUnderWay_ = false; });
}

void BusyGate::BeginSave() {
  Update([&] { ++savesUnderWay_; });
}

void BusyGate::EndSave() {
  Update([&] {
    if (savesUnderWay_ > 0) --savesUnderWay_;
  });
}

}  // namespace verdigo
