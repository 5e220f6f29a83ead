#include "HistoryTestSupport.h"
#include "history/SavedAppFilters.h"
#include "platform/NotificationCenter.h"

#include <QSignalSpy>

namespace {

class ControllerTest : public HistoryTest {
protected:
    ClipHistoryController& controller()
    {
        if (!m_controller) {
            m_controller = std::make_unique<ClipHistoryController>(preferences, queue);
            m_controller->setModelContext(&context());
        }
        return *m_controller;
    }
    QStringList shown() { return texts(controller().filteredViewModels()); }
    void search(const QString& text)
    {
        controller().setSearchText(text);
        queue.advance(ClipHistoryController::searchDebounce);
    }
    void storeSaved(const QByteArray& json) { preferences.set(SavedAppFilters::preferenceKey, json); }
    QStringList savedIDs()
    {
        QStringList ids;
        for (const AppFilter& app : controller().cachedSavedAppFilters())
            ids << app.bundleID;
        return ids;
    }

private:
    std::unique_ptr<ClipHistoryController> m_controller;
};

}

TEST_F(ControllerTest, SearchIgnoresCaseMatchesEquivalentFormsAndApplicationNames)
{
    add(QStringLiteral("some abc text"));
    add(EntrySpec {QStringLiteral("nothing here"), QStringLiteral("com.abc.tool"), QStringLiteral("Abc Tool")});
    add(QStringLiteral("unrelated"));
    add(QStringLiteral("Cafe\u0301 au lait")); // e + combining acute
    add(QStringLiteral("two words"));
    add(QStringLiteral("\u0130stanbul")); // capital I with dot above
    controller().reset();
    EXPECT_EQ(controller().filteredViewModels().size(), 6u);

    search(QStringLiteral("ABC"));
    EXPECT_EQ(shown(), QStringList({"nothing here", "some abc text"}));
    search(QStringLiteral("CAF\u00C9")); // precomposed capital E acute
    EXPECT_EQ(shown(), QStringList({"Cafe\u0301 au lait"}));
    search(QStringLiteral("i\u0307stanbul"));
    EXPECT_EQ(shown(), QStringList({"\u0130stanbul"}));
    search(QStringLiteral(" "));
    EXPECT_EQ(shown(), QStringList({"two words", "Cafe\u0301 au lait", "nothing here", "some abc text"}));
    search(QString());
    EXPECT_EQ(shown().size(), 6);
}

TEST_F(ControllerTest, SearchWaitsForTypingToRest)
{
    add(QStringLiteral("alpha"));
    add(QStringLiteral("beta"));
    controller().reset();
    QSignalSpy filtered(&controller(), &ClipHistoryController::filteredViewModelsChanged);

    controller().setSearchText(QStringLiteral("a"));
    queue.advance(100);
    controller().setSearchText(QStringLiteral("al"));
    queue.advance(149);
    EXPECT_EQ(filtered.count(), 0);
    EXPECT_EQ(controller().debouncedSearchText(), "");
    queue.advance(1);
    EXPECT_EQ(controller().debouncedSearchText(), "al");
    EXPECT_EQ(shown(), QStringList({"alpha"}));
    EXPECT_EQ(filtered.count(), 1);

    // Clearing filters again 150 ms later.
    controller().setSearchText(QString());
    queue.advance(149);
    EXPECT_EQ(shown(), QStringList({"alpha"}));
    queue.advance(1);
    EXPECT_EQ(shown().size(), 2);

    // Typing and clearing within 150 ms: no intermediate filtering at all.
    filtered.clear();
    controller().setSearchText(QStringLiteral("b"));
    queue.advance(50);
    controller().setSearchText(QString());
    queue.advance(500);
    EXPECT_EQ(filtered.count(), 0);
    EXPECT_EQ(shown().size(), 2);
}

