#pragma once

struct _XDisplay;

// True when a compositing manager owns the _NET_WM_CM_S<screen> selection of the default screen.
// False without an X display.
bool x11CompositingManagerRunning();
// The same question on a connection of the caller's (null: false).
bool x11CompositingManagerRunningOn(_XDisplay* display);
