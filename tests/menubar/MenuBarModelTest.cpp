#include "menubar/MenuBarModel.h"
#include "settings/GlobalShortcuts.h"

#include <gtest/gtest.h>

using MenuBarModel::Command;
using MenuBarModel::Row;

namespace {

// The history has its default shortcut, the area capture one recorded, every other none.
QString display(quint32 action)
{
    if (action == GlobalShortcuts::showHistory)
        return QStringLiteral("⇧⌘V");
    if (action == GlobalShortcuts::captureArea)
        return QStringLiteral("⌃⌥⇧⌘K");
    if (action == GlobalShortcuts::stopRecording)
        return QStringLiteral("⌥⌘S");
    return QStringLiteral("Nicht belegt");
}

QStringList titles(const QList<Row>& rows)
{
    QStringList out;
    for (const Row& row : rows)
        out << (row.kind == Row::Kind::divider ? QStringLiteral("—") : row.title);
    return out;
}

const Row* find(const QList<Row>& rows, Command command)
{
    for (const Row& row : rows)
        if (row.kind == Row::Kind::button && row.command == command)
            return &row;
    return nullptr;
}

}

TEST(MenuBarModel, IdleMenuListsEveryRowInOrder)
{
    const QList<Row> rows = MenuBarModel::rows({}, display);
    EXPECT_EQ(titles(rows),
        (QStringList {"Clipboard anzeigen", "Clipboard löschen...", "—", "Screenshot (Bereich)",
            "Screenshot (Bereich, mit Toolbar)", "Screenshot (Fenster)", "Screenshot (Ganzer Bildschirm)",
            "Letzten Bereich erneut erfassen", "Text erfassen", "Scrollende Seite aufnehmen", "Screenshots anzeigen",
            "—", "Bereich aufnehmen", "Fenster aufnehmen", "Bildschirm aufnehmen", "Aufnahmen anzeigen", "—",
            "Settings...", "Check for Updates…", "Feedback senden …", "—", "Quit Quorvel"}));
    // Shortcut texts: assigned hotkeys show their symbols, unassigned ones nothing, fixed labels stay.
    EXPECT_EQ(find(rows, Command::showHistory)->shortcutText, "⇧⌘V");
    EXPECT_EQ(find(rows, Command::captureArea)->shortcutText, "⌃⌥⇧⌘K");
    EXPECT_EQ(find(rows, Command::captureWindow)->shortcutText, "");
    EXPECT_EQ(find(rows, Command::settings)->shortcutText, "⌘,");
    EXPECT_EQ(find(rows, Command::feedback)->shortcutText, "⌘?");
    EXPECT_EQ(find(rows, Command::quit)->shortcutText, "⌘Q");
    EXPECT_EQ(find(rows, Command::clearHistory)->shortcutText, "");
    // Only the recording rows carry symbols.
    EXPECT_EQ(find(rows, Command::recordArea)->icon, "video");
    EXPECT_EQ(find(rows, Command::showRecordings)->icon, "video");
    EXPECT_EQ(find(rows, Command::captureArea)->icon, "");
    EXPECT_FALSE(find(rows, Command::stopRecording));
    EXPECT_FALSE(find(rows, Command::openSibling));
}

TEST(MenuBarModel, RecordingReplacesTheThreeRecordRowsWithStop)
{
    const QList<Row> rows = MenuBarModel::rows({0, true, false}, display);
    const Row* stop = find(rows, Command::stopRecording);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->title, "Aufnahme stoppen");
    EXPECT_EQ(stop->icon, "stop.circle");
    EXPECT_EQ(stop->shortcutText, "⌥⌘S");
    EXPECT_FALSE(find(rows, Command::recordArea));
    EXPECT_FALSE(find(rows, Command::recordWindow));
    EXPECT_FALSE(find(rows, Command::recordScreen));
    EXPECT_EQ(rows.size(), MenuBarModel::rows({}, display).size() - 2);
}

TEST(MenuBarModel, PasteStackGroupAndSiblingRowAppearOnlyWhenThereIsSomething)
{
    const QList<Row> rows = MenuBarModel::rows({3, false, true}, display);
    ASSERT_GE(rows.size(), 5);
    EXPECT_EQ(rows[0].kind, Row::Kind::header);
    EXPECT_EQ(rows[0].title, "Paste Stack (3)");
    EXPECT_EQ(rows[1].title, "Paste Next");
    EXPECT_EQ(rows[1].shortcutText, "⌘P");
    EXPECT_EQ(rows[2].command, Command::clearStack);
    EXPECT_EQ(rows[3].kind, Row::Kind::divider);
    EXPECT_EQ(rows[4].command, Command::showHistory);

    // The sibling's row sits after the recordings, the divider above "Settings..." stays either way.
    const qsizetype sibling = titles(rows).indexOf("Pexmoor öffnen");
    ASSERT_GT(sibling, 0);
    EXPECT_EQ(rows[sibling - 1].command, Command::showRecordings);
    EXPECT_EQ(rows[sibling].icon, "arrow.up.forward.app");
    EXPECT_EQ(rows[sibling + 1].kind, Row::Kind::divider);
    EXPECT_EQ(rows[sibling + 2].command, Command::settings);
}

TEST(MenuBarModel, OnlyCaptureAndRecordRowsWaitForTheMenuToLeave)
{
    EXPECT_TRUE(MenuBarModel::startsCaptureSession(Command::captureArea));
    EXPECT_TRUE(MenuBarModel::startsCaptureSession(Command::captureLastArea));
    EXPECT_TRUE(MenuBarModel::startsCaptureSession(Command::recordScreen));
    EXPECT_FALSE(MenuBarModel::startsCaptureSession(Command::stopRecording));
    EXPECT_FALSE(MenuBarModel::startsCaptureSession(Command::showScreenshots));
    EXPECT_FALSE(MenuBarModel::startsCaptureSession(Command::settings));
}
