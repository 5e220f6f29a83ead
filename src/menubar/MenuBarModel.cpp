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
    auto hotkey = [&](AppAction action) {
        QString shown = shortcutDisplay ? shortcutDisplay(action.rawValue()) : QString();
        if (shown == GlobalShortcuts::unassigned)
            shown.clear();
        return button(action.title(), action, shown, action.symbol());
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
    list << hotkey(AppAction::showHistory);
    list << button(QStringLiteral("Clipboard löschen..."), Command::clearHistory);
    list << divider();
    for (const AppAction action : AppAction::inGroup(AppAction::Group::screenshot))
        list << hotkey(action);
    list << button(QStringLiteral("Screenshots anzeigen"), Command::showScreenshots);
    list << divider();
    // While a recording runs only its stop row shows; otherwise every row that starts one.
    for (const AppAction action : AppAction::inGroup(AppAction::Group::recording))
        if ((action == AppAction::stopRecording) == state.isRecording)
            list << hotkey(action);
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
    const std::optional<AppAction> action = command.action();
    return action && action->begin() != AppAction::Begin::none;
}

}
