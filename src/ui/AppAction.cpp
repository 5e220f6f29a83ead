#include "ui/AppAction.h"

#include "platform/KeyCodes.h"

namespace {

struct Entry {
    AppAction::Value value;
    const char* name;
    const char* title;
    const char* symbol;
    const char* keyPrefix; // + "KeyCode" / "Modifiers"
    std::optional<quint32> keyCode;
    std::optional<quint32> modifiers;
    AppAction::Begin begin;
};

using B = AppAction::Begin;
constexpr quint32 kV = 9;

// In raw-value order.
const Entry kEntries[] = {
    {AppAction::showHistory, "showHistory", "Clipboard anzeigen", "", "hotkey", kV,
        KeyCodes::shiftModifier | KeyCodes::commandModifier, B::none},
    {AppAction::captureArea, "captureArea", "Screenshot (Bereich)", "", "captureAreaHotkey", {}, {},
        B::areaSelection},
    {AppAction::captureWindow, "captureWindow", "Screenshot (Fenster)", "", "captureWindowHotkey", {}, {},
        B::windowSelection},
    {AppAction::captureText, "captureText", "Text erfassen", "", "captureTextHotkey", {}, {}, B::textSelection},
    {AppAction::recordArea, "recordArea", "Bereich aufnehmen", "video", "recordAreaHotkey", {}, {},
        B::areaRecording},
    {AppAction::recordWindow, "recordWindow", "Fenster aufnehmen", "video", "recordWindowHotkey", {}, {},
        B::windowRecording},
    {AppAction::recordScreen, "recordScreen", "Bildschirm aufnehmen", "video", "recordScreenHotkey", {}, {},
        B::screenRecording},
    {AppAction::stopRecording, "stopRecording", "Aufnahme stoppen", "stop.circle", "stopRecordingHotkey", {}, {},
        B::none},
    {AppAction::captureScrolling, "captureScrolling", "Scrollende Seite aufnehmen", "", "captureScrollingHotkey", {},
        {}, B::scrollingSelection},
    {AppAction::captureLastArea, "captureLastArea", "Letzten Bereich erneut erfassen", "", "captureLastAreaHotkey",
        {}, {}, B::lastAreaCapture},
    {AppAction::captureFullScreen, "captureFullScreen", "Screenshot (Ganzer Bildschirm)", "",
        "captureFullScreenHotkey", {}, {}, B::fullScreenCapture},
    {AppAction::captureAreaWithToolbar, "captureAreaWithToolbar", "Screenshot (Bereich, mit Toolbar)", "",
        "captureAreaToolbarHotkey", {}, {}, B::areaSelectionWithToolbar},
};

const Entry& entry(AppAction action)
{
    return kEntries[action.rawValue() - 1];
}

}

std::optional<AppAction> AppAction::fromRawValue(quint32 raw)
{
    if (raw < 1 || raw > std::size(kEntries))
        return std::nullopt;
    return AppAction(static_cast<Value>(raw));
}

const std::array<AppAction, 12>& AppAction::allCases()
{
    static const std::array<AppAction, 12> cases = [] {
        std::array<AppAction, 12> all {showHistory, showHistory, showHistory, showHistory, showHistory, showHistory,
            showHistory, showHistory, showHistory, showHistory, showHistory, showHistory};
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = kEntries[i].value;
        return all;
    }();
    return cases;
}

QString AppAction::name() const
{
    return QString::fromLatin1(entry(*this).name);
}

QString AppAction::title() const
{
    return QString::fromUtf8(entry(*this).title);
}

QString AppAction::symbol() const
{
    return QString::fromLatin1(entry(*this).symbol);
}

QString AppAction::keyCodeDefaultsKey() const
{
    return QString::fromLatin1(entry(*this).keyPrefix) + QStringLiteral("KeyCode");
}

QString AppAction::modifiersDefaultsKey() const
{
    return QString::fromLatin1(entry(*this).keyPrefix) + QStringLiteral("Modifiers");
}

std::optional<quint32> AppAction::defaultKeyCode() const
{
    return entry(*this).keyCode;
}

std::optional<quint32> AppAction::defaultModifiers() const
{
    return entry(*this).modifiers;
}

AppAction::Begin AppAction::begin() const
{
    return entry(*this).begin;
}
