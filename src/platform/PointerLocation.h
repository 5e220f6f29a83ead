#pragma once
#include "platform/Shared.h"

#include <QPoint>
#include <optional>

// Where the mouse pointer is, in global desktop coordinates; read on demand (polled), so it
// works over windows that take no pointer input.
class PointerLocation {
public:
    virtual ~PointerLocation() = default;
    static PointerLocation& shared() { return SharedSlot<PointerLocation>::get(); }
    static void setShared(PointerLocation* p) { SharedSlot<PointerLocation>::set(p); }
    static bool isWired() { return SharedSlot<PointerLocation>::isSet(); }

    // None when the pointer is on another X screen or there is no display.
    virtual std::optional<QPoint> position() = 0;
    // True while a mouse button (left, middle or right) is held down.
    virtual bool isButtonDown() = 0;
};
