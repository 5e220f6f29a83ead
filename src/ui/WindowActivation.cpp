#include "ui/WindowActivation.h"

#include "platform/Workspace.h"

#include <QWidget>

void WindowActivation::activate(QWidget* window)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
    if (Workspace::isShared() && window->isWindow())
        Workspace::shared().activateWindow(static_cast<quint64>(window->winId()));
}