TEST_F(ControllerTest, EveryFilterLetsThroughItsKindAndChoosingItAgainReturnsToAll)
{
    add(EntrySpec {QStringLiteral("picture"), QStringLiteral("org.gimp.GIMP"), QStringLiteral("GIMP"), true});
    add(QStringLiteral("  \thttps://example.org/page"));
    add(EntrySpec {QStringLiteral("preview only"), QStringLiteral("org.example.editor"), QStringLiteral("Editor"),
        false, false, QStringLiteral("Title")});
    add(QStringLiteral("HTTPS://SHOUTING.example"));
    add(EntrySpec {
        QStringLiteral("clip"), QStringLiteral("com.apple.FinalCut"), QStringLiteral("Final Cut Pro"), false, true});
    add(EntrySpec {QStringLiteral("pinned old"), QStringLiteral("org.example.editor"), QStringLiteral("Editor"), false,
        false, {}, true});
    add(QStringLiteral("newest"));
    controller().reset();

    // Pinned entries keep their place by time.
    EXPECT_EQ(shown(),
        QStringList({"newest", "pinned old", "clip", "HTTPS://SHOUTING.example", "preview only",
            "  \thttps://example.org/page", "picture"}));
    controller().setFilter(SmartFilter::images());
    EXPECT_EQ(shown(), QStringList({"picture"}));
    controller().setFilter(SmartFilter::links());
    EXPECT_EQ(shown(), QStringList({"preview only", "  \thttps://example.org/page"}));
    controller().setFilter(SmartFilter::fcp());
    EXPECT_EQ(shown(), QStringList({"clip"}));
    controller().setFilter(SmartFilter::app(QStringLiteral("org.gimp.GIMP"), QStringLiteral("Other name")));
    EXPECT_EQ(shown(), QStringList({"picture"}));

    // Same bundle identifier, other name: a different filter, so it is selected, not toggled off.
    controller().setFilter(SmartFilter::app(QStringLiteral("org.gimp.GIMP"), QStringLiteral("GIMP")));
    EXPECT_EQ(controller().activeFilter(), SmartFilter::app(QStringLiteral("org.gimp.GIMP"), QStringLiteral("GIMP")));
    controller().setFilter(SmartFilter::app(QStringLiteral("org.gimp.GIMP"), QStringLiteral("GIMP")));
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
    controller().setFilter(SmartFilter::links());
    controller().setFilter(SmartFilter::links());
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
    EXPECT_EQ(shown().size(), 7);

    // A search combines with the filter.
    controller().setFilter(SmartFilter::links());
    search(QStringLiteral("example"));
    EXPECT_EQ(shown(), QStringList({"  \thttps://example.org/page"}));
    // Reset returns to an empty search and All.
    controller().reset();
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
    EXPECT_EQ(controller().searchText(), "");
    EXPECT_EQ(shown().size(), 7);
}

TEST_F(ControllerTest, RecentApplicationsScanTheNewest200AndStopAtEight)
{
    for (int i = 0; i < 100; ++i)
        add(EntrySpec {
            QStringLiteral("old %1").arg(i), QStringLiteral("org.old.app%1").arg(i), QStringLiteral("Old %1").arg(i)});
    for (int i = 0; i < 200; ++i)
        add(EntrySpec {QStringLiteral("new %1").arg(i), QStringLiteral("org.one.app"),
            i == 199 ? QStringLiteral("Newest Name") : QStringLiteral("One")});
    controller().reset();
    ASSERT_EQ(controller().cachedRecentApps().size(), 1u);
    EXPECT_EQ(controller().cachedRecentApps().front(), (AppFilter {"org.one.app", "Newest Name"}));

    for (int i = 0; i < 12; ++i) {
        add(EntrySpec {QStringLiteral("x"), QString(), QStringLiteral("No identifier")});
        add(EntrySpec {QStringLiteral("y"), QStringLiteral("org.many.app%1").arg(i), QStringLiteral("Many %1").arg(i)});
    }
    controller().reset();
    ASSERT_EQ(controller().cachedRecentApps().size(), 8u);
    EXPECT_EQ(controller().cachedRecentApps().front().bundleID, "org.many.app11");
    for (const AppFilter& app : controller().cachedRecentApps())
        EXPECT_FALSE(app.bundleID.isEmpty());
}

