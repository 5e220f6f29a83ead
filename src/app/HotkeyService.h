#pragma once
#include "app/HotkeyAction.h"

#include <QHash>
#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class ActionStarter;
class DispatchQueue;
class HotkeyRegistrar;
class Preferences;
class NotchShelfWindowManager;
class WindowManager;

// The program's system-wide shortcuts: registers one hotkey per assigned HotkeyAction and turns
// each press into its action (history, capture and recording flows), on the main queue. Also
// offers the short-lived space-bar hotkey of the post-capture quick action, and renders
// shortcuts as symbol strings ("⇧⌘V", "Nicht belegt").
//
// Registrar identifiers: the actions register under their raw values (1 to 12); the quick action
// under quickActionSignature, so its presses are told apart from every action's.
class HotkeyService : public QObject {
    Q_OBJECT
public:
    // Four-character codes, first character in the most significant byte.
    static constexpr quint32 mainSignature = 0x51565250;        // "QVRP"
    static constexpr quint32 quickActionSignature = 0x51565251; // "QVRQ"
    static constexpr quint32 quickActionKeyCode = 49;           // space bar

    struct Shortcut {
        quint32 keyCode = 0;
        quint32 modifiers = 0;
        bool operator==(const Shortcut&) const = default;
    };

    HotkeyService(
        HotkeyRegistrar& registrar, Preferences& preferences, DispatchQueue& mainQueue, WindowManager& windowManager);
    ~HotkeyService() override;
    // The shelf the history hotkey toggles while it is enabled; unset, the action starter's.
    void setShelf(NotchShelfWindowManager* shelf) { m_shelf = shelf; }
    // What starts the actions; without one a press only shows or hides the history.
    void setActionStarter(ActionStarter* starter) { m_starter = starter; }

    // Starts listening for presses and registers every action that has a shortcut.
    void registerHotkey();
    // Releases every action's hotkey and stops listening; the quick-action hotkey stays.
    void unregisterHotkey();
    // Assigns a new shortcut to one action. True when it is registered; otherwise (taken by
    // another program, or the shortcut of another action) the previous shortcut and its stored
    // values stay and the console says why; reason and usedBy tell the caller too.
    bool updateHotkey(HotkeyAction action, quint32 keyCode, quint32 modifiers, QString* reason = nullptr,
        std::optional<HotkeyAction>* usedBy = nullptr);
    // Forgets the stored shortcut of one action and registers its default (Shift-Command-V for
    // the history, nothing for the others). False when the default could not be registered.
    bool resetToDefault(HotkeyAction action);

    // The action's shortcut as symbols ("⇧⌘V"), or "Nicht belegt".
    QString shortcutDisplay(HotkeyAction action) const;
    static QString shortcutDisplay(HotkeyAction action, const Preferences& preferences);
    static QString shortcutDisplay(std::optional<quint32> keyCode, std::optional<quint32> modifiers);
    // Names of Carbon key codes of the ANSI layout; "?" for any other code.
    static QString keyCodeToString(quint32 keyCode);

    // The stored shortcut of an action, else its default. A stored value that is not an integer
    // or lies outside 0 to 4294967295 counts as unset.
    static std::optional<quint32> keyCode(HotkeyAction action, const Preferences& preferences);
    static std::optional<quint32> modifiers(HotkeyAction action, const Preferences& preferences);
    static std::optional<Shortcut> shortcut(HotkeyAction action, const Preferences& preferences);

    // Registers the bare space bar for the post-capture quick action; a second call replaces the
    // first (its callback never runs). The callback runs on the main queue at each press.
    void registerQuickActionHotkey(std::function<void()> onFire);
    void unregisterQuickActionHotkey();

    // What is registered now.
    bool isRegistered(HotkeyAction action) const { return m_hotKeyRefs.contains(action); }
    std::optional<Shortcut> registeredShortcut(HotkeyAction action) const;
    bool isQuickActionRegistered() const { return m_quickActionRegistered; }
    bool isListening() const { return static_cast<bool>(m_eventHandler); }

private:
    void onHotkeyPressed(quint32 id);
    bool registerSingle(HotkeyAction action);
    void unregisterSingle(HotkeyAction action);
    std::optional<HotkeyAction> actionUsing(const Shortcut& shortcut, HotkeyAction except) const;
    void handle(quint32 id);
    void handleQuickActionHotkey();
    void perform(HotkeyAction action);

    HotkeyRegistrar& m_registrar;
    Preferences& m_preferences;
    DispatchQueue& m_mainQueue;
    WindowManager& m_windowManager;
    NotchShelfWindowManager* m_shelf = nullptr;
    ActionStarter* m_starter = nullptr;

    QMetaObject::Connection m_eventHandler;
    QHash<HotkeyAction, Shortcut> m_hotKeyRefs;
    bool m_quickActionRegistered = false;
    std::function<void()> m_quickActionCallback;
    // Deferred work holds this weakly and does nothing once the service is gone.
    std::shared_ptr<HotkeyService*> m_alive;
};
