#pragma once
#include <functional>

class QObject;
class QWidget;
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

// Takes the top-level `window` off the screen at once: moved beyond every screen, then hidden. A
// compositing manager that fades closed windows out fades it where nobody sees it, so the screen
// shows what lay below as soon as the compositor has drawn it once; grabs do not wait for a fade.
void hideOutOfSight(QWidget* window);
}
