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
    // The selection a program's paste key inserts: the clipboard, or (some terminal emulators)
    // only the PRIMARY selection.
    enum class PasteSelection { Clipboard, Primary };

    // Posts the paste key the target binds (Ctrl+V; in terminal emulators their own key) to
    // whatever window has the focus.
    virtual bool postPaste(const std::optional<RunningApplication>& target) = 0;
    // What the key postPaste() sends to that target inserts.
    virtual PasteSelection pasteSelection(const std::optional<RunningApplication>& target)
    {
        Q_UNUSED(target);
        return PasteSelection::Clipboard;
    }
};
