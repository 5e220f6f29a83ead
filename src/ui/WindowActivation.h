#pragma once

class QWidget;
class Workspace;

namespace WindowActivation {
// Raises and activates one of this program's top-level windows. Qt stamps its own request with the
// last event time it saw, which can be older than the user's last input when a global hotkey (seen
// on another X connection) opened the window; the workspace's request carries the current time.
// Without a workspace only Qt's request is made.
void activate(QWidget* window, Workspace* workspace);
}
