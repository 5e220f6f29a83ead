#include "capture/ScrollingCaptureControlWindowManager.h"

#include "capture/ScrollingCaptureControlView.h"
#include "capture/ScrollingCaptureService.h"
#include "platform/Compositing.h"

#include <QGuiApplication>
#include <QScreen>

ScrollingCaptureControlWindowManager& ScrollingCaptureControlWindowManager::shared()
{
    static ScrollingCaptureControlWindowManager instance;
    return instance;
}

void ScrollingCaptureControlWindowManager::show(ScrollingCaptureService* service)
{
    if (m_panel)
        return;
    auto* panel = new ScrollingCaptureControlView(service ? *service : ScrollingCaptureService::shared());
    panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
        | Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    panel->setWindowTitle(QStringLiteral("Quorvel Scrolling Capture"));
    panel->setAttribute(Qt::WA_ShowWithoutActivating, true);
    panel->setAttribute(Qt::WA_TranslucentBackground, Compositing::isActive());
    panel->setAttribute(Qt::WA_DeleteOnClose, true);
    panel->setFixedSize(ScrollingCaptureControlView::panelWidth, ScrollingCaptureControlView::panelHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect frame = screen->geometry();
        panel->move(frame.center().x() - ScrollingCaptureControlView::panelWidth / 2, frame.top() + 16);
    }
    panel->show();
    panel->raise();
    m_panel = panel;
}

void ScrollingCaptureControlWindowManager::hide()
{
    if (!m_panel)
        return;
    m_panel->close();
    m_panel = nullptr;
}
