#pragma once
#include <QHashFunctions>
#include <QString>
#include <array>
#include <functional>
#include <optional>

// The twelve global shortcuts. The raw value is the case's position plus one and is also the
// identifier under which the action's hotkey is registered. Each action's shortcut is stored as a
// Carbon key code and modifier mask under two integer preferences.
class HotkeyAction {
public:
    enum Value : quint32 {
        showHistory = 1,
        captureArea,
        captureWindow,
        captureText,
        recordArea,
        recordWindow,
        recordScreen,
        stopRecording,
        captureScrolling,
        captureLastArea,
        captureFullScreen,
        captureAreaWithToolbar,
    };

    constexpr HotkeyAction(Value value)
        : m_value(value)
    {
    }

    // None outside 1 to 12.
    static std::optional<HotkeyAction> fromRawValue(quint32 raw);
    static const std::array<HotkeyAction, 12>& allCases();

    constexpr quint32 rawValue() const { return m_value; }
    constexpr operator Value() const { return m_value; }

    // The case name ("showHistory", "captureAreaWithToolbar", ...).
    QString name() const;
    // "hotkeyKeyCode"/"hotkeyModifiers" for showHistory, "<name>HotkeyKeyCode"/"<name>HotkeyModifiers"
    // otherwise ("captureAreaToolbar..." for captureAreaWithToolbar).
    QString keyCodeDefaultsKey() const;
    QString modifiersDefaultsKey() const;
    // The shortcut used while none is stored: Shift-Command-V for showHistory, none otherwise.
    std::optional<quint32> defaultKeyCode() const;
    std::optional<quint32> defaultModifiers() const;

private:
    QString keyPrefix() const;
    Value m_value;
};

inline size_t qHash(HotkeyAction action, size_t seed = 0) noexcept
{
    return ::qHash(action.rawValue(), seed);
}

template <> struct std::hash<HotkeyAction> {
    size_t operator()(HotkeyAction action) const noexcept { return std::hash<quint32> {}(action.rawValue()); }
};
