#include "history/NotchShelfPanel.h"

#include <QApplication>
#include <QEvent>

NotchShelfPanel::NotchShelfPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint)
{
    setWindowTitle(QStringLiteral("Quorvel Shelf"));
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(false);
    // A press on a field that takes the keyboard (the search field) asks for it: no window
    // manager hands it to a window outside its control. Other presses leave the focus where it is.
    qApp->installEventFilter(this);
}

NotchShelfPanel::~NotchShelfPanel()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool NotchShelfPanel::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate)
        emit resignedKey();
    return QWidget::event(event);
}

bool NotchShelfPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() && !isActiveWindow()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() == this && widget->testAttribute(Qt::WA_InputMethodEnabled)
            && (widget->focusPolicy() & Qt::ClickFocus))
            activateWindow();
    }
    return QWidget::eventFilter(watched, event);
}
