#pragma once
#include <QString>

// What the history panel's keys ask of its content: typed, so that a misspelt command does not
// compile. Sent by the window manager's commandIssued signal to the panel's own view only.
enum class HistoryCommand {
    moveSelectionUp,
    moveSelectionDown,
    pasteSelectedItem,
    pasteSelectedItemAsPlainText,
    escapePressed,
    showQuickLook,
    hideQuickLook,
    copySelectedItem,
};

// The command's name, for logs and tests.
inline QString historyCommandName(HistoryCommand command)
{
    switch (command) {
    case HistoryCommand::moveSelectionUp:
        return QStringLiteral("moveSelectionUp");
    case HistoryCommand::moveSelectionDown:
        return QStringLiteral("moveSelectionDown");
    case HistoryCommand::pasteSelectedItem:
        return QStringLiteral("pasteSelectedItem");
    case HistoryCommand::pasteSelectedItemAsPlainText:
        return QStringLiteral("pasteSelectedItemAsPlainText");
    case HistoryCommand::escapePressed:
        return QStringLiteral("escapePressed");
    case HistoryCommand::showQuickLook:
        return QStringLiteral("showQuickLook");
    case HistoryCommand::hideQuickLook:
        return QStringLiteral("hideQuickLook");
    case HistoryCommand::copySelectedItem:
        return QStringLiteral("copySelectedItem");
    }
    return {};
}
