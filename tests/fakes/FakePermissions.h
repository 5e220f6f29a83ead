#pragma once
#include "platform/Permissions.h"

// Permissions as set by the test. requestAccessibility() may grant trust when grantOnRequest is set.
class FakePermissions : public Permissions {
public:
    bool accessibilityTrusted = true;
    bool screenCapture = true;
    bool grantOnRequest = false;
    int requestCount = 0;
    bool lastPrompt = false;

    bool isAccessibilityTrusted() override { return accessibilityTrusted; }
    bool requestAccessibility(bool prompt) override
    {
        ++requestCount;
        lastPrompt = prompt;
        if (grantOnRequest)
            accessibilityTrusted = true;
        return accessibilityTrusted;
    }
    bool canCaptureScreen() override { return screenCapture; }
};
