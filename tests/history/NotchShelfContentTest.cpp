#include "HistoryTestSupport.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "fakes/FakeForeignWindowTracker.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeWorkspace.h"
#include "history/ImageDecoding.h"
#include "history/NotchShelfContentView.h"
#include "history/NotchShelfItemCard.h"
#include "history/NotchShelfWindowManager.h"
#include "history/SearchBar.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEnterEvent>
#include <QMenu>

namespace {

class ShelfContentTest : public HistoryTest {
protected:
    std::unique_ptr<NotchShelfContentView> makeView()
    {
        NotchShelfContentView::Needs needs {preferences, notifications, paste, caches.images, caches.icons, nullptr,
            &tracker, [this](const ClipItemPtr& item) { quickLooks.push_back(item); }, &queue};
        auto view = std::make_unique<NotchShelfContentView>(context(), manager, std::move(needs));
        view->resize(
            NotchShelfGeometry(std::nullopt).expandedContentFrame().width(), NotchShelfContentView::requiredHeight());
        return view;
    }
    ClipItemPtr addText(const QString& text, bool pinned = false)
    {
        ClipItemPtr item = makeTextEntry(text);
        item->timestamp = QDateTime::currentDateTimeUtc().addSecs(-60 * ++m_age);
        item->isPinned = pinned;
        context().insert(item);
        EXPECT_TRUE(context().save());
        return item;
    }
    static QStringList labels(QMenu& menu)
    {
        QStringList out;
        for (QAction* action : menu.actions())
            out << action->text();
        return out;
    }

    NotificationCenter notifications;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ClipboardSuspension suspension;
    QTemporaryDir dir;
    PasteService paste {pasteboard, workspace, keys, queue, suspension, dir.filePath(QStringLiteral("trace.txt"))};
    FakeForeignWindowTracker tracker;
    PictureCaches caches;
    NotchShelfWindowManager manager {{&preferences, nullptr, nullptr, nullptr, notifications, queue}};
    std::vector<ClipItemPtr> quickLooks;

private:
    int m_age = 0;
};

}

TEST_F(ShelfContentTest, CardsShowEachKindAndTheMenuOffersEveryAction)
{
    auto fcp = std::make_shared<ClipItem>(QDateTime::currentDateTimeUtc().addSecs(-7200),
        QStringLiteral("com.apple.FinalCut"), QStringLiteral("Final Cut Pro"), false, QStringLiteral("3 clips"),
        std::vector<ClipRepresentationPtr> {}, std::nullopt, std::nullopt, false, true, 3, std::nullopt, std::nullopt,
        std::nullopt, false, std::nullopt, false, std::nullopt);
    context().insert(fcp);
    auto link = std::make_shared<ClipItem>(QDateTime::currentDateTimeUtc().addSecs(-3600),
        QStringLiteral("org.mozilla.firefox"), QStringLiteral("Firefox"), false,
        QStringLiteral("https://example.org/article"), std::vector<ClipRepresentationPtr> {},
        QStringLiteral("Example article"), imageBytes(320, 180, "jpg", QColor(40, 120, 200)), false, false, 0,
        std::nullopt, std::nullopt, std::nullopt, false, std::nullopt, false, std::nullopt);
    context().insert(link);
    auto image = std::make_shared<ClipItem>(QDateTime::currentDateTimeUtc().addSecs(-1800),
        QStringLiteral("org.gimp.GIMP"), QStringLiteral("GIMP"), false, QString(),
        std::vector<ClipRepresentationPtr> {}, std::nullopt, std::nullopt, true, false, 0, std::nullopt, std::nullopt,
        imageBytes(400, 300, "png", QColor(230, 140, 40)), false, std::nullopt, false, std::nullopt);
    context().insert(image);
    ASSERT_TRUE(context().save());
    addText(QStringLiteral("Pinned reminder"), true);
    addText(QStringLiteral(
        "Meeting notes\n- ship the shelf\n- review the tab\n- write the tests\n- look at the pictures\n- sixth line"));

    auto view = makeView();
    const std::vector<ClipItemViewModelPtr> cards = view->cardModels();
    ASSERT_EQ(cards.size(), 5u);
    EXPECT_EQ(view->emptyText(), QString());
    // Painted cards: no card is a widget until the pointer comes onto it.
    EXPECT_TRUE(view->findChildren<NotchShelfItemCard*>().isEmpty());
    EXPECT_EQ(view->cardRect(0).size(), QSize(260, 190));
    EXPECT_EQ(view->cardRect(1).left() - view->cardRect(0).right() - 1, NotchShelfContentView::cardSpacing);
    EXPECT_EQ(NotchShelfCardDelegate::placeholderSymbol(*cards[0]), cards[0]->contentTypeIcon);
    EXPECT_EQ(NotchShelfCardDelegate::placeholderSymbol(*cards[2]), QString()); // the image
    EXPECT_EQ(NotchShelfCardDelegate::placeholderSymbol(*cards[3]), QString()); // the link's picture
    EXPECT_EQ(NotchShelfCardDelegate::placeholderSymbol(*cards[4]), QStringLiteral("film.stack"));

    // Pinned entries come first. Quick look acts on the entry.
    std::unique_ptr<QMenu> menu(view->hoverCardAt(1)->buildContextMenu());
    EXPECT_EQ(view->hoverCard()->viewModel(), cards[1]);
    EXPECT_EQ(view->hoverCard()->geometry().size(), QSize(260, 190));
    EXPECT_EQ(labels(*menu),
        (QStringList {"Paste", "Paste as Plain Text", "Copy to Clipboard", "", "Pin", "Quick Look", "", "Delete"}));
    menu->actions()[5]->trigger();
    ASSERT_EQ(quickLooks.size(), 1u);
    EXPECT_EQ(quickLooks[0], cards[1]->clipItem);
    menu.reset();

    // The tile brightens under the pointer; one card widget at a time.
    NotchShelfItemCard* first = view->hoverCardAt(0);
    std::unique_ptr<QMenu> pinnedMenu(first->buildContextMenu());
    EXPECT_EQ(labels(*pinnedMenu)[4], QStringLiteral("Unpin"));
    pinnedMenu.reset();
    EXPECT_DOUBLE_EQ(first->fillOpacity(), 0.06);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(first, &enter);
    EXPECT_DOUBLE_EQ(first->fillOpacity(), 0.12);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view->findChildren<NotchShelfItemCard*>().size(), 1);

    // Delete acts on the entry; the row follows it.
    menu.reset(view->hoverCardAt(1)->buildContextMenu());
    menu->actions()[7]->trigger();
    EXPECT_EQ(view->cardCount(), 4);
    menu.reset();

    view->show();
    // Pictures decode off the main thread.
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !caches.images.image(QString::number(view->cardModels()[1]->id))) {
        ImageDecoding::waitForDecodes();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const QImage grabbed = view->grab().toImage();
    const QRect picture = view->cardRect(1).adjusted(10, 10, -10, -50);
    EXPECT_GT(grabbed.pixelColor(picture.center()).red(), 150) << "the image card's orange picture is not painted";
    EXPECT_TRUE(grabbed.save(artifactPath(QStringLiteral("notch_shelf_content_offscreen.png"))));
}

