#pragma once
#include "platform/Shared.h"
#include "platform/Workspace.h"

#include <optional>

// Synthetic key events (XTest on X11).
class KeySynthesizer {
public:
    virtual ~KeySynthesizer() = default;
    static KeySynthesizer& shared() { return SharedSlot<KeySynthesizer>::get(); }
    static void setShared(KeySynthesizer* k) { SharedSlot<KeySynthesizer>::set(k); }

    // True when synthetic events can be posted at all.
    virtual bool isAvailable() = 0;
    // True while the user holds a modifier key (Shift, Ctrl, Alt, Super, ...). Answers at once;
    // callers that wait for a release poll it from a timer.
    virtual bool modifiersHeld() = 0;
    // Posts the paste shortcut (Ctrl+V, or Ctrl+Shift+V for a terminal emulator) to whatever window
    // has the focus; the target tells which shortcut it expects.
    virtual bool postPaste(const std::optional<RunningApplication>& target) = 0;
};
