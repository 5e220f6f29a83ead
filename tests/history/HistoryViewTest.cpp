// The history view offscreen over a real store: the keyboard commands the panel posts, the
// selection across refreshes and deletions, the chrome's texts, and a picture of the whole view.
#include "HistoryTestSupport.h"
#include "clipboard/PasteService.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakeWorkspace.h"
#include "history/ClipListView.h"
#include "history/ClipPictures.h"
#include "history/HistoryView.h"
#include "history/ImageDecoding.h"
#include "clipboard/ImageCache.h"
#include "history/QuickLookPanelManager.h"
#include "history/SearchBar.h"
#include "history/WindowManager.h"
#include "platform/NotificationNames.h"
#include "app/AppDelegate.h"
#include "clipboard/ClipboardSuspension.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QLineEdit>
#include <QSemaphore>
#include <QTest>
#include <QToolButton>

namespace {

class HistoryViewTest : public HistoryTest {
protected:
    void SetUp() override
    {
        Theme::install();
        Symbols::installIconTheme();
        preferences.registerDefaults(AppDelegate::registeredDefaults());
        Permissions::setShared(&permissions);
    }
    void TearDown() override { Permissions::setShared(nullptr); }

    // An entry with readable representations, newer than every earlier one.
    ClipItemPtr addEntry(const QString& text, std::vector<ClipRepresentationPtr> reps = {})
    {
        if (reps.empty())
            reps.push_back(sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 100, text.toUtf8()));
        auto item = makeEntry(text, std::move(reps), QDateTime::currentDateTimeUtc().addSecs(-600 + 10 * m_count++));
        context().insert(item);
        EXPECT_TRUE(context().save());
        return item;
    }
    HistoryView& view()
    {
        if (!m_view) {
            HistoryView::Needs needs {preferences, notifications, paste, windows, &quickLook, &permissions};
            needs.images = &caches.images;
            needs.icons = &caches.icons;
            m_view = std::make_unique<HistoryView>(context(), needs, [this] { ++dismissed; }, &queue);
            m_view->resize(420, 560);
        }
        return *m_view;
    }
    void show()
    {
        view();
        notifications.post(QStringLiteral("historyWindowDidShow"));
    }
    // A key's command, as the window manager sends it to the panel's view.
    void post(HistoryCommand command) { emit windows.commandIssued(command); }
    QStringList listed()
    {
        QStringList out;
        for (const auto& model : view().controller().filteredViewModels())
            out << model->searchIndex();
        return out;
    }
    QString selectedText()
    {
        return view().selectedViewModel() ? view().selectedViewModel()->searchIndex() : QString();
    }

    FakePermissions permissions;
    NotificationCenter notifications;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ClipboardSuspension suspension;
    QTemporaryDir traceDir;
    PasteService paste {pasteboard, workspace, keys, queue, suspension, traceDir.filePath(QStringLiteral("trace.txt"))};
    QuickLookPanelManager quickLook {pasteboard};
    WindowManager windows {{paste, notifications, preferences, &quickLook}};
    PictureCaches caches;
    int dismissed = 0;
    std::unique_ptr<HistoryView> m_view;

private:
    int m_count = 0;
};

