#include "history/HistoryPanel.h"

#include <QMouseEvent>
#include <QWindow>

HistoryPanel::HistoryPanel(bool titleBarHidden, QWidget* parent)
    : QWidget(parent, flagsFor(titleBarHidden))
    , m_titleBarHidden(titleBarHidden)
{
    setWindowTitle(QStringLiteral("Clipboard"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setMinimumSize(minWidth, minHeight);
    setMaximumSize(maxWidth, maxHeight);
}

Qt::WindowFlags HistoryPanel::flagsFor(bool titleBarHidden)
{
    // A tool window stays out of task bars and above the application it pastes into.
    Qt::WindowFlags flags = Qt::Tool | Qt::WindowStaysOnTopHint;
    if (titleBarHidden)
        flags |= Qt::FramelessWindowHint;
    else
        flags |= Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    return flags;
}

void HistoryPanel::setTitleBarHidden(bool hidden, const std::function<void()>& place)
{
    if (hidden == m_titleBarHidden)
        return;
    m_titleBarHidden = hidden;
    const QRect frame = geometry();
    const bool wasVisible = isVisible();
    setWindowFlags(flagsFor(hidden));
    setGeometry(frame);
    if (place)
        place();
    if (wasVisible)
        show();
}

void HistoryPanel::setResizable(bool resizable)
{
    m_resizable = resizable;
    if (resizable) {
        setMinimumSize(minWidth, minHeight);
        setMaximumSize(maxWidth, maxHeight);
    } else {
        setFixedSize(size());
    }
}

QMargins HistoryPanel::frameMargins() const
{
    if (m_titleBarHidden || !windowHandle())
        return {};
    return windowHandle()->frameMargins();
}

void HistoryPanel::checkFrameMargins()
{
    const QMargins margins = frameMargins();
    if (margins == m_frameMargins)
        return;
    m_frameMargins = margins;
    emit frameMarginsChanged();
}

bool HistoryPanel::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate)
        emit resignedKey();
    const bool result = QWidget::event(event);
    // The window manager frames the panel after it is shown; the frame is known by the time the
    // panel is placed or activated.
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::WindowActivate:
        checkFrameMargins();
        break;
    default:
        break;
    }
    return result;
}

void HistoryPanel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    emit moved();
}

void HistoryPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit resized();
}

void HistoryPanel::mousePressEvent(QMouseEvent* event)
{
    // Presses that no child took land here: the background moves the window.
    if (event->button() == Qt::LeftButton && m_movableByBackground && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}
