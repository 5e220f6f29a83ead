#pragma once
#include "platform/Shared.h"

#include <QString>

// Messages to the user in the desktop's notification area.
class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    static DesktopNotifier& shared() { return SharedSlot<DesktopNotifier>::get(); }
    static bool isWired() { return SharedSlot<DesktopNotifier>::isSet(); }
    static void setShared(DesktopNotifier* notifier) { SharedSlot<DesktopNotifier>::set(notifier); }

    // Shows one message; never blocks, a desktop without a notification service drops it.
    virtual void notify(const QString& summary, const QString& body) = 0;
    // Shows one message from a process about to end: returns once the message has left the
    // process (or after a few seconds), so that it is not lost with the process.
    virtual void notifyBeforeExit(const QString& summary, const QString& body) { notify(summary, body); }
};
