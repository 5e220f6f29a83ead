#pragma once
#include "platform/KeySynthesizer.h"
#include "platform/linux/X11DisplayConnection.h"

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

    // True when the application is a terminal emulator, which pastes with Ctrl+Shift+V
    // (Ctrl+V sends a control character there). Matches the identifier or the window class.
    static bool isTerminalEmulator(const RunningApplication& app);
    static const QStringList& terminalEmulators();

    // True while any key bound to a modifier (Shift, Ctrl, Alt, Super, ...) is held down.
    bool anyModifierDown();

private:
    bool pressAndRelease(const QList<unsigned long>& keysyms);

    X11DisplayConnection m_connection;
    Workspace* m_workspace;
    int m_xtestAvailable = -1; // -1 unknown
};
