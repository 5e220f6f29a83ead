#include "ui/WindowActivation.h"

#include "platform/Workspace.h"

#include <QWidget>

void WindowActivation::activate(QWidget* window, Workspace* workspace)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
    if (workspace && window->isWindow())
        workspace->activateWindow(static_cast<quint64>(window->winId()));
}
