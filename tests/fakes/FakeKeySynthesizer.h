#pragma once
#include "platform/KeySynthesizer.h"

#include <QList>
#include <functional>
#include <optional>

// KeySynthesizer for tests: records every paste with its target and the modifier waits.
class FakeKeySynthesizer : public KeySynthesizer {
public:
    bool available = true;
    bool modifiersReleased = true;   // result of waitForModifiersReleased

    QList<int> modifierWaits;        // timeoutMs of every waitForModifiersReleased call
    QList<std::optional<RunningApplication>> pastes; // target of every postPaste call
    // Called on every postPaste (e.g. to check the pasteboard contents at that moment).
    std::function<void(const std::optional<RunningApplication>&)> onPaste;

    bool isAvailable() override { return available; }
    bool waitForModifiersReleased(int timeoutMs) override
    {
        modifierWaits.append(timeoutMs);
        return modifiersReleased;
    }
    bool postPaste(const std::optional<RunningApplication>& target) override
    {
        pastes.append(target);
        if (onPaste)
            onPaste(target);
        return true;
    }
};
