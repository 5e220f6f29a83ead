#pragma once
#include "platform/ScreenSource.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/X11GrabConnection.h"

#include <QHash>
#include <mutex>

// The X11 screen: monitors from RandR (1.5 monitors, so a screen split with `xrandr --setmonitor`
// counts as several), windows from the window manager's _NET_CLIENT_LIST_STACKING, root pixels
// through MIT-SHM, a window's own pixels through Composite, the pointer through XFixes.
//
// It never uses Qt's connection: one-shot calls share a connection of their own under a lock,
// and every grabber opens one for itself, so any thread may call it.
class X11ScreenSource : public ScreenSource {
public:
    // `displayName` empty: $DISPLAY.
    explicit X11ScreenSource(const QByteArray& displayName = {});

    QList<ScreenMonitor> monitors() override;
    QList<ScreenWindow> windows(QString* error = nullptr) override;
    QImage grabRect(const QRect& rect, QString* error = nullptr) override;
    QImage grabWindow(quint64 windowID, QString* error = nullptr) override;
    std::unique_ptr<FrameGrabber> rectGrabber(const QRect& rect, QString* error = nullptr) override;
    std::unique_ptr<FrameGrabber> windowGrabber(quint64 windowID, QString* error = nullptr) override;
    std::optional<CursorImage> cursor() override;
    bool isWindowViewable(quint64 windowID) override;

private:
    // Under a compositing manager, waits until windows of ours that were just hidden (the tray
    // menu a capture was started from) have faded out, so that a root grab does not show them.
    void waitForOwnWindowsToFade();
    QList<unsigned long> stackedClients();
    std::optional<ScreenWindow> describe(unsigned long window);
    double scaleOf(const QString& name, const QRect& frame);

    QByteArray m_displayName;
    std::mutex m_mutex; // guards everything below
    X11GrabConnection m_connection;
    DesktopEntryIndex m_entries;
    QHash<QString, double> m_scales; // by monitor name, as Qt last reported them
};
