#include "ui/AlertWindow.h"

#include "ui/WindowActivation.h"

#include <QWidget>

void AlertWindow::show(QWidget* alert, Workspace* workspace)
{
    if (!alert)
        return;
    // A modal dialog without a parent is transient for the whole program: window managers keep it
    // above every window of ours, also one the user brings forward or opens while it shows.
    alert->setWindowModality(Qt::ApplicationModal);
    // Our floating windows live in the layer above other programs' windows; an alert outside it
    // would show behind them, blocking them unseen.
    alert->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    alert->show();
    WindowActivation::activate(alert, workspace);
}
