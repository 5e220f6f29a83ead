#pragma once
#include "platform/Shared.h"

// What the desktop lets the program do. On X11: accessibility (synthetic keys) is granted when the
// XTEST extension is present; screen capture when the display can be grabbed.
class Permissions {
public:
    virtual ~Permissions() = default;
    static Permissions& shared() { return SharedSlot<Permissions>::get(); }
    static void setShared(Permissions* p) { SharedSlot<Permissions>::set(p); }

    virtual bool isAccessibilityTrusted() = 0;
    // Asks the system to prompt the user (nothing to prompt on X11); returns the trust state.
    virtual bool requestAccessibility(bool prompt) = 0;
    virtual bool canCaptureScreen() = 0;
};
