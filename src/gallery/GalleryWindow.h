#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

// The one-window behaviour of the gallery's window managers: a visible window is only fronted and
// activated; otherwise a new floating window titled `title`, 640 × 480, centred on the screen
// that holds the pointer, is made around `makeContent()` and replaces the one held before (a
// closed window only hides and is never shown again).
class Workspace;

namespace GalleryWindow {
void show(QPointer<QWidget>& window, const QString& title, Workspace& workspace,
    const std::function<QWidget*()>& makeContent);
}
