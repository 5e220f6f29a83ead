#pragma once
#include "platform/Shared.h"

#include <QList>
#include <QMargins>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

// One running application as the desktop knows it. On Linux the bundle identifier is the
// desktop-file ID without ".desktop", else the WM_CLASS class; the name is the desktop entry's
// Name=, else WM_CLASS.
struct RunningApplication {
    QString bundleIdentifier;
    QString localizedName;
    qint64 processIdentifier = 0;    // 0 when unknown
    quint64 windowId = 0;            // the top-level window that identified it (0 when unknown)
    QString windowClass = QString(); // WM_CLASS class of that window (empty when unknown)
    // Every name the desktop knows the application by (desktop-file ID, StartupWMClass, WM_CLASS
    // instance and class, toolkit application IDs); matched by block lists, ignoring case.
    QStringList identities = QStringList();
    // False when the application shows only docks, panels, desktops, notifications and other
    // windows that are no application window of their own (_NET_WM_WINDOW_TYPE).
    bool isRegular = true;
    bool operator==(const RunningApplication&) const = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    static Workspace& shared() { return SharedSlot<Workspace>::get(); }
    static void setShared(Workspace* w) { SharedSlot<Workspace>::set(w); }
    static bool isShared() { return SharedSlot<Workspace>::isSet(); }

    // The application whose window is active (_NET_ACTIVE_WINDOW, else the input focus).
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual QList<RunningApplication> runningApplications() = 0;
    // Asks the window manager to activate the application's window; false when it cannot be asked.
    virtual bool activate(const RunningApplication& app) = 0;
    // Asks the window manager to activate one of this program's own top-level windows with the
    // current time, so that focus-stealing prevention does not hold it back; false when it cannot.
    virtual bool activateWindow(quint64 /*windowId*/) { return false; }
    // Asks the window manager which frame (title bar and borders) it will draw around one of this
    // program's top-level windows that is not shown yet, so that the window can be placed frame
    // and all before it appears. done gets the answer once, on the main thread and never before
    // this returns: the frame's widths, or none when the window manager did not answer. False
    // when the window manager cannot be asked; done is not called then.
    virtual bool requestFrameExtents(quint64 /*windowId*/, std::function<void(std::optional<QMargins>)> /*done*/)
    {
        return false;
    }
    // True when the application's window is the active one and holds the input focus.
    virtual bool isActive(const RunningApplication& app) = 0;
    virtual bool openURL(const QUrl& url) = 0;
    // The application owning the clipboard selection, where the display can tell it.
    virtual std::optional<RunningApplication> clipboardOwnerApplication() = 0;
    // This program's own identity.
    virtual RunningApplication currentApplication() = 0;
};
