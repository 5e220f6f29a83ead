#pragma once
#include "platform/Shared.h"

#include <functional>

// Tells when the user turns the mouse wheel anywhere on the screen, whichever program gets it.
class ScrollActivityMonitor {
public:
    virtual ~ScrollActivityMonitor() = default;
    static ScrollActivityMonitor& shared() { return SharedSlot<ScrollActivityMonitor>::get(); }
    static bool isWired() { return SharedSlot<ScrollActivityMonitor>::isSet(); }
    static void setShared(ScrollActivityMonitor* monitor) { SharedSlot<ScrollActivityMonitor>::set(monitor); }

    // Calls `onScroll` on the main thread for every wheel notch until stop(); false when the
    // desktop cannot report them (the caller then watches the pixels alone).
    virtual bool start(std::function<void()> onScroll) = 0;
    virtual void stop() = 0;
};