TEST_F(ControllerTest, SavedFiltersDecodeLenientlyAndReReadBeforeWriting)
{
    storeSaved(R"([["idA","A"],["idB"],["idC","C","x"],["idD","D"]])");
    controller().updateCaches();
    EXPECT_EQ(savedIDs(), QStringList({"idA", "idD"}));

    // Malformed elements are skipped, never the whole list.
    storeSaved(R"([["idA","A"], 7, {"x":1}, ["idN", 3], ["", "Empty"], "text", ["idD","D"]])");
    EXPECT_EQ(savedIDs(), QStringList({"idA", "idD"})); // the preference change updated the caches
    EXPECT_TRUE(SavedAppFilters::decode(QVariant(QByteArray(R"({"idA":"A"})"))).empty());
    EXPECT_TRUE(SavedAppFilters::decode(QVariant()).empty());

    // A "/" is written as \/; both forms read.
    const std::vector<AppFilter> slashed {{QStringLiteral("com.example/App"), QStringLiteral("A/B")}};
    EXPECT_EQ(SavedAppFilters::encode(slashed), QByteArray(R"([["com.example\/App","A\/B"]])"));
    EXPECT_EQ(SavedAppFilters::decode(QVariant(SavedAppFilters::encode(slashed))), slashed);
    EXPECT_EQ(SavedAppFilters::decode(QVariant(QByteArray(R"([["com.example/App","A/B"]])"))), slashed);

    // Already saved under another name: nothing changes.
    const int writes = preferences.persistCount();
    controller().saveAppFilter(QStringLiteral("idA"), QStringLiteral("Renamed"));
    EXPECT_EQ(preferences.persistCount(), writes);

    // The settings window stored another list meanwhile (without a change signal reaching us):
    // a save starts from the stored value, not from the cache.
    preferences.blockSignals(true);
    storeSaved(R"([["idS","Settings"]])");
    preferences.blockSignals(false);
    controller().saveAppFilter(QStringLiteral("idE"), QStringLiteral("E"));
    EXPECT_EQ(savedIDs(), QStringList({"idS", "idE"}));
    EXPECT_EQ(
        preferences.dataForKey(SavedAppFilters::preferenceKey), QByteArray(R"([["idS","Settings"],["idE","E"]])"));

    // Unreadable data: no saved chips; saving replaces it with the one application.
    storeSaved("not json");
    EXPECT_TRUE(savedIDs().isEmpty());
    controller().saveAppFilter(QStringLiteral("idZ"), QStringLiteral("Z"));
    EXPECT_EQ(preferences.dataForKey(SavedAppFilters::preferenceKey), QByteArray(R"([["idZ","Z"]])"));
}

TEST_F(ControllerTest, AHugeSavedListReadsAsTheNewestFiftyDistinctFilters)
{
    // 20,000 stored filters, every application saved twice (an older and a newer name).
    QByteArray json = "[";
    for (int i = 0; i < 20000; ++i)
        json += QStringLiteral(R"(%1["id%2","Name%3"])").arg(i ? "," : "").arg(i % 10000).arg(i).toUtf8();
    json += "]";
    storeSaved(json);
    controller().updateCaches();
    const std::vector<AppFilter>& saved = controller().cachedSavedAppFilters();
    ASSERT_EQ(saved.size(), size_t(SavedAppFilters::maxCount));
    EXPECT_EQ(saved.front().bundleID, QStringLiteral("id9950"));
    EXPECT_EQ(saved.front().name, QStringLiteral("Name19950")); // the newer name of a duplicate
    EXPECT_EQ(saved.back().bundleID, QStringLiteral("id9999"));
    // Chips: All, Images, Links and the fifty saved ones (recent applications aside).
    EXPECT_LE(controller().offeredChips().size(), size_t(4 + SavedAppFilters::maxCount + 8));

    // Saving one more keeps the list at the bound, dropping the oldest.
    controller().saveAppFilter(QStringLiteral("idNew"), QStringLiteral("New"));
    const std::vector<AppFilter> stored = SavedAppFilters::load(preferences);
    ASSERT_EQ(stored.size(), size_t(SavedAppFilters::maxCount));
    EXPECT_EQ(stored.front().bundleID, QStringLiteral("id9951"));
    EXPECT_EQ(stored.back().bundleID, QStringLiteral("idNew"));
}

TEST_F(ControllerTest, RemovingTheActiveSavedFilterReturnsToAll)
{
    add(EntrySpec {QStringLiteral("a"), QStringLiteral("idA"), QStringLiteral("A")});
    add(EntrySpec {QStringLiteral("b"), QStringLiteral("idB"), QStringLiteral("B")});
    storeSaved(R"([["idA","A"],["idB","B"]])");
    controller().reset();
    controller().setFilter(SmartFilter::app(QStringLiteral("idA"), QStringLiteral("A")));
    controller().removeAppFilter(QStringLiteral("idB"));
    EXPECT_EQ(controller().activeFilter(), SmartFilter::app(QStringLiteral("idA"), QStringLiteral("A")));
    EXPECT_EQ(shown(), QStringList({"a"}));
    controller().removeAppFilter(QStringLiteral("idA"));
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
    EXPECT_EQ(shown(), QStringList({"b", "a"}));
    EXPECT_EQ(preferences.dataForKey(SavedAppFilters::preferenceKey), QByteArray("[]"));
}

