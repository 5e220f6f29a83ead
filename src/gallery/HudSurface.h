#pragma once

class QWidget;

// How a gallery window's content stands: `content` over the translucent HUD surface, filling
// `view`, which is at least 560 × 420.
namespace HudSurface {
void place(QWidget* view, QWidget* content);
}
