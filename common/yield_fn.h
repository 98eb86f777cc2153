#pragma once

#include <functional>

namespace verdigo {

// Called between slices of long work so that a window can handle its events.
using YieldFn = std::function<void()>;

}  // namespace verdigo
