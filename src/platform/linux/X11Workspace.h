#pragma once
#include "platform/Workspace.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/X11DisplayConnection.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// The desktop seen through X11 and the EWMH hints of the window manager: the active window
// (_NET_ACTIVE_WINDOW, else the input focus), the client list, activation requests, and the
// owner of the CLIPBOARD selection. Applications are named after their desktop entries.
// Main thread only.
class X11Workspace : public Workspace {
public:
    X11Workspace();
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() override;
    QList<RunningApplication> runningApplications() override;
    bool activate(const RunningApplication& app) override;
    bool activateWindow(quint64 windowId) override;
    bool requestFrameExtents(quint64 windowId, std::function<void(std::optional<QMargins>)> done) override;
    bool isActive(const RunningApplication& app) override;
    bool openURL(const QUrl& url) override;
    std::optional<RunningApplication> clipboardOwnerApplication() override;
    RunningApplication currentApplication() override;

    // The application of one top-level client window (absent when the window is gone or
    // carries nothing that names an application).
    std::optional<RunningApplication> applicationForWindow(quint64 window);
    // The active top-level client window: _NET_ACTIVE_WINDOW, else the top-level window holding
    // the input focus; 0 when there is none.
    quint64 activeWindow();
    // True when a running window manager announces support for _NET_ACTIVE_WINDOW requests.
    bool windowManagerSupportsActivation();

    // How long a request for frame extents waits for the window manager's answer.
    static constexpr int frameExtentsWaitMs = 1000;

private:
    bool activateWindowId(unsigned long target);
    unsigned long atom(const char* name);
    std::optional<unsigned long> windowProperty(unsigned long window, const char* name);
    QString stringProperty(unsigned long window, const char* name);
    qint64 windowPid(unsigned long window);
    QList<unsigned long> clientList();
    unsigned long focusedTopLevel();
    unsigned long topLevelClientOf(unsigned long window);
    bool hasWmState(unsigned long window);
    // False for docks, panels, desktops, notifications and other windows that are no
    // application window (_NET_WM_WINDOW_TYPE).
    bool isApplicationWindow(unsigned long window);
    bool windowExists(unsigned long window);
    QList<unsigned long> leadersOf(unsigned long window);
    bool isDescendantOrSelf(unsigned long window, unsigned long ancestor);
    bool belongsTo(unsigned long window, const RunningApplication& app);
    unsigned long windowForApplication(const RunningApplication& app);
    unsigned long serverTime();
    // True when a running window manager lists the hint in _NET_SUPPORTED.
    bool windowManagerSupports(const char* hint);
    void readFrameEvents();
    void finishFrameRequests(unsigned long window, std::optional<QMargins> extents, quint64 serial = 0);

    struct FrameRequest {
        quint64 serial;
        unsigned long window;
        std::function<void(std::optional<QMargins>)> done;
    };

    X11DisplayConnection m_connection;
    std::unique_ptr<X11DisplayConnection> m_timeConnection; // own connection, to read a server timestamp
    unsigned long m_timeWindow = 0;
    // Own connection on which the window manager's answers to frame-extent requests arrive.
    std::unique_ptr<X11DisplayConnection> m_frameConnection;
    std::unique_ptr<QSocketNotifier> m_frameNotifier;
    std::vector<FrameRequest> m_frameRequests;
    quint64 m_lastFrameRequest = 0;
    DesktopEntryIndex m_desktopEntries;
    QHash<QByteArray, unsigned long> m_atoms;
};
