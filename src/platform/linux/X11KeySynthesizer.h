#pragma once
#include "platform/KeySynthesizer.h"
#include "platform/linux/X11DisplayConnection.h"

#include <QList>
#include <QStringList>

// Synthetic key presses through the XTest extension.
class X11KeySynthesizer : public KeySynthesizer {
public:
    // workspace (optional) names the focused application when a paste has no target, so that
    // a terminal emulator still gets its own paste shortcut.
    explicit X11KeySynthesizer(Workspace* workspace = nullptr);

    bool isAvailable() override;
    bool modifiersHeld() override { return anyModifierDown(); }
    bool postPaste(const std::optional<RunningApplication>& target) override;
    PasteSelection pasteSelection(const std::optional<RunningApplication>& target) override;

    // The paste key a program binds, as keysyms pressed in order, and what that key inserts.
    struct PasteBinding {
        QList<unsigned long> keysyms;
        PasteSelection selection = PasteSelection::Clipboard;
    };
    // Ctrl+V, except in terminal emulators (where Ctrl+V types a control character): their own
    // binding, matched by identifier or window class.
    static PasteBinding pasteBinding(const std::optional<RunningApplication>& app);
    // True when the application is a terminal emulator with a known paste binding.
    static bool isTerminalEmulator(const RunningApplication& app);

    // True while any key bound to a modifier (Shift, Ctrl, Alt, Super, ...) is held down.
    bool anyModifierDown();

private:
    std::optional<RunningApplication> targetOrFocused(const std::optional<RunningApplication>& target);
    bool pressAndRelease(const QList<unsigned long>& keysyms);

    X11DisplayConnection m_connection;
    Workspace* m_workspace;
    int m_xtestAvailable = -1; // -1 unknown
};
