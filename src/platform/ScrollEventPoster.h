#pragma once
#include "platform/Shared.h"

#include <QPoint>

// Posts mouse-wheel scrolls as if the user turned the wheel.
class ScrollEventPoster {
public:
    virtual ~ScrollEventPoster() = default;
    static ScrollEventPoster& shared() { return SharedSlot<ScrollEventPoster>::get(); }
    static bool isWired() { return SharedSlot<ScrollEventPoster>::isSet(); }
    static void setShared(ScrollEventPoster* poster) { SharedSlot<ScrollEventPoster>::set(poster); }

    // Moves the pointer to `rootPoint` (root-window pixels) and turns the wheel by `clicks`
    // notches: positive scrolls down (the content moves up), negative up. False when nothing
    // could be posted.
    virtual bool postWheelClicks(const QPoint& rootPoint, int clicks) = 0;
};
