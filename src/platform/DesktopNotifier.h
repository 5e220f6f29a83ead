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
};
