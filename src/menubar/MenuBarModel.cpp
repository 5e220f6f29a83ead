#include "menubar/MenuBarModel.h"

#include "settings/GlobalShortcuts.h"

namespace MenuBarModel {

namespace {

Row divider()
{
    return {Row::Kind::divider, {}, {}, {}, Command::none};
}

Row button(const QString& title, Command command, const QString& shortcutText = {}, const QString& icon = {})
{
    return {Row::Kind::button, title, icon, shortcutText, command};
}

}

QList<Row> rows(const State& state, const ShortcutDisplay& shortcutDisplay)
{
    // A hotkey row titled as the action, with its shortcut unless none is assigned.
    auto hotkey = [&](GlobalShortcuts::Action action, Command command, const QString& icon = {}) {
        QString shown = shortcutDisplay ? shortcutDisplay(action) : QString();
        if (shown == GlobalShortcuts::unassigned)
            shown.clear();
        return button(shortcutActionTitle(action), command, shown, icon);
    };
    const QString video = QStringLiteral("video");

    QList<Row> list;
    if (state.pasteStackCount > 0) {
        list << Row {Row::Kind::header, QStringLiteral("Paste Stack (%1)").arg(state.pasteStackCount), {}, {},
            Command::none};
        list << button(QStringLiteral("Paste Next"), Command::pasteNext, QStringLiteral("⌘P"));
        list << button(QStringLiteral("Clear Stack"), Command::clearStack);
        list << divider();
    }
    list << hotkey(GlobalShortcuts::showHistory, Command::showHistory);
    list << button(QStringLiteral("Clipboard löschen..."), Command::clearHistory);
    list << divider();
    list << hotkey(GlobalShortcuts::captureArea, Command::captureArea);
    list << hotkey(GlobalShortcuts::captureAreaWithToolbar, Command::captureAreaWithToolbar);
    list << hotkey(GlobalShortcuts::captureWindow, Command::captureWindow);
    list << hotkey(GlobalShortcuts::captureFullScreen, Command::captureFullScreen);
    list << hotkey(GlobalShortcuts::captureLastArea, Command::captureLastArea);
    list << hotkey(GlobalShortcuts::captureText, Command::captureText);
    list << hotkey(GlobalShortcuts::captureScrolling, Command::captureScrolling);
    list << button(QStringLiteral("Screenshots anzeigen"), Command::showScreenshots);
    list << divider();
    if (state.isRecording) {
        list << hotkey(GlobalShortcuts::stopRecording, Command::stopRecording, QStringLiteral("stop.circle"));
    } else {
        list << hotkey(GlobalShortcuts::recordArea, Command::recordArea, video);
        list << hotkey(GlobalShortcuts::recordWindow, Command::recordWindow, video);
        list << hotkey(GlobalShortcuts::recordScreen, Command::recordScreen, video);
    }
    list << button(QStringLiteral("Aufnahmen anzeigen"), Command::showRecordings, {}, video);
    if (state.siblingInstalled)
        list << button(QStringLiteral("Pexmoor öffnen"), Command::openSibling, {}, QStringLiteral("arrow.up.forward.app"));
    list << divider();
    list << button(QStringLiteral("Settings..."), Command::settings, QStringLiteral("⌘,"));
    list << button(QStringLiteral("Check for Updates…"), Command::checkForUpdates);
    list << button(QStringLiteral("Feedback senden …"), Command::feedback, QStringLiteral("⌘?"));
    list << divider();
    list << button(QStringLiteral("Quit Quorvel"), Command::quit, QStringLiteral("⌘Q"));
    return list;
}

bool startsCaptureSession(Command command)
{
    switch (command) {
    case Command::captureArea:
    case Command::captureAreaWithToolbar:
    case Command::captureWindow:
    case Command::captureFullScreen:
    case Command::captureLastArea:
    case Command::captureText:
    case Command::captureScrolling:
    case Command::recordArea:
    case Command::recordWindow:
    case Command::recordScreen:
        return true;
    default:
        return false;
    }
}

}
