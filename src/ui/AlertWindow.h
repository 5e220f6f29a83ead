#pragma once

class QWidget;
class Workspace;

namespace AlertWindow {
// Shows `alert`, a top-level dialog of this program without a parent, modal for the whole program
// and in front of every window of it, the floating ones (kept above other programs' windows)
// included, then raises and activates it. So no window of ours is left blocked by an alert the
// user cannot see.
void show(QWidget* alert, Workspace* workspace);
}
