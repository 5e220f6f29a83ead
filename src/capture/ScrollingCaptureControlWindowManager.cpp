#include "capture/ScrollingCaptureControlWindowManager.h"

#include "capture/ScrollingCaptureControlView.h"
#include "capture/ScrollingCaptureService.h"
#include "platform/Compositing.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

ScrollingCaptureControlWindowManager::ScrollingCaptureControlWindowManager(ScrollingCaptureService& service)
    : m_service(service)
{
    m_connections = {
        QObject::connect(&service, &ScrollingCaptureService::gatheringStarted, &service, [this] { show(); }),
        QObject::connect(&service, &ScrollingCaptureService::gatheringEnded, &service, [this] { hide(); }),
    };
}

ScrollingCaptureControlWindowManager::~ScrollingCaptureControlWindowManager()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        QObject::disconnect(connection);
    hide();
}

void ScrollingCaptureControlWindowManager::show()
{
    if (m_panel)
        return;
    auto* panel = new ScrollingCaptureControlView(m_service);
    panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint
        | Qt::WindowDoesNotAcceptFocus);
    panel->setWindowTitle(QStringLiteral("Quorvel Scrolling Capture"));
    panel->setAttribute(Qt::WA_ShowWithoutActivating, true);
    // Never the active window: Qt shows the cancel button's tool tip only when told to.
    panel->setAttribute(Qt::WA_AlwaysShowToolTips, true);
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
