#pragma once
#include "platform/Shared.h"
#include "platform/Workspace.h"

#include <optional>

// Remembers the last application other than this program whose window was active, so a paste
// from one of our own surfaces goes to where the user was working even after one of our windows
// has taken the focus.
class ForeignWindowTracker {
public:
    virtual ~ForeignWindowTracker() = default;
    static ForeignWindowTracker& shared() { return SharedSlot<ForeignWindowTracker>::get(); }
    static void setShared(ForeignWindowTracker* t) { SharedSlot<ForeignWindowTracker>::set(t); }
    static bool isWired() { return SharedSlot<ForeignWindowTracker>::isSet(); }

    // The active application when it is not this program, else the last one that was; none when
    // no foreign application has been active since the tracker started.
    virtual std::optional<RunningApplication> lastForeignApplication() = 0;
    // Gives the keyboard back to the window the window manager considers active, after one of
    // our windows that it does not manage took it behind its back.
    virtual void restoreFocus() = 0;
};
