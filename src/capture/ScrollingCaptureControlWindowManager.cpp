#include "capture/ScrollingCaptureControlWindowManager.h"

#include "capture/ScrollingCaptureControlView.h"
#include "capture/ScrollingCaptureService.h"
#include "platform/Compositing.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

ScrollingCaptureControlWindowManager& ScrollingCaptureControlWindowManager::shared()
{
    static ScrollingCaptureControlWindowManager instance;
    return instance;
}

void ScrollingCaptureControlWindowManager::follow(ScrollingCaptureService& service)
{
    // The manager lives as long as the program, so the service alone ends these connections.
    QObject::connect(&service, &ScrollingCaptureService::gatheringStarted, &service, [this, &service] { show(&service); });
    QObject::connect(&service, &ScrollingCaptureService::gatheringEnded, &service, [this] { hide(); });
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
        // Centred on the screen's true middle: QRect::center() rounds an even width down.
        const QRect frame = screen->geometry();
        const double left = frame.x() + frame.width() * 0.5 - ScrollingCaptureControlView::panelWidth * 0.5;
        panel->move(int(std::lround(left)), frame.top() + 16);
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
