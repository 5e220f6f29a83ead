#pragma once
#include "platform/KeySynthesizer.h"

#include <QList>
#include <functional>
#include <optional>

// KeySynthesizer for tests: records every paste with its target and the modifier waits.
class FakeKeySynthesizer : public KeySynthesizer {
public:
    bool available = true;
    // modifiersHeld() answers true for this many calls (-1: always), then false.
    int heldForPolls = 0;
    int modifierPolls = 0;                           // calls of modifiersHeld()
    QList<std::optional<RunningApplication>> pastes; // target of every postPaste call
    // Called on every postPaste (e.g. to check the pasteboard contents at that moment).
    std::function<void(const std::optional<RunningApplication>&)> onPaste;

    bool isAvailable() override { return available; }
    bool modifiersHeld() override
    {
        ++modifierPolls;
        return heldForPolls < 0 || modifierPolls <= heldForPolls;
    }
    bool postPaste(const std::optional<RunningApplication>& target) override
    {
        pastes.append(target);
        if (onPaste)
            onPaste(target);
        return true;
    }
};
