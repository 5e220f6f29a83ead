#pragma once

// True when a compositing manager owns the _NET_WM_CM_S<screen> selection of the default screen.
// False without an X display.
bool x11CompositingManagerRunning();