TEST_F(ControllerTest, VanishedChipsFallBackToAll)
{
    const ClipItemPtr clip = add(EntrySpec {
        QStringLiteral("clip"), QStringLiteral("com.apple.FinalCut"), QStringLiteral("Final Cut Pro"), false, true});
    add(QStringLiteral("text"));
    controller().reset();
    controller().setFilter(SmartFilter::fcp());
    EXPECT_EQ(shown(), QStringList({"clip"}));
    // Deleting the only Final Cut Pro content takes the FCP chip away.
    controller().deleteItem(clip);
    EXPECT_FALSE(controller().cachedHasFCPContent());
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
    EXPECT_EQ(shown(), QStringList({"text"}));

    // Switching a chip off while its filter is active.
    controller().setFilter(SmartFilter::images());
    preferences.set(QStringLiteral("showImagesFilter"), false);
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
    // A suggestion disappears with its chip too.
    controller().setFilter(SmartFilter::app(QStringLiteral("org.example.editor"), QStringLiteral("Editor")));
    preferences.set(QStringLiteral("showRecentApps"), false);
    EXPECT_EQ(controller().activeFilter(), SmartFilter::all());
}

TEST_F(ControllerTest, PinAndDeleteReachBothListsAtOnce)
{
    const ClipItemPtr first = add(QStringLiteral("first match"));
    add(QStringLiteral("second"));
    const ClipItemPtr third = add(QStringLiteral("third match"));
    controller().reset();
    search(QStringLiteral("match"));
    QSignalSpy changed(&controller(), &ClipHistoryController::itemChanged);

    controller().togglePin(first);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_TRUE(controller().viewModels()[2]->isPinned);
    EXPECT_EQ(controller().filteredViewModels()[1], controller().viewModels()[2]); // shared, not re-sorted
    EXPECT_TRUE(context().clipItem(first->persistentID)->isPinned);

    controller().deleteItem(third);
    EXPECT_EQ(texts(controller().viewModels()), QStringList({"second", "first match"}));
    EXPECT_EQ(shown(), QStringList({"first match"}));
    EXPECT_EQ(context().clipItem(third->persistentID), nullptr);

    // Without a context the entry leaves the lists only.
    controller().setModelContext(nullptr);
    controller().deleteItem(first);
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_NE(context().clipItem(first->persistentID), nullptr);
}

TEST_F(ControllerTest, RefreshesAreThrottledAndTheLastRequestIsServed)
{
    add(QStringLiteral("one"));
    controller().reset();
    controller().setFilter(SmartFilter::links());
    QSignalSpy fetched(&controller(), &ClipHistoryController::viewModelsChanged);
    NotificationCenter center;
    bool visible = true;
    controller().observeClipboardChanges(center, [&] { return visible; });

    // A burst over 1.2 s: one request every 100 ms.
    for (int i = 0; i < 12; ++i) {
        center.post(QStringLiteral("clipboardItemAdded"));
        queue.advance(100);
    }
    queue.advance(1000);
    // One fetch at the first request (0 ms), then one per 500 ms interval that saw requests
    // (500, 1000) and one for the last requests (1500): never two within 500 ms.
    EXPECT_EQ(fetched.count(), 4);
    EXPECT_EQ(controller().activeFilter(), SmartFilter::links()); // a refresh keeps the filter

    fetched.clear();
    add(QStringLiteral("two"));
    controller().requestRefresh();
    queue.runPending();
    EXPECT_EQ(fetched.count(), 1);
    EXPECT_EQ(texts(controller().viewModels()), QStringList({"two", "one"}));

    // While the surface is hidden the notification is ignored.
    queue.advance(1000);
    fetched.clear();
    visible = false;
    center.post(QStringLiteral("clipboardItemAdded"));
    queue.advance(1000);
    EXPECT_EQ(fetched.count(), 0);
}

TEST_F(ControllerTest, WithoutContextResetKeepsTheListAndPendingWorkOutlivesNothing)
{
    ClipHistoryController detached(preferences, queue);
    detached.reset();
    EXPECT_TRUE(detached.viewModels().empty());
    {
        ClipHistoryController gone(preferences, queue);
        gone.setSearchText(QStringLiteral("x"));
        gone.requestRefresh();
    }
    queue.advance(1000); // the dead controller's work does nothing
    SUCCEED();
}
