#pragma once
#include "platform/KeyCodes.h"
#include "ui/AppAction.h"

#include <QString>
#include <QtGlobal>
#include <optional>

class QKeyEvent;

// The program's global shortcuts as the settings window and the tray menu see them. The
// application puts its hotkey router behind this (a recorded shortcut is grabbed at once), tests a
// fake. Actions are the program's one action table; shortcuts are Carbon key codes with the
// Carbon modifier mask.
class GlobalShortcuts {
public:
    // The program's actions, with their enumerators in this scope (GlobalShortcuts::captureArea).
    using Action = AppAction;
    using enum AppAction::Value;

    // Carbon modifier bits.
    static constexpr quint32 commandKey = KeyCodes::commandModifier;
    static constexpr quint32 shiftKey = KeyCodes::shiftModifier;
    static constexpr quint32 optionKey = KeyCodes::optionModifier;
    static constexpr quint32 controlKey = KeyCodes::controlModifier;
    static inline const QString unassigned = QStringLiteral("Nicht belegt");

    virtual ~GlobalShortcuts() = default;

    // The shortcut as symbols ("⇧⌘V"), or "Nicht belegt".
    virtual QString shortcutDisplay(Action action) const = 0;
    // A key code and mask as symbols, the way shortcutDisplay shows them.
    virtual QString display(quint32 keyCode, quint32 modifiers) const = 0;
    // Assigns and grabs the shortcut at once. False, with the reason, when the desktop refuses the
    // grab or another action uses it; the previous shortcut then stays in force.
    virtual bool assign(Action action, quint32 keyCode, quint32 modifiers, QString* reason) = 0;
    // Back to the default (Shift-Command-V for the history, none for the others).
    virtual void resetToDefault(Action action) = 0;
    // While a shortcut is being recorded the program's own hotkeys are let go, so that pressing one
    // of them reaches the recorder (which then says which action uses it) instead of running it.
    virtual void setRecording(bool recording) = 0;
    // The Carbon key code of the key a key event names; absent for keys without one.
    virtual std::optional<quint32> carbonKeyCode(const QKeyEvent& event) const = 0;
};

