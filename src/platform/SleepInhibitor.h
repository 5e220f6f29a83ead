#pragma once
#include "platform/Shared.h"

#include <QString>
#include <memory>

// Keeps the system from sleeping and the screen from blanking while any hold lives.
class SleepInhibitor {
public:
    // One holder's share of the inhibition: it ends when the last hold goes, so that a holder
    // that ends never lets go what another still holds.
    class Hold {
    public:
        virtual ~Hold() = default;
    };

    virtual ~SleepInhibitor() = default;
    static SleepInhibitor& shared() { return SharedSlot<SleepInhibitor>::get(); }
    static bool isWired() { return SharedSlot<SleepInhibitor>::isSet(); }
    static void setShared(SleepInhibitor* inhibitor) { SharedSlot<SleepInhibitor>::set(inhibitor); }

    // A hold on the inhibition, taken with a reason the desktop may show; null with the reason in
    // `error` when no inhibitor service answers. Any thread; a hold may go on any thread.
    virtual std::unique_ptr<Hold> inhibit(const QString& reason, QString* error) = 0;
};
