#pragma once
#include "platform/Shared.h"

#include <QString>

// Keeps the system from sleeping and the screen from blanking while held.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    static SleepInhibitor& shared() { return SharedSlot<SleepInhibitor>::get(); }
    static bool isWired() { return SharedSlot<SleepInhibitor>::isSet(); }
    static void setShared(SleepInhibitor* inhibitor) { SharedSlot<SleepInhibitor>::set(inhibitor); }

    // Takes the inhibition with a reason the desktop may show; false with the reason in `error`
    // when no inhibitor service answers. Taking it again while held keeps the one hold.
    virtual bool inhibit(const QString& reason, QString* error) = 0;
    // Gives the hold back; nothing when none is held.
    virtual void release() = 0;
};
