#include "app/HotkeyService.h"

#include "app/ActionStarter.h"
#include "history/WindowManager.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/HotkeyRegistrar.h"
#include "platform/KeyCodes.h"
#include "platform/Preferences.h"

#include <limits>

namespace {

std::optional<quint32> storedUInt32(const Preferences& preferences, const QString& key)
{
    const QVariant value = preferences.object(key);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qlonglong n = value.toLongLong();
        if (n < 0 || n > static_cast<qlonglong>(std::numeric_limits<quint32>::max()))
            return std::nullopt;
        return static_cast<quint32>(n);
    }
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const qulonglong n = value.toULongLong();
        if (n > std::numeric_limits<quint32>::max())
            return std::nullopt;
        return static_cast<quint32>(n);
    }
    default:
        return std::nullopt; // missing, or not an integer
    }
}

}

HotkeyService::HotkeyService(
    HotkeyRegistrar& registrar, Preferences& preferences, DispatchQueue& mainQueue, WindowManager& windowManager)
    : m_registrar(registrar)
    , m_preferences(preferences)
    , m_mainQueue(mainQueue)
    , m_windowManager(windowManager)
    , m_alive(std::make_shared<HotkeyService*>(this))
{
}

HotkeyService::~HotkeyService()
{
    unregisterHotkey();
    unregisterQuickActionHotkey();
}

// MARK: - Stored shortcuts

std::optional<quint32> HotkeyService::keyCode(HotkeyAction action, const Preferences& preferences)
{
    if (const std::optional<quint32> stored = storedUInt32(preferences, action.keyCodeDefaultsKey()))
        return stored;
    return action.defaultKeyCode();
}

std::optional<quint32> HotkeyService::modifiers(HotkeyAction action, const Preferences& preferences)
{
    if (const std::optional<quint32> stored = storedUInt32(preferences, action.modifiersDefaultsKey()))
        return stored;
    return action.defaultModifiers();
}

std::optional<HotkeyService::Shortcut> HotkeyService::shortcut(HotkeyAction action, const Preferences& preferences)
{
    const std::optional<quint32> code = keyCode(action, preferences);
    const std::optional<quint32> mask = modifiers(action, preferences);
    if (!code || !mask)
        return std::nullopt;
    return Shortcut {*code, *mask};
}

// MARK: - Registration

void HotkeyService::registerHotkey()
{
    if (!m_eventHandler) {
        m_eventHandler = connect(
            &m_registrar, &HotkeyRegistrar::hotkeyPressed, this, [this](quint32 id) { onHotkeyPressed(id); });
        if (!m_eventHandler) {
            Console::log(QStringLiteral("Failed to install event handler: the hotkey registrar cannot be observed"));
            return;
        }
    }
    for (const HotkeyAction action : HotkeyAction::allCases())
        registerSingle(action);
}

void HotkeyService::unregisterHotkey()
{
    for (const HotkeyAction action : HotkeyAction::allCases())
        unregisterSingle(action);
    if (m_eventHandler) {
        disconnect(m_eventHandler);
        m_eventHandler = {};
    }
}

std::optional<HotkeyAction> HotkeyService::actionUsing(const Shortcut& wanted, HotkeyAction except) const
{
    for (const HotkeyAction other : HotkeyAction::allCases()) {
        if (other == except)
            continue;
        if (shortcut(other, m_preferences) == wanted || registeredShortcut(other) == wanted)
            return other;
    }
    return std::nullopt;
}

bool HotkeyService::registerSingle(HotkeyAction action)
{
    unregisterSingle(action);
    const std::optional<Shortcut> wanted = shortcut(action, m_preferences);
    if (!wanted)
        return true; // nothing assigned
    for (auto it = m_hotKeyRefs.constBegin(); it != m_hotKeyRefs.constEnd(); ++it) {
        if (it.value() == *wanted) {
            Console::log(QStringLiteral("Failed to register hotkey for %1: the shortcut is already used by %2")
                             .arg(action.name(), it.key().name()));
            return false;
        }
    }
    QString error;
    if (!m_registrar.registerHotkey(action.rawValue(), wanted->keyCode, wanted->modifiers, &error)) {
        Console::log(QStringLiteral("Failed to register hotkey for %1: %2").arg(action.name(), error));
        return false;
    }
    m_hotKeyRefs.insert(action, *wanted);
    return true;
}

void HotkeyService::unregisterSingle(HotkeyAction action)
{
    if (m_hotKeyRefs.remove(action) > 0)
        m_registrar.unregisterHotkey(action.rawValue());
}

std::optional<HotkeyService::Shortcut> HotkeyService::registeredShortcut(HotkeyAction action) const
{
    const auto it = m_hotKeyRefs.constFind(action);
    if (it == m_hotKeyRefs.constEnd())
        return std::nullopt;
    return it.value();
}

