#pragma once
#include <functional>

// Whether the desktop composites windows (translucent surfaces show what lies behind them).
// Without a probe (tests, a bare X server before wiring) the answer is false and translucent
// surfaces are drawn opaque.
namespace Compositing {
bool isActive();
void setProbe(std::function<bool()> probe);
}
