#pragma once
#include "platform/Shared.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>
#include <optional>

// One monitor as the screen source sees it. Frames are in root-window pixels (origin at the top
// left of the whole X screen, y downwards); the capture code converts to its own coordinates.
struct ScreenMonitor {
    // The RandR output (or monitor) that shows it; stable while it stays connected.
    quint32 displayID = 0;
    // The connector name ("DP-1", "HDMI-A-0", "screen" for a screen without RandR outputs).
    QString name;
    QRect frame;
    // Device pixels per logical point, as Qt sees the screen.
    double scale = 1.0;
    bool isPrimary = false;
    bool operator==(const ScreenMonitor&) const = default;
};

// One top-level window on screen.
struct ScreenWindow {
    // The client window (the one with WM_CLASS), not the window manager's frame.
    quint64 windowID = 0;
    // Client area in root-window pixels.
    QRect frame;
    QString title;
    // The owner's application identity, as Workspace gives it (desktop-file id, else WM_CLASS).
    QString bundleIdentifier;
    QString applicationName;
    qint64 processID = 0;
    // True for windows of this process.
    bool isOwnWindow = false;
    bool operator==(const ScreenWindow&) const = default;
};

// The pointer's image for drawing into recorded frames.
struct CursorImage {
    QImage image;      // premultiplied ARGB
    QPoint hotspot;    // inside image
    QPoint position;   // root-window pixels of the hotspot
    quint64 serial = 0; // changes when the image changes
};

// Repeated grabs of one fixed rectangle of the screen or of one window, reusing its buffers
// (shared memory on X11). One grabber is used from one thread at a time.
class FrameGrabber {
public:
    virtual ~FrameGrabber() = default;
    // The next frame (ARGB32 or RGB32, size fixed for the grabber's life); a null image when the
    // grab failed (the window is gone, the display was lost).
    // The image may show the grabber's own buffer (no copy): the buffer serves the next grab only
    // once that image and its copies are gone, so a caller that drops it before the next grab
    // keeps a single buffer, and may draw into it without a copy.
    virtual QImage grab(QString* error = nullptr) = 0;
    virtual QSize frameSize() const = 0;
};

// Monitors, windows and pixels of the screen. Every call may be made from any thread; grabs are
// slow and belong on a worker.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    static ScreenSource& shared() { return SharedSlot<ScreenSource>::get(); }
    static bool isWired() { return SharedSlot<ScreenSource>::isSet(); }
    static void setShared(ScreenSource* source) { SharedSlot<ScreenSource>::set(source); }

    // Connected monitors, the primary one first.
    virtual QList<ScreenMonitor> monitors() = 0;
    // Mapped top-level windows from the topmost down, this process's own included (marked).
    virtual QList<ScreenWindow> windows(QString* error = nullptr) = 0;
    // The root window's pixels inside `rect` (clipped to the screen); null on failure.
    virtual QImage grabRect(const QRect& rect, QString* error = nullptr) = 0;
    // A window's own pixels, as if nothing covered it; null on failure.
    virtual QImage grabWindow(quint64 windowID, QString* error = nullptr) = 0;
    // Grabbers for repeated frames; null when the rectangle or window cannot be grabbed.
    virtual std::unique_ptr<FrameGrabber> rectGrabber(const QRect& rect, QString* error = nullptr) = 0;
    virtual std::unique_ptr<FrameGrabber> windowGrabber(quint64 windowID, QString* error = nullptr) = 0;
    // The pointer as it is now; none where the display cannot tell.
    virtual std::optional<CursorImage> cursor() = 0;
    // Whether the window is on screen now, as the display server sees it (a window hidden a moment
    // ago by this program may still show until the server has handled that). False for a window
    // that is gone.
    virtual bool isWindowViewable(quint64 windowID)
    {
        Q_UNUSED(windowID);
        return false;
    }
};
