#pragma once
#include <functional>

class QObject;
class QWindow;

namespace WindowGone {
// How long a window faded out by a compositor takes to leave the screen once it is unmapped, and
// how long to wait at most for the unmap itself.
constexpr int fadeSettleMs = 120;
constexpr int unmapTimeoutMs = 400;

// Runs `work` once on `context`'s thread when `window` has left the screen: no longer exposed (and,
// with a compositor, faded out), or destroyed, or after unmapTimeoutMs at the latest. Nothing runs
// once `context` is gone. Used before a grab, so that a menu just clicked is not in the picture.
void then(QWindow* window, QObject* context, std::function<void()> work);
}
