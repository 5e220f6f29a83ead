#include "app/QuorvelApp.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/TestSupport.h"
#include "menubar/MenuBarView.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QAction>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class MenuBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The menu asks the hotkey service for its shortcut texts; it is built over these fakes.
        static FakePreferences preferences;
        static FakeHotkeyRegistrar registrar;
        static FakePasteboard pasteboard;
        static FakeWorkspace workspace;
        static FakeKeySynthesizer keys;
        Preferences::setShared(&preferences);
        HotkeyRegistrar::setShared(&registrar);
        Pasteboard::setShared(&pasteboard);
        Workspace::setShared(&workspace);
        KeySynthesizer::setShared(&keys);
    }

    void addEntries(int count, bool pinned)
    {
        ModelContext& context = container->mainContext();
        for (int i = 0; i < count; ++i) {
            auto item = std::make_shared<ClipItem>();
            item->isPinned = pinned;
            item->appendRepresentation(std::make_shared<ClipRepresentation>());
            context.insert(item);
        }
        ASSERT_TRUE(context.save());
    }

    TempStore store;
    std::shared_ptr<ModelContainer> container = store.container;
};

}

TEST_F(MenuBarTest, RowsCarryTheirTitlesAndTheHistoryShortcut)
{
    MenuBarView menu(container, QuorvelApp::menuBarActions());
    QStringList titles;
    for (QAction* action : menu.actions())
        if (!action->isSeparator())
            titles << action->text();
    EXPECT_EQ(titles,
        (QStringList {"Clipboard anzeigen\t⇧⌘V", "Clipboard löschen...", "Settings...\t⌘,", "Check for Updates…",
            "Feedback senden …\t⌘?", "Quit Quorvel\t⌘Q"}));
}

TEST_F(MenuBarTest, ClearAllDeletesPinnedEntriesOnlyAfterConfirmation)
{
    addEntries(3, false);
    addEntries(2, true);
    MenuBarView menu(container, QuorvelApp::menuBarActions());

    menu.setConfirmation([] { return false; }); // "Abbrechen"
    menu.clearAllHistory();
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 5);

    menu.setConfirmation([] { return true; }); // "Alles löschen"
    menu.clearAllHistory();
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 0);
}
