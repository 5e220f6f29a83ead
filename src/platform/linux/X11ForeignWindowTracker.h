#pragma once
#include "platform/ForeignWindowTracker.h"
#include "platform/linux/X11DisplayConnection.h"

#include <QObject>
#include <memory>

class QSocketNotifier;

// Follows _NET_ACTIVE_WINDOW on the root window (a connection of its own, read through a socket
// notifier on the main thread) and remembers the last active application that is not this
// program. Asked while a foreign application is active, it answers that one (also without a
// window manager, where the input focus names it). Main thread only.
class X11ForeignWindowTracker : public QObject, public ForeignWindowTracker {
    Q_OBJECT
public:
    explicit X11ForeignWindowTracker(Workspace& workspace);
    ~X11ForeignWindowTracker() override;

    std::optional<RunningApplication> lastForeignApplication() override;
    void restoreFocus() override;

private:
    void readEvents();
    void noteActiveApplication();

    Workspace& m_workspace;
    X11DisplayConnection m_connection {X11DisplayConnection::Mode::Own};
    std::unique_ptr<QSocketNotifier> m_notifier;
    unsigned long m_activeAtom = 0;
    std::optional<RunningApplication> m_last;
};