TEST_F(ShelfContentTest, EmptyTextsAndSearch)
{
    auto empty = makeView();
    EXPECT_EQ(empty->emptyText(), QStringLiteral("No clips yet"));
    empty.reset();

    addText(QStringLiteral("alpha"));
    addText(QStringLiteral("beta"));
    auto view = makeView();
    view->searchBar()->setText(QStringLiteral("zzz"));
    emit view->searchBar()->textChanged(QStringLiteral("zzz"));
    queue.advance(ClipHistoryController::searchDebounce);
    EXPECT_EQ(view->emptyText(), QStringLiteral("No results found"));
    emit view->searchBar()->textChanged(QString());
    queue.advance(ClipHistoryController::searchDebounce);
    EXPECT_EQ(view->cardCount(), 2);
}

TEST_F(ShelfContentTest, SearchingAShownShelfShowsTheMatchingCardsAndClearingBringsAllBack)
{
    addText(QStringLiteral("release checklist"));
    addText(QStringLiteral("beta"));
    auto view = makeView();
    view->show();
    QCoreApplication::processEvents();
    const auto shownCards = [&] {
        int shown = 0;
        for (int i = 0; i < view->cardCount(); ++i)
            shown += view->isCardShown(i);
        return shown;
    };
    ASSERT_EQ(shownCards(), 2);
    emit view->searchBar()->textChanged(QStringLiteral("checklist"));
    queue.advance(ClipHistoryController::searchDebounce);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->cardCount(), 1);
    EXPECT_EQ(shownCards(), 1);
    emit view->searchBar()->textChanged(QString());
    queue.advance(ClipHistoryController::searchDebounce);
    QCoreApplication::processEvents();
    EXPECT_EQ(shownCards(), 2);
}

TEST_F(ShelfContentTest, CardAgesAreSetAnewWhileTheShelfShows)
{
    addText(QStringLiteral("alpha")); // a minute old
    auto view = makeView();
    EXPECT_EQ(view->ageText(0), QStringLiteral("1 min. ago"));
    view->refreshAges(QDateTime::currentDateTimeUtc().addSecs(10 * 60));
    EXPECT_EQ(view->ageText(0), QStringLiteral("11 min. ago"));
    EXPECT_LE(NotchShelfContentView::ageRefreshMs, 30000);
}

TEST_F(ShelfContentTest, PasteGoesToTheLastForeignApplicationAndCopyOnlyCopies)
{
    const RunningApplication editor {QStringLiteral("org.example.editor"), QStringLiteral("Editor"), 1234, 77};
    // The shelf holds the focus (its search field was clicked): the frontmost application is us.
    workspace.frontmost = workspace.current;
    workspace.running = {workspace.current,
        RunningApplication {QStringLiteral("org.example.other"), QStringLiteral("Other"), 99, 5}, editor};
    tracker.last = editor;
    addText(QStringLiteral("paste me"));
    auto view = makeView();
    ASSERT_EQ(view->cardCount(), 1);
    std::unique_ptr<QMenu> menu(view->hoverCardAt(0)->buildContextMenu());
    menu->actions()[0]->trigger();
    EXPECT_EQ(paste.targetApp(), editor);

    queue.advance(5000);
    const qsizetype pasted = keys.pastes.size();
    const qsizetype writes = pasteboard.writes().size();
    menu->actions()[2]->trigger(); // Copy to Clipboard: written, no keystroke
    queue.advance(5000);
    EXPECT_EQ(pasteboard.writes().size(), writes + 1);
    EXPECT_EQ(keys.pastes.size(), pasted);
}
