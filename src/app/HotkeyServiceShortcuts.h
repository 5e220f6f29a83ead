#pragma once
#include "settings/GlobalShortcuts.h"

class HotkeyService;

// The settings window's and the tray menu's view of the global shortcuts, over the hotkey router:
// an assignment is grabbed at once, and a refusal comes back with a reason a user can act on.
class HotkeyServiceShortcuts : public GlobalShortcuts {
public:
    explicit HotkeyServiceShortcuts(HotkeyService& service);

    QString shortcutDisplay(Action action) const override;
    QString display(quint32 keyCode, quint32 modifiers) const override;
    bool assign(Action action, quint32 keyCode, quint32 modifiers, QString* reason) override;
    void resetToDefault(Action action) override;
    void setRecording(bool recording) override;
    // From the key's keysym (the X11 native virtual key), else from Qt's key for Latin-1 keys.
    std::optional<quint32> carbonKeyCode(const QKeyEvent& event) const override;

private:
    HotkeyService& m_service;
    bool m_recording = false;
};
