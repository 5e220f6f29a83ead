#include "capture/CaptureStartProbe.h"

#include "capture/ScreenshotCaptureService.h"
#include "platform/Background.h"

#include <QGuiApplication>
#include <QScreen>
#include <memory>

namespace {

QScreen* qtScreenFor(const ScreenMonitor& monitor)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens)
        if (screen->name() == monitor.name)
            return screen;
    for (QScreen* screen : screens)
        if (screen->geometry().topLeft() == monitor.frame.topLeft())
            return screen;
    return nullptr;
}

}

CaptureStartProbe::CaptureStartProbe(ScreenSource& screen, ScreenshotCaptureService& capture)
    : m_screen(screen)
    , m_capture(capture)
{
}

void CaptureStartProbe::monitors(QObject* receiver, std::function<void(QList<ScreenMonitor>)> then)
{
    // Asking the display for its monitors is a round trip or more: not on the main thread.
    Background::runCapture(
        receiver, [screen = &m_screen] { return screen->monitors(); }, std::move(then));
}

void CaptureStartProbe::permissionAndMonitors(QObject* receiver, std::function<bool()> stillWanted,
    std::function<void()> denied, std::function<void(QList<ScreenMonitor>)> then)
{
    struct Answers {
        int missing = 2;
        bool granted = false;
        QList<ScreenMonitor> monitors;
    };
    auto answers = std::make_shared<Answers>();
    auto proceed = [stillWanted = std::move(stillWanted), denied = std::move(denied), then = std::move(then), answers] {
        if (--answers->missing > 0 || !stillWanted())
            return;
        if (answers->granted)
            then(answers->monitors);
        else
            denied();
    };
    m_capture.hasScreenRecordingPermission(receiver, [answers, proceed](bool granted) {
        answers->granted = granted;
        proceed();
    });
    monitors(receiver, [answers, proceed](QList<ScreenMonitor> monitors) {
        answers->monitors = std::move(monitors);
        proceed();
    });
}

CaptureScreens CaptureStartProbe::screensFrom(
    const QList<ScreenMonitor>& monitors, QHash<quint32, QRect>* logicalFrames)
{
    std::vector<CaptureScreen> screens;
    for (const ScreenMonitor& monitor : monitors) {
        CaptureScreen screen;
        screen.displayID = monitor.displayID;
        screen.name = monitor.name.toStdString();
        screen.pixelFrame = {monitor.frame.x(), monitor.frame.y(), monitor.frame.width(), monitor.frame.height()};
        screen.scale = monitor.scale > 0 ? monitor.scale : 1.0;
        screen.isPrimary = monitor.isPrimary;
        screens.push_back(screen);
    }
    CaptureScreens result(std::move(screens));
    // Where the toolkit puts each monitor, and the part the desktop's panels leave free.
    std::vector<CaptureScreen> adjusted = result.screens();
    for (int i = 0; i < monitors.size(); ++i) {
        CaptureScreen& screen = adjusted[size_t(i)];
        QRect logical(monitors[i].frame.topLeft(), (QSizeF(monitors[i].frame.size()) / screen.scale).toSize());
        if (QScreen* qt = qtScreenFor(monitors[i])) {
            logical = qt->geometry();
            const QRect available = qt->availableGeometry();
            screen.visibleFrame = CaptureScreens::globalFromLocal(screen,
                {double(available.x() - logical.x()), double(available.y() - logical.y()), double(available.width()),
                    double(available.height())});
        }
        if (logicalFrames)
            logicalFrames->insert(screen.displayID, logical);
    }
    return CaptureScreens(std::move(adjusted));
}
