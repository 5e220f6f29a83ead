#include "app/HotkeyAction.h"

#include "platform/KeyCodes.h"

std::optional<HotkeyAction> HotkeyAction::fromRawValue(quint32 raw)
{
    if (raw < showHistory || raw > captureAreaWithToolbar)
        return std::nullopt;
    return HotkeyAction(static_cast<Value>(raw));
}

const std::array<HotkeyAction, 12>& HotkeyAction::allCases()
{
    static const std::array<HotkeyAction, 12> cases {showHistory, captureArea, captureWindow, captureText, recordArea,
        recordWindow, recordScreen, stopRecording, captureScrolling, captureLastArea, captureFullScreen,
        captureAreaWithToolbar};
    return cases;
}

QString HotkeyAction::name() const
{
    switch (m_value) {
    case showHistory:
        return QStringLiteral("showHistory");
    case captureArea:
        return QStringLiteral("captureArea");
    case captureWindow:
        return QStringLiteral("captureWindow");
    case captureText:
        return QStringLiteral("captureText");
    case recordArea:
        return QStringLiteral("recordArea");
    case recordWindow:
        return QStringLiteral("recordWindow");
    case recordScreen:
        return QStringLiteral("recordScreen");
    case stopRecording:
        return QStringLiteral("stopRecording");
    case captureScrolling:
        return QStringLiteral("captureScrolling");
    case captureLastArea:
        return QStringLiteral("captureLastArea");
    case captureFullScreen:
        return QStringLiteral("captureFullScreen");
    case captureAreaWithToolbar:
        return QStringLiteral("captureAreaWithToolbar");
    }
    return {};
}

QString HotkeyAction::keyPrefix() const
{
    switch (m_value) {
    case showHistory:
        return QStringLiteral("hotkey");
    case captureAreaWithToolbar:
        return QStringLiteral("captureAreaToolbarHotkey");
    default:
        return name() + QStringLiteral("Hotkey");
    }
}

QString HotkeyAction::keyCodeDefaultsKey() const
{
    return keyPrefix() + QStringLiteral("KeyCode");
}

QString HotkeyAction::modifiersDefaultsKey() const
{
    return keyPrefix() + QStringLiteral("Modifiers");
}

std::optional<quint32> HotkeyAction::defaultKeyCode() const
{
    return m_value == showHistory ? std::optional<quint32>(9) : std::nullopt; // V
}

std::optional<quint32> HotkeyAction::defaultModifiers() const
{
    return m_value == showHistory ? std::optional<quint32>(KeyCodes::shiftModifier | KeyCodes::commandModifier) : std::nullopt;
}
