#pragma once
#include "platform/Permissions.h"

// Permissions as set by the test; requestAccessibility() records the request and grants nothing.
class FakePermissions : public Permissions {
public:
    bool accessibilityTrusted = true;
    int requestCount = 0;
    bool lastPrompt = false;

    bool isAccessibilityTrusted() override { return accessibilityTrusted; }
    bool requestAccessibility(bool prompt) override
    {
        ++requestCount;
        lastPrompt = prompt;
        return accessibilityTrusted;
    }
    bool canCaptureScreen() override { return true; }
};