bool HotkeyService::updateHotkey(
    HotkeyAction action, quint32 keyCode, quint32 modifiers, QString* reason, std::optional<HotkeyAction>* usedBy)
{
    const Shortcut wanted {keyCode, modifiers};
    if (const std::optional<HotkeyAction> other = actionUsing(wanted, action)) {
        const QString why = QStringLiteral("%1 is already used by %2").arg(shortcutDisplay(keyCode, modifiers), other->name());
        Console::log(QStringLiteral("Failed to register hotkey for %1: %2").arg(action.name(), why));
        if (reason)
            *reason = why;
        if (usedBy)
            *usedBy = other;
        return false;
    }

    unregisterSingle(action);
    QString error;
    if (!m_registrar.registerHotkey(action.rawValue(), keyCode, modifiers, &error)) {
        Console::log(QStringLiteral("Failed to register hotkey for %1: %2").arg(action.name(), error));
        if (reason)
            *reason = error;
        registerSingle(action); // the previous shortcut, from the unchanged preferences
        return false;
    }
    m_hotKeyRefs.insert(action, wanted);
    m_preferences.set(action.keyCodeDefaultsKey(), static_cast<qlonglong>(keyCode));
    m_preferences.set(action.modifiersDefaultsKey(), static_cast<qlonglong>(modifiers));
    return true;
}

bool HotkeyService::resetToDefault(HotkeyAction action)
{
    m_preferences.remove(action.keyCodeDefaultsKey());
    m_preferences.remove(action.modifiersDefaultsKey());
    return registerSingle(action);
}

// MARK: - Presses

void HotkeyService::onHotkeyPressed(quint32 id)
{
    if (id == quickActionSignature)
        handleQuickActionHotkey();
    else
        handle(id);
}

void HotkeyService::handle(quint32 id)
{
    const std::optional<HotkeyAction> action = HotkeyAction::fromRawValue(id);
    if (!action)
        return;
    std::weak_ptr<HotkeyService*> alive = m_alive;
    const HotkeyAction chosen = *action;
    m_mainQueue.async([alive, chosen] {
        if (const auto self = alive.lock())
            (*self)->perform(chosen);
    });
}

void HotkeyService::perform(HotkeyAction action)
{
    if (m_starter)
        m_starter->start(action, ActionStarter::Trigger::hotkey, m_shelf);
    else if (action == HotkeyAction::showHistory)
        ActionStarter::showHistory(ActionStarter::Trigger::hotkey, m_windowManager, m_shelf);
}

// MARK: - Quick action

void HotkeyService::registerQuickActionHotkey(std::function<void()> onFire)
{
    unregisterQuickActionHotkey();
    QString error;
    if (!m_registrar.registerHotkey(quickActionSignature, quickActionKeyCode, 0, &error)) {
        Console::log(QStringLiteral("Failed to register quick-action hotkey: %1").arg(error));
        return;
    }
    m_quickActionRegistered = true;
    m_quickActionCallback = std::move(onFire);
}

void HotkeyService::unregisterQuickActionHotkey()
{
    if (m_quickActionRegistered) {
        m_registrar.unregisterHotkey(quickActionSignature);
        m_quickActionRegistered = false;
    }
    m_quickActionCallback = nullptr;
}

void HotkeyService::handleQuickActionHotkey()
{
    std::weak_ptr<HotkeyService*> alive = m_alive;
    m_mainQueue.async([alive] {
        const auto self = alive.lock();
        if (!self)
            return;
        // A copy: the callback may release the hotkey, which clears the stored one.
        const std::function<void()> callback = (*self)->m_quickActionCallback;
        if (callback)
            callback();
    });
}

// MARK: - Display

QString HotkeyService::shortcutDisplay(HotkeyAction action) const
{
    return shortcutDisplay(action, m_preferences);
}

QString HotkeyService::shortcutDisplay(HotkeyAction action, const Preferences& preferences)
{
    return shortcutDisplay(keyCode(action, preferences), modifiers(action, preferences));
}

QString HotkeyService::shortcutDisplay(std::optional<quint32> keyCode, std::optional<quint32> modifiers)
{
    if (!keyCode || !modifiers)
        return QStringLiteral("Nicht belegt");
    QString text;
    if (*modifiers & KeyCodes::controlModifier)
        text += QStringLiteral("⌃");
    if (*modifiers & KeyCodes::optionModifier)
        text += QStringLiteral("⌥");
    if (*modifiers & KeyCodes::shiftModifier)
        text += QStringLiteral("⇧");
    if (*modifiers & KeyCodes::commandModifier)
        text += QStringLiteral("⌘");
    return text + keyCodeToString(*keyCode);
}

QString HotkeyService::keyCodeToString(quint32 keyCode)
{
    return KeyCodes::displayName(keyCode);
}
