#pragma once
#include "platform/Shared.h"

#include <QObject>
#include <QString>

// System-wide hotkeys. Key codes and modifiers are in the Carbon key-code space
// (V = 9; Command 0x100, Shift 0x200, Option 0x800, Control 0x1000); the X11 implementation maps
// Command to Super, Option to Alt, Control to Ctrl.
class HotkeyRegistrar : public QObject {
    Q_OBJECT
public:
    ~HotkeyRegistrar() override = default;
    static HotkeyRegistrar& shared() { return SharedSlot<HotkeyRegistrar>::get(); }
    static void setShared(HotkeyRegistrar* h) { SharedSlot<HotkeyRegistrar>::set(h); }

    // Registers the key combination under id. Fails (false, with the reason) when the
    // combination is taken by another program or cannot be expressed; never silently succeeds.
    virtual bool registerHotkey(quint32 id, quint32 keyCode, quint32 modifiers, QString* error) = 0;
    virtual void unregisterHotkey(quint32 id) = 0;
    // A key press that reached one of this program's windows while it holds the keyboard (the
    // system then delivers registered combinations there instead): emits hotkeyPressed and returns
    // true when it is one. The codes are the display's own (an X keycode and modifier state).
    virtual bool dispatchKeyPress(quint32 nativeKeyCode, quint32 nativeModifiers)
    {
        Q_UNUSED(nativeKeyCode);
        Q_UNUSED(nativeModifiers);
        return false;
    }

signals:
    // A registered combination was pressed (auto-repeat ignored).
    void hotkeyPressed(quint32 id);
};
