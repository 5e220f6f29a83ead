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
    AppAction::Group group;
};

using B = AppAction::Begin;
using G = AppAction::Group;
constexpr quint32 kV = 9;

// In the order the tray and the settings pages show them.
const Entry kEntries[] = {
    {AppAction::showHistory, "showHistory", "Clipboard anzeigen", "", "hotkey", kV,
        KeyCodes::shiftModifier | KeyCodes::commandModifier, B::none, G::history},
    {AppAction::captureArea, "captureArea", "Screenshot (Bereich)", "", "captureAreaHotkey", {}, {},
        B::areaSelection, G::screenshot},
    {AppAction::captureAreaWithToolbar, "captureAreaWithToolbar", "Screenshot (Bereich, mit Toolbar)", "",
        "captureAreaToolbarHotkey", {}, {}, B::areaSelectionWithToolbar, G::screenshot},
    {AppAction::captureWindow, "captureWindow", "Screenshot (Fenster)", "", "captureWindowHotkey", {}, {},
        B::windowSelection, G::screenshot},
    {AppAction::captureFullScreen, "captureFullScreen", "Screenshot (Ganzer Bildschirm)", "",
        "captureFullScreenHotkey", {}, {}, B::fullScreenCapture, G::screenshot},
    {AppAction::captureLastArea, "captureLastArea", "Letzten Bereich erneut erfassen", "", "captureLastAreaHotkey",
        {}, {}, B::lastAreaCapture, G::screenshot},
    {AppAction::captureText, "captureText", "Text erfassen", "", "captureTextHotkey", {}, {}, B::textSelection,
        G::screenshot},
    {AppAction::captureScrolling, "captureScrolling", "Scrollende Seite aufnehmen", "", "captureScrollingHotkey", {},
        {}, B::scrollingSelection, G::screenshot},
    {AppAction::recordArea, "recordArea", "Bereich aufnehmen", "video", "recordAreaHotkey", {}, {},
        B::areaRecording, G::recording},
    {AppAction::recordWindow, "recordWindow", "Fenster aufnehmen", "video", "recordWindowHotkey", {}, {},
        B::windowRecording, G::recording},
    {AppAction::recordScreen, "recordScreen", "Bildschirm aufnehmen", "video", "recordScreenHotkey", {}, {},
        B::screenRecording, G::recording},
    {AppAction::stopRecording, "stopRecording", "Aufnahme stoppen", "stop.circle", "stopRecordingHotkey", {}, {},
        B::none, G::recording},
};

const Entry& entry(AppAction action)
{
    for (const Entry& candidate : kEntries)
        if (candidate.value == action.rawValue())
            return candidate;
    return kEntries[0]; // unreachable: every Value has a row
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
        for (const Entry& row : kEntries)
            all[row.value - 1] = row.value;
        return all;
    }();
    return cases;
}

QList<AppAction> AppAction::inGroup(Group group)
{
    QList<AppAction> actions;
    for (const Entry& row : kEntries)
        if (row.group == group)
            actions << row.value;
    return actions;
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

AppAction::Group AppAction::group() const
{
    return entry(*this).group;
}