TEST_F(HistoryViewTest, KeyboardCommandsActOnTheClipboardList)
{
    addEntry(QStringLiteral("first"));
    addEntry(QStringLiteral("<b>second</b> as HTML"),
        {sealedRepresentation(QStringLiteral("public.html"), 400, "<b>second</b>"),
            sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 100, "second as HTML")});
    addEntry(QStringLiteral("third"));
    show();
    EXPECT_EQ(listed(),
        (QStringList {QStringLiteral("third"), QStringLiteral("<b>second</b> as HTML"), QStringLiteral("first")}));
    EXPECT_EQ(view().selectedIndex(), 0);
    EXPECT_EQ(view().footerCountText(), QStringLiteral("3 items"));

    post(HistoryCommand::moveSelectionUp); // first row: stays
    EXPECT_EQ(view().selectedIndex(), 0);
    post(HistoryCommand::moveSelectionDown);
    post(HistoryCommand::moveSelectionDown);
    post(HistoryCommand::moveSelectionDown); // last row: stays
    EXPECT_EQ(selectedText(), QStringLiteral("first"));
    post(HistoryCommand::moveSelectionUp);

    // Shift+Return: the selected entry as plain text only.
    preferences.set(QStringLiteral("autoCloseAfterPaste"), false);
    post(HistoryCommand::pasteSelectedItemAsPlainText);
    ASSERT_EQ(pasteboard.writes().size(), 1);
    ASSERT_EQ(pasteboard.writes().last().size(), 1);
    EXPECT_EQ(pasteboard.writes().last().first().type, QStringLiteral("public.utf8-plain-text"));
    EXPECT_EQ(pasteboard.writes().last().first().data, QByteArray("second as HTML"));
    // Return: every representation.
    post(HistoryCommand::pasteSelectedItem);
    ASSERT_EQ(pasteboard.writes().size(), 2);
    EXPECT_EQ(pasteboard.writes().last().size(), 2);

    // The Screenshots tab: list commands do nothing, Escape still dismisses.
    view().setSelectedTab(HistoryTab::screenshots);
    post(HistoryCommand::moveSelectionDown);
    post(HistoryCommand::pasteSelectedItem);
    post(HistoryCommand::copySelectedItem);
    post(HistoryCommand::showQuickLook);
    EXPECT_EQ(view().selectedIndex(), 1);
    EXPECT_EQ(pasteboard.writes().size(), 2);
    EXPECT_FALSE(quickLook.quickLookPanel());
    post(HistoryCommand::escapePressed);
    EXPECT_EQ(dismissed, 1);
    view().setSelectedTab(HistoryTab::clipboard);

    // Space previews the hovered row before the selected one; Escape closes only the preview.
    const auto models = view().controller().filteredViewModels();
    view().hoverChanged(models[2], true);
    post(HistoryCommand::showQuickLook);
    ASSERT_TRUE(quickLook.quickLookPanel());
    EXPECT_TRUE(view().showingQuickLook());
    post(HistoryCommand::escapePressed);
    EXPECT_FALSE(quickLook.quickLookPanel());
    EXPECT_EQ(dismissed, 1);
    // A leave of another row leaves the hover alone; the hovered row's leave clears it.
    view().hoverChanged(models[0], false);
    EXPECT_EQ(view().hoveredViewModel(), models[2]);
    view().hoverChanged(models[2], false);
    EXPECT_FALSE(view().hoveredViewModel());

    // Closed by other means, the view's record follows.
    post(HistoryCommand::showQuickLook);
    quickLook.hideQuickLook();
    EXPECT_FALSE(view().showingQuickLook());
    post(HistoryCommand::escapePressed);
    EXPECT_EQ(dismissed, 2);
}

TEST_F(HistoryViewTest, SelectionFollowsItsEntryAcrossRefreshesAndDeletions)
{
    addEntry(QStringLiteral("a"));
    addEntry(QStringLiteral("b"));
    addEntry(QStringLiteral("c"));
    view();
    // The panel shows (its show resets the list of this view too).
    windows.setModelContainer(store.container);
    windows.setContentFactory([](ModelContainer&, std::function<void()>) { return new QWidget; });
    windows.showHistoryWindow();
    post(HistoryCommand::moveSelectionDown);
    EXPECT_EQ(selectedText(), QStringLiteral("b"));

    // A new entry arrives while the panel shows: the mark stays on "b".
    addEntry(QStringLiteral("d"));
    notifications.post(NotificationNames::clipboardItemAdded);
    queue.advance(1000);
    EXPECT_EQ(listed().first(), QStringLiteral("d"));
    EXPECT_EQ(selectedText(), QStringLiteral("b"));
    windows.hideHistoryWindow();

    // The hovered entry is forgotten when it is deleted.
    auto models = view().controller().filteredViewModels();
    view().hoverChanged(models.back(), true);
    // Deleting the selected last row selects the new last row.
    post(HistoryCommand::moveSelectionDown);
    post(HistoryCommand::moveSelectionDown);
    EXPECT_EQ(selectedText(), QStringLiteral("a"));
    view().controller().deleteItem(models.back()->clipItem);
    EXPECT_EQ(selectedText(), QStringLiteral("b"));
    EXPECT_FALSE(view().hoveredViewModel());

    // A filter change puts the selection back on the first row.
    view().controller().setFilter(SmartFilter::images());
    view().controller().setFilter(SmartFilter::images());
    EXPECT_EQ(view().selectedIndex(), 0);
}

TEST_F(HistoryViewTest, EmptyStateFooterAndBanner)
{
    permissions.accessibilityTrusted = false;
    show();
    EXPECT_EQ(view().emptyStateTitle(), QStringLiteral("No clipboard history"));
    EXPECT_FALSE(view().emptyState()->isHidden());
    EXPECT_EQ(view().footerCountText(), QStringLiteral("0 items"));
    EXPECT_FALSE(view().accessibilityBanner()->isHidden());
    post(HistoryCommand::pasteSelectedItem);
    post(HistoryCommand::copySelectedItem);
    EXPECT_TRUE(pasteboard.writes().isEmpty());

    addEntry(QStringLiteral("only"));
    permissions.accessibilityTrusted = true;
    show();
    EXPECT_EQ(view().footerCountText(), QStringLiteral("1 item"));
    EXPECT_TRUE(view().emptyState()->isHidden());
    EXPECT_TRUE(view().accessibilityBanner()->isHidden());

    view().controller().setSearchText(QStringLiteral("nothing like it"));
    queue.advance(200);
    EXPECT_EQ(view().emptyStateTitle(), QStringLiteral("No results found"));
    EXPECT_FALSE(view().emptyState()->isHidden());
    EXPECT_EQ(HistoryView::itemCountText(2), QStringLiteral("2 items"));
}

