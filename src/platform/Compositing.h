#pragma once
#include <QtGlobal>
#include <functional>

// Whether the desktop composites windows (translucent surfaces show what lies behind them).
// Without a probe (tests, a bare X server before wiring) the answer is false and translucent
// surfaces are drawn opaque.
namespace Compositing {
bool isActive();
void setProbe(std::function<bool()> probe);

// A compositing manager may fade a closed window out (xcompmgr -f and picom take about a third of
// a second), and a grab of the screen meanwhile shows it: the tray menu a capture was started
// from, the display menu. Screen grabs start no sooner than this after a window of ours was
// hidden, when a compositor is running. (The capture overlay leaves out of sight instead and is
// waited for by its pixels.)
constexpr int fadeOutMs = 400;
// How long a screen grab waits, `sinceHideMs` after the last window of ours was hidden
// (negative: none was).
int fadeWaitMs(bool compositing, qint64 sinceHideMs);
// On the main thread, once the application object exists (again: nothing more): notes from now
// on when a window of this program is hidden. A window whose QWindow carries this property (true)
// while it is hidden was first moved off every screen: a fade-out happens where nobody sees it,
// and grabs need not wait for it.
constexpr char hiddenOutOfSight[] = "quorvelHiddenOutOfSight";
void watchOwnWindows();
// Milliseconds since a window of ours was last hidden; -1 when none was since watching began.
// Any thread.
qint64 msSinceOwnWindowHidden();
// On the main thread: how long a screen grab started now waits for our hidden windows to fade.
int pendingFadeMs();
}
