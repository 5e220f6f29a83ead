#include "app/ActionStarter.h"
#include "app/HotkeyService.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteStack.h"
#include "platform/Dispatch.h"
#include "fakes/FakeApplicationCatalog.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/TestSupport.h"
#include "history/WindowManager.h"
#include "menubar/ClearHistoryDialog.h"
#include "menubar/MenuBarView.h"
#include "platform/Background.h"
#include "recording/ScreenRecordingService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QAction>
#include <QTest>
#include <sqlite3.h>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

using MenuBarModel::Command;

namespace {

class MenuBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The menu shows the shortcuts stored in these preferences.
        static FakeHotkeyRegistrar registrar;
        static FakePasteboard pasteboard;
        static FakeWorkspace workspace;
        static FakeKeySynthesizer keys;
        Preferences::setShared(&preferences());
        HotkeyRegistrar::setShared(&registrar);
        Pasteboard::setShared(&pasteboard);
        Workspace::setShared(&workspace);
        KeySynthesizer::setShared(&keys);
        ApplicationCatalog::setShared(&catalog());
    }
    static FakeApplicationCatalog& catalog()
    {
        static FakeApplicationCatalog instance;
        return instance;
    }
    static FakePreferences& preferences()
    {
        static FakePreferences instance;
        return instance;
    }
    // The menu's needs as the application gives them; actions start the capture overlay.
    MenuBarView::Needs needs()
    {
        return {pasteStack, captureRig.recorder, &catalog(),
            [](quint32 action) {
                const std::optional<HotkeyAction> known = HotkeyAction::fromRawValue(action);
                return known ? HotkeyService::shortcutDisplay(*known, preferences()) : QStringLiteral("Nicht belegt");
            },
            [this](AppAction action) { ActionStarter::begin(captureRig.overlay, action.begin()); }};
    }
    void TearDown() override { catalog().installed.clear(); }

    QList<qint64> addEntries(int count, bool pinned)
    {
        QList<qint64> ids;
        ModelContext& context = container->mainContext();
        std::vector<ClipItemPtr> items;
        for (int i = 0; i < count; ++i) {
            auto item = std::make_shared<ClipItem>();
            item->isPinned = pinned;
            item->appendRepresentation(std::make_shared<ClipRepresentation>());
            context.insert(item);
            items.push_back(item);
        }
        EXPECT_TRUE(context.save());
        for (const ClipItemPtr& item : items)
            ids << item->persistentID;
        return ids;
    }

    // Clicks "Alles löschen" and waits for the store's answer.
    static bool confirm(ClearHistoryDialog* dialog)
    {
        QSignalSpy finished(dialog, &ClearHistoryDialog::eraseFinished);
        dialog->deleteButton()->click();
        if (finished.isEmpty() && !finished.wait(5000))
            return false;
        return finished.first().first().toBool();
    }

    TempStore store;
    std::shared_ptr<ModelContainer> container = store.container;
    // What the rows start: the capture area on fakes.
    CaptureRig captureRig;
    ClipboardSuspension suspension;
    PasteService paste {
        Pasteboard::shared(), Workspace::shared(), KeySynthesizer::shared(), DispatchQueue::main(), suspension};
    PasteStack pasteStack {paste};
};

}

TEST_F(MenuBarTest, RowsCarryTheirTitlesShortcutsAndTheSiblingWhenInstalled)
{
    MenuBarView menu(container, needs());
    EXPECT_EQ(menu.action(Command::showHistory)->text(), "Clipboard anzeigen\t⇧⌘V");
    EXPECT_EQ(menu.action(Command::captureArea)->text(), "Screenshot (Bereich)");
    EXPECT_EQ(menu.action(Command::quit)->text(), "Quit Quorvel\t⌘Q");
    EXPECT_FALSE(menu.action(Command::openSibling));

    catalog().installed.append({MenuBarModel::siblingBundleIdentifier, QStringLiteral("Pexmoor"), QString()});
    emit menu.aboutToShow();
    ASSERT_TRUE(menu.action(Command::openSibling));
    menu.action(Command::openSibling)->trigger();
    EXPECT_EQ(catalog().launched, QStringList {MenuBarModel::siblingBundleIdentifier});

    // The paste stack's group follows the stack at once.
    pasteStack.setItems({1, 2});
    ASSERT_TRUE(menu.action(Command::pasteNext));
    EXPECT_EQ(menu.actions().first()->text(), "Paste Stack (2)");
    EXPECT_FALSE(menu.actions().first()->isEnabled());
    menu.action(Command::clearStack)->trigger();
    EXPECT_TRUE(pasteStack.items().isEmpty());
    EXPECT_FALSE(menu.action(Command::pasteNext));
}

TEST_F(MenuBarTest, CaptureRowsStartTheirSessionOnlyAfterTheMenuIsGone)
{
    MenuBarView menu(container, needs());
    const qsizetype before = captureRig.overlay.startedFlows().size();
    menu.action(Command::captureWindow)->trigger();
    // Not at once: the menu leaves the screen first.
    EXPECT_EQ(captureRig.overlay.startedFlows().size(), before);
    ASSERT_TRUE(QTest::qWaitFor([&] { return captureRig.overlay.startedFlows().size() > before; }));
    EXPECT_EQ(captureRig.overlay.startedFlows().size(), before + 1);
    captureRig.overlay.dismissAll();
}

TEST_F(MenuBarTest, ClearAllDeletesEveryEntryInOneGoAndKeepsScreenshots)
{
    const QList<qint64> ids = addEntries(3, false) + addEntries(2, true);
    container->mainContext().insert(std::make_shared<ScreenshotItem>(
        QDateTime::currentDateTimeUtc(), QStringLiteral("area"), QByteArray("png"), std::nullopt, std::nullopt));
    ASSERT_TRUE(container->mainContext().save());
    pasteStack.setItems({ids[0], ids[4]});
    MenuBarView menu(container, needs());

    // "Abbrechen" deletes nothing.
    menu.action(Command::clearHistory)->trigger();
    ASSERT_TRUE(menu.clearDialog());
    menu.clearDialog()->cancelButton()->click();
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 5);

    menu.clearAllHistory();
    QPointer<ClearHistoryDialog> dialog = menu.clearDialog();
    ASSERT_TRUE(confirm(dialog));
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 0);
    EXPECT_EQ(container->mainContext().fetchScreenshotItems().size(), 1u);
    EXPECT_TRUE(pasteStack.items().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); })); // closed once the store confirmed
}

TEST_F(MenuBarTest, ClearAllThatTheStoreRefusesSaysSoAndStaysOpen)
{
    addEntries(2, false);
    ConsoleCapture console;
    MenuBarView menu(container, needs());
    menu.clearAllHistory();
    ClearHistoryDialog* dialog = menu.clearDialog();
    // The store refuses every deletion of an entry.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(container->mainContext().path().toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                  "CREATE TRIGGER refuse BEFORE DELETE ON ClipItem BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    EXPECT_FALSE(confirm(dialog));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->failure().startsWith("Das Clipboard konnte nicht gelöscht werden: ")) << dialog->failure().toStdString();
    EXPECT_TRUE(console.contains("Failed to clear history: "));
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 2);
    dialog->cancelButton()->click();
}