// What the owner gives the window manager reaches the view it builds: the permissions behind the
// banner, the settings opener, the Screenshots page and the annotator.
TEST_F(HistoryViewTest, TheWindowManagersNeedsReachItsView)
{
    FakePermissions untrusted;
    untrusted.accessibilityTrusted = false;
    int settingsOpened = 0;
    QWidget* grid = nullptr;
    QList<QSize> annotated;
    WindowManager owner({.paste = paste,
        .notifications = notifications,
        .preferences = preferences,
        .permissions = &untrusted,
        .openSettings = [&] { ++settingsOpened; },
        .screenshotsPage = [&](QWidget* parent) { return grid = new QWidget(parent); },
        .annotate = [&](const QImage& image) { annotated << image.size(); }});
    owner.setModelContainer(store.container);
    owner.showHistoryWindow();
    ASSERT_TRUE(owner.historyPanel());
    auto* shown = owner.historyPanel()->findChild<HistoryView*>();
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->accessibilityBanner()->isHidden());
    ASSERT_TRUE(grid);
    EXPECT_EQ(shown->screenshotsPage(), grid);
    emit shown->list()->annotateRequested(QImage(30, 20, QImage::Format_ARGB32));
    EXPECT_EQ(annotated, QList<QSize> {QSize(30, 20)});
    // The footer's gear closes the panel, then opens the settings.
    QToolButton* gear = nullptr;
    for (QToolButton* button : shown->footer()->findChildren<QToolButton*>())
        if (button->toolTip() == QStringLiteral("Settings"))
            gear = button;
    ASSERT_TRUE(gear);
    gear->click();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_FALSE(owner.isVisible());

    // Without a page from the owner the Screenshots tab shows its empty state.
    EXPECT_FALSE(view().screenshotsPage());
}

// Views go while their rows' pictures decode (every worker held until then): the results go
// nowhere, neither into the freed caches of a view given none nor into caches the view was given.
TEST_F(HistoryViewTest, APictureDecodedAfterItsViewWentIsDropped)
{
    const QByteArray png = imageBytes(200, 120, "png", QColor(70, 130, 180));
    QSemaphore stuck;
    const int threads = Background::pool().maxThreadCount();
    for (int i = 0; i < threads; ++i)
        Background::run([&stuck] { stuck.acquire(); });
    {
        HistoryView own(context(), {preferences, notifications, paste, windows, &quickLook, &permissions}, [] {}, &queue);
        EXPECT_TRUE(own.list()->pictures().image(QStringLiteral("1"), png, QSize(100, 60)).isNull());
        EXPECT_TRUE(view().list()->pictures().image(QStringLiteral("2"), png, QSize(100, 60)).isNull());
        m_view.reset();
    }
    stuck.release(threads);
    Background::waitForAll();
    EXPECT_EQ(caches.images.count(), 0);
}

TEST_F(HistoryViewTest, PictureOfTheOpenPanel)
{
    addEntry(
        QStringLiteral("Meeting notes: move the release to Thursday, check the paste target on multi-screen setups."));
    auto image = addEntry(QString(),
        {sealedRepresentation(QStringLiteral("public.png"), 900, imageBytes(400, 240, "png", QColor(70, 130, 180)))});
    image->cachedHasImage = true;
    image->thumbnailData = imageBytes(200, 120, "png", QColor(70, 130, 180));
    image->appBundleID = QStringLiteral("org.gnome.Screenshot");
    image->appName = QStringLiteral("Screenshot");
    auto link = addEntry(QStringLiteral("https://www.qt.io/blog"));
    link->linkTitle = QStringLiteral("Qt Blog");
    addEntry(QStringLiteral("git log --oneline -3 && ctest --test-dir build"));
    context().save();
    show();
    view().show();
    // The panel's list paints the image row's thumbnail once it is decoded into the cache.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        ImageDecoding::waitForDecodes();
        QCoreApplication::processEvents();
        for (const ClipItemViewModelPtr& model : view().list()->viewModels())
            if (model->hasImage && !caches.images.image(QString::number(model->id)))
                return false;
        return true;
    }));
    ASSERT_GE(view().list()->model()->rowCount(), 4);
    EXPECT_TRUE(view().list()->viewport()->rect().contains(view().list()->rowRect(3)));
    EXPECT_TRUE(view().grab().save(artifactPath(QStringLiteral("history_view.png"))));
}

}
