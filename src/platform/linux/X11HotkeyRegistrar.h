#pragma once
#include "platform/HotkeyRegistrar.h"
#include "platform/linux/X11DisplayConnection.h"

#include <QHash>
#include <QList>
#include <optional>

class QSocketNotifier;

// System-wide hotkeys as passive key grabs on the root window of a connection of its own, read
// through a socket notifier on the main thread. Each combination is grabbed four times, with and
// without NumLock and CapsLock, so the lock keys do not disable it.
class X11HotkeyRegistrar : public HotkeyRegistrar {
    Q_OBJECT
public:
    explicit X11HotkeyRegistrar(QObject* parent = nullptr);
    ~X11HotkeyRegistrar() override;

    bool registerHotkey(quint32 id, quint32 keyCode, quint32 modifiers, QString* error) override;
    void unregisterHotkey(quint32 id) override;
    bool dispatchKeyPress(quint32 nativeKeyCode, quint32 nativeModifiers) override;

    bool isAvailable() const { return m_connection.isValid(); }
    bool isRegistered(quint32 id) const { return m_grabs.contains(id); }
    // The X modifier mask for Carbon modifiers on this display (Super, Shift, Alt, Ctrl); absent
    // when a modifier has no key on the keyboard.
    std::optional<unsigned int> xModifiers(quint32 carbonModifiers) const;

private:
    struct Grab {
        quint32 carbonKeyCode = 0;
        quint32 carbonModifiers = 0;
        unsigned int keycode = 0;   // X keycode
        unsigned int modifiers = 0; // X modifier mask without the lock bits
    };

    void readModifierMapping();
    QList<unsigned int> lockVariants() const;
    bool grab(const Grab& grab, QString* error);
    void ungrab(const Grab& grab);
    void processEvents();
    bool handleKeyPress(unsigned int keycode, unsigned int state);
    void regrabAll();

    X11DisplayConnection m_connection {X11DisplayConnection::Mode::Own};
    QSocketNotifier* m_notifier = nullptr;
    QHash<quint32, Grab> m_grabs;
    unsigned int m_numLockMask = 0;
    unsigned int m_superMask = 0;
    unsigned int m_altMask = 0;
    unsigned int m_heldKeycode = 0; // the key of the last hotkey press until its release (auto-repeat)
};
