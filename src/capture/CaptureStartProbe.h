#pragma once
#include "capture/CaptureGeometry.h"
#include "platform/ScreenSource.h"

#include <QHash>
#include <QList>
#include <QRect>
#include <functional>

class QObject;
class ScreenshotCaptureService;

// What a capture or a recording asks the display before anything shows: whether the screen can
// be grabbed, and its monitors. Both are asked at once off the main thread, on the capture pool,
// so that a start never waits behind other work; answers come back on the receiver's thread and
// are dropped when it is gone.
class CaptureStartProbe {
public:
    CaptureStartProbe(ScreenSource& screen, ScreenshotCaptureService& capture);

    void monitors(QObject* receiver, std::function<void(QList<ScreenMonitor>)> then);
    // Once both answers are in and `stillWanted`: `then(monitors)` when the screen can be grabbed,
    // else `denied()`.
    void permissionAndMonitors(QObject* receiver, std::function<bool()> stillWanted, std::function<void()> denied,
        std::function<void(QList<ScreenMonitor>)> then);

    // The monitors in every space, and where the toolkit puts each (in `logicalFrames`).
    static CaptureScreens screensFrom(
        const QList<ScreenMonitor>& monitors, QHash<quint32, QRect>* logicalFrames = nullptr);

private:
    ScreenSource& m_screen;
    ScreenshotCaptureService& m_capture;
};
