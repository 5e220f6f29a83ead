// The gallery grid, the recordings list and their window managers on a seeded store, offscreen:
// order, deletes followed by every view, the movie file removed after the record, reset, copy,
// reveal, and the one-window behaviour.
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"
#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationWindowManager.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/FakeWorkspace.h"
#include "gallery/CardGrid.h"
#include "gallery/CardGridView.h"
#include "gallery/GalleryModel.h"
#include "gallery/CardPainting.h"
#include "gallery/RecordingCard.h"
#include "gallery/RecordingQuickLook.h"
#include "gallery/RecordingsView.h"
#include "gallery/RecordingsWindowManager.h"
#include "gallery/ScreenshotCard.h"
#include "gallery/ScreenshotsGridView.h"
#include "gallery/ScreenshotsWindowManager.h"
#include "gallery/ThumbnailLoader.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/RecordingStorage.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "GalleryTestSupport.h"

using namespace gallerytest;
using Kind = GalleryItem::Kind;

namespace {

class GalleryViewsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Cards deleted later and results still on their way are done with before the store goes.
        Background::waitForAll();
        thumbnails.waitUntilIdle();
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ModelContext& context() { return store.container->mainContext(); }
    // The gallery's services, on fakes.
    Gallery::Needs needs() { return {editors, suspension, pasteboard, recognizer, revealer, workspace, thumbnails}; }
    template <typename View> std::unique_ptr<View> shown(QSize size = QSize(640, 480))
    {
        auto view = std::make_unique<View>(needs(), store.container);
        view->resize(size);
        view->show();
        QApplication::processEvents();
        return view;
    }
    static QStringList actionTexts(QMenu* menu)
    {
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
        return texts;
    }

    MoviesFolder movies;
    TempStore store;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeFileRevealer revealer;
    ClipboardSuspension suspension;
    FakeTextRecognizer recognizer;
    FakePreferences editorPreferences;
    AnnotationWindowManager editors {{{editorPreferences, pasteboard, suspension, {}}, nullptr}};
    ThumbnailLoader thumbnails;
};

}

TEST_F(GalleryViewsTest, StampsNameRecordsNewestFirstWithoutTheirImages)
{
    seedScreenshot(context(), at(10), png(filled(Qt::red)));
    seedScreenshot(context(), at(30), png(filled(Qt::red)));
    seedScreenshot(context(), at(20), png(filled(Qt::red)));
    FetchDescriptor two;
    two.limit = 2;
    const std::vector<RecordStamp> stamps = context().fetchScreenshotStamps(two);
    ASSERT_EQ(stamps.size(), 2u);
    EXPECT_EQ(stamps[0], (RecordStamp {2, at(30)}));
    EXPECT_EQ(stamps[1], (RecordStamp {3, at(20)}));
    EXPECT_TRUE(context().fetchRecordingStamps().empty());
}

TEST_F(GalleryViewsTest, GridListsRecordsByTimeAndEveryViewFollowsADelete)
{
    const auto older = seedScreenshot(context(), at(10), png(filled(Qt::red)));
    const auto tied = seedRecording(context(), at(10), QStringLiteral("tied.mov"));
    const auto newest = seedScreenshot(context(), at(20), png(filled(Qt::green)));
    const auto oldest = seedRecording(context(), at(5), QStringLiteral("oldest.mov"));
    const QString moviePath = movies.addMovie(QStringLiteral("oldest.mov"));
    ASSERT_EQ(older->persistentID, tied->persistentID); // the two tables number rows alike

    auto grid = shown<ScreenshotsGridView>();
    auto tab = shown<ScreenshotsGridView>(QSize(380, 600)); // the history panel's tab
    auto recordingsView = shown<RecordingsView>();
    const std::vector<GalleryItem> expected {{Kind::screenshot, newest->persistentID, at(20)},
        {Kind::screenshot, older->persistentID, at(10)}, {Kind::recording, tied->persistentID, at(10)},
        {Kind::recording, oldest->persistentID, at(5)}};
    EXPECT_EQ(grid->items(), expected);
    EXPECT_TRUE(qobject_cast<ScreenshotCard*>(grid->cardFor(expected[1].id())));
    EXPECT_TRUE(qobject_cast<RecordingCard*>(grid->cardFor(expected[2].id())));
    EXPECT_EQ(recordingsView->items().size(), 2u);

    // The card's "Löschen": the record goes, then its movie; the other views drop their cards.
    auto* card = qobject_cast<RecordingCard*>(grid->cardFor(expected[3].id()));
    ASSERT_TRUE(card);
    std::unique_ptr<QMenu> menu(card->makeContextMenu(nullptr));
    EXPECT_EQ(actionTexts(menu.get()),
        (QStringList {QStringLiteral("Abspielen"), QStringLiteral("Im Dateimanager zeigen"), QStringLiteral("—"),
            QStringLiteral("Löschen")}));
    menu->actions().last()->trigger();
    EXPECT_FALSE(context().recordingItem(oldest->persistentID));
    EXPECT_FALSE(QFileInfo::exists(moviePath));
    EXPECT_EQ(grid->items().size(), 3u);
    EXPECT_EQ(tab->items().size(), 3u);
    ASSERT_EQ(recordingsView->items().size(), 1u);
    EXPECT_EQ(recordingsView->items()[0]->persistentID, tied->persistentID);

    // A recording whose movie is already gone is deleted without a word; the screenshot with the
    // same row id stays.
    ConsoleCapture console;
    recordingsView->deleteItem(recordingsView->items()[0]);
    EXPECT_TRUE(console.lines.isEmpty());
    EXPECT_TRUE(recordingsView->items().empty());
    EXPECT_TRUE(recordingsView->grid()->emptyState()->isVisible());
    EXPECT_EQ(grid->items().size(), 2u);
    EXPECT_TRUE(context().screenshotItem(older->persistentID));

    // Deleting the last items shows the empty state without a reload.
    grid->deleteItem(grid->items()[0]);
    grid->deleteItem(grid->items()[0]);
    EXPECT_TRUE(grid->items().empty());
    EXPECT_TRUE(grid->grid()->emptyState()->isVisible());
    EXPECT_EQ(grid->grid()->emptyState()->findChild<QLabel*>(QStringLiteral("emptyCaption"))->text(),
        QStringLiteral("Noch keine Screenshots oder Aufnahmen"));
    EXPECT_TRUE(tab->items().empty());
    EXPECT_TRUE(context().fetchScreenshotStamps().empty());
}

TEST_F(GalleryViewsTest, NewRecordsArriveByTheirNotifications)
{
    auto grid = shown<ScreenshotsGridView>();
    auto recordingsView = shown<RecordingsView>();
    EXPECT_TRUE(grid->items().empty());
    seedScreenshot(context(), at(10), png(filled(Qt::red)));
    const auto recording = seedRecording(context(), at(20), QStringLiteral("new.mov"));
    NotificationCenter::shared().post(NotificationNames::recordingSaved);
    ASSERT_EQ(grid->items().size(), 2u);
    EXPECT_EQ(grid->items()[0].id(), (GalleryItem::ID {Kind::recording, recording->persistentID}));
    ASSERT_EQ(recordingsView->items().size(), 1u);
    // A hidden grid reads the store again when it is shown.
    grid->hide();
    seedScreenshot(context(), at(30), png(filled(Qt::red)));
    NotificationCenter::shared().post(NotificationNames::screenshotSaved);
    EXPECT_EQ(grid->items().size(), 2u);
    grid->show();
    EXPECT_EQ(grid->items().size(), 3u);
}

TEST_F(GalleryViewsTest, AMovieNameThatLeavesTheFolderIsNeverRemoved)
{
    const QString outside
        = QFileInfo(RecordingStorage::recordingsDirectory()).dir().filePath(QStringLiteral("keep.mov"));
    writeFile(outside, "not ours");
    const auto hostile = seedRecording(context(), at(10), QStringLiteral("../keep.mov"));
    auto recordingsView = shown<RecordingsView>();
    recordingsView->deleteItem(hostile);
    EXPECT_FALSE(context().recordingItem(hostile->persistentID));
    EXPECT_EQ(readFile(outside), QByteArray("not ours"));
}

TEST_F(GalleryViewsTest, OnlyCardsOnScreenReadTheirPictures)
{
    for (int i = 0; i < 12; ++i)
        seedScreenshot(context(), at(i), png(filled(QColor::fromHsv(i * 30, 200, 200))));
    auto grid = shown<ScreenshotsGridView>(QSize(640, 300));
    thumbnails.waitUntilIdle();
    GalleryModel* model = grid->model();
    ASSERT_EQ(model->rowCount(), 12);
    const auto loaded = [&] {
        int count = 0;
        for (int row = 0; row < model->rowCount(); ++row)
            count += model->picture(row)->image().isNull() ? 0 : 1;
        return count;
    };
    EXPECT_LE(loaded(), 2);
    EXPECT_TRUE(grid->grid()->view()->picturesArrived());
    // A request whose card has scrolled away by its turn reads nothing.
    QWidget hidden;
    bool read = false, skipped = false;
    thumbnails.request(
        &hidden,
        [&] {
            read = true;
            return QList<QByteArray>();
        },
        QSize(10, 10), [](QImage, int) {}, [&] { skipped = true; });
    thumbnails.waitUntilIdle();
    EXPECT_TRUE(skipped);
    EXPECT_FALSE(read);
    // Likewise one whose row is no longer wanted.
    read = skipped = false;
    thumbnails.request(
        model,
        [&] {
            read = true;
            return QList<QByteArray>();
        },
        QSize(10, 10), [](QImage, int) {}, [&] { skipped = true; }, [] { return false; });
    thumbnails.waitUntilIdle();
    EXPECT_TRUE(skipped);
    EXPECT_FALSE(read);
    QScrollBar* bar = grid->grid()->scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    thumbnails.waitUntilIdle();
    EXPECT_FALSE(model->picture(11)->image().isNull());
    EXPECT_LE(loaded(), 4);
    // Pictures are kept at the size shown.
    EXPECT_LE(model->picture(11)->image().height(), ScreenshotCard::pictureHeight);
}

// A shown PNG that does not decode gives way to the untouched capture; with both damaged the user
// is told and the clipboard keeps what it had.
TEST_F(GalleryViewsTest, CopyPutsOnlyTheStoredPNGWhileMonitoringIsSuspended)
{
    const QByteArray bytes = png(filled(Qt::red));
    const auto item = seedScreenshot(context(), at(10), bytes);
    const auto rescued = seedScreenshot(context(), at(8), QByteArray("not a png"), bytes);
    const auto broken = seedScreenshot(context(), at(6), QByteArray("not a png"), QByteArray("nor this"));
    pasteboard.setContent(PasteboardTypes::utf8PlainText, "earlier");
    auto grid = shown<ScreenshotsGridView>();
    auto* card = qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, item->persistentID}));
    ASSERT_TRUE(card);
    const int holders = suspension.holders();
    QElapsedTimer held;
    held.start();
    card->copyToClipboard();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pasteboard.types() == QStringList {PasteboardTypes::png}; }, 10000));
    EXPECT_EQ(suspension.holders(), holders + 1);
    EXPECT_EQ(pasteboard.data(PasteboardTypes::png, 1 << 30), bytes);
    // The hold ends by a timer, and a test slowed for a moment would find it over: its length is
    // measured from before the copy instead of looked for within it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return suspension.holders() == holders; }, 10000));
    EXPECT_GE(held.elapsed(), ScreenshotCard::copySuspensionMs);

    pasteboard.setContent(PasteboardTypes::utf8PlainText, "earlier");
    qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, rescued->persistentID}))->copyToClipboard();
    EXPECT_TRUE(QTest::qWaitFor([&] { return pasteboard.data(PasteboardTypes::png, 1 << 30) == bytes; }, 10000));
    pasteboard.setContent(PasteboardTypes::utf8PlainText, "earlier");
    qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, broken->persistentID}))->copyToClipboard();
    QMessageBox* told = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (told = grid->findChild<QMessageBox*>()); }, 10000));
    EXPECT_EQ(told->windowTitle(), QStringLiteral("Kopieren nicht möglich"));
    EXPECT_EQ(pasteboard.types(), QStringList {PasteboardTypes::utf8PlainText});
}

TEST_F(GalleryViewsTest, RecordingsListHoldsTheNewest200WithTheirDurations)
{
    for (int i = 0; i < 201; ++i)
        seedRecording(context(), at(i), QStringLiteral("r%1.mov").arg(i), i == 200 ? 3725 : 5);
    auto recordingsView = shown<RecordingsView>();
    ASSERT_EQ(recordingsView->items().size(), 200u);
    EXPECT_EQ(recordingsView->items().front()->timestamp, at(200));
    EXPECT_EQ(recordingsView->items().back()->timestamp, at(1));
    EXPECT_EQ(recordingsView->cardFor(recordingsView->items()[0]->persistentID)->badgeText(), QStringLiteral("62:05"));
    EXPECT_EQ(recordingsView->cardFor(recordingsView->items()[1]->persistentID)->badgeText(), QStringLiteral("00:05"));
    // 640 wide: as many columns of 150 to 200 as fit.
    EXPECT_EQ(recordingsView->grid()->columnCount(), 3);
    EXPECT_GE(recordingsView->grid()->columnWidth(), 150);
    EXPECT_LE(recordingsView->grid()->columnWidth(), 200);
}

TEST_F(GalleryViewsTest, TheDurationBadgeSitsInsideTheDrawnPicture)
{
    // A 3:2 thumbnail is narrower than the card's picture band: the badge keeps to the picture.
    const auto item = seedRecording(
        context(), at(1), QStringLiteral("r.mov"), 9, png(filled(Qt::red, QSize(300, 200))));
    auto recordingsView = shown<RecordingsView>();
    RecordingCard* card = recordingsView->cardFor(item->persistentID);
    ASSERT_TRUE(card);
    card->grab();
    thumbnails.waitUntilIdle();
    QApplication::processEvents();
    const QImage painted = card->grab().toImage();
    const QRect picture = CardPainting::pictureRect(card->rect(), RecordingCard::pictureHeight, QSize(300, 200));
    ASSERT_LT(picture.width(), CardPainting::pictureFrame(card->rect(), RecordingCard::pictureHeight).width());
    const QRect badge = card->badgeRect();
    EXPECT_TRUE(picture.contains(badge)) << "badge " << badge.x() << "," << badge.width() << " picture " << picture.x()
                                         << "," << picture.width();
    EXPECT_EQ(badge.right(), picture.right() - 6);
    EXPECT_EQ(badge.bottom(), picture.bottom() - 6);
    // Red picture on both sides of the badge, and the badge's dark scrim over it.
    const qreal ratio = painted.devicePixelRatio();
    const auto pixel = [&](int x, int y) { return painted.pixelColor(QPoint(x, y) * ratio); };
    EXPECT_GT(pixel(badge.right() + 3, badge.center().y()).red(), 200);
    EXPECT_GT(pixel(badge.left() - 3, badge.center().y()).red(), 200);
    EXPECT_LT(pixel(badge.left() + 2, badge.top() + 2 + 1).red(), 150);
}

TEST_F(GalleryViewsTest, GridsScrollWithTheThinDarkBarOfTheHistoryList)
{
    for (int i = 0; i < 12; ++i)
        seedScreenshot(context(), at(i), png(filled(Qt::red)));
    auto grid = shown<ScreenshotsGridView>(QSize(640, 300));
    auto recordingsView = shown<RecordingsView>(QSize(640, 300));
    for (CardGrid* each : {grid->grid(), recordingsView->grid()}) {
        QScrollBar* bar = each->scrollArea()->verticalScrollBar();
        EXPECT_EQ(bar->styleSheet(), Theme::listScrollBarStyle());
    }
    QScrollBar* bar = grid->grid()->scrollArea()->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_LE(bar->width(), 8);
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.pageStep = bar->pageStep();
    option.sliderPosition = option.sliderValue = bar->value();
    for (auto arrow : {QStyle::SC_ScrollBarAddLine, QStyle::SC_ScrollBarSubLine})
        EXPECT_EQ(bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, arrow, bar).height(), 0);
}

TEST_F(GalleryViewsTest, RevealAsksTheFileManagerElseOpensTheFolder)
{
    const auto item = seedRecording(context(), at(10), QStringLiteral("shown.mov"));
    RecordingCard card(needs(), item, {});
    card.reveal();
    Background::waitForAll();
    ASSERT_EQ(revealer.shown().size(), 1);
    EXPECT_EQ(
        revealer.shown()[0], QStringList {RecordingStorage::recordingsDirectory() + QStringLiteral("/shown.mov")});
    EXPECT_TRUE(workspace.openedURLs.isEmpty());

    revealer.available = false;
    card.reveal();
    Background::waitForAll();
    ASSERT_EQ(workspace.openedURLs.size(), 1);
    EXPECT_EQ(workspace.openedURLs[0], QUrl::fromLocalFile(RecordingStorage::recordingsDirectory()));
}

TEST_F(GalleryViewsTest, WindowManagersKeepOneWindow)
{
    ScreenshotsWindowManager screenshots(needs());
    RecordingsWindowManager recordings(needs());
    {
        ConsoleCapture console;
        screenshots.showScreenshots();
        recordings.showRecordings();
        EXPECT_EQ(console.lines,
            (QStringList {QStringLiteral("ScreenshotsWindowManager: ModelContainer not configured"),
                QStringLiteral("RecordingsWindowManager: ModelContainer not configured")}));
        EXPECT_FALSE(screenshots.window());
        EXPECT_FALSE(recordings.window());
    }
    screenshots.setModelContainer(store.container);
    recordings.setModelContainer(store.container);
    for (auto [show, window, title] :
        {std::tuple {std::function<void()>([&] { screenshots.showScreenshots(); }),
             std::function<QWidget*()>([&] { return screenshots.window(); }), QStringLiteral("Screenshots")},
            std::tuple {std::function<void()>([&] { recordings.showRecordings(); }),
                std::function<QWidget*()>([&] { return recordings.window(); }), QStringLiteral("Aufnahmen")}}) {
        show();
        QWidget* first = window();
        ASSERT_TRUE(first);
        EXPECT_EQ(first->windowTitle(), title);
        EXPECT_EQ(first->size(), QSize(640, 480));
        EXPECT_TRUE(first->isVisible());
        show();
        EXPECT_EQ(window(), first);
        first->close();
        show();
        EXPECT_NE(window(), first);
        EXPECT_TRUE(window()->isVisible());
        window()->close();
    }
}

TEST_F(GalleryViewsTest, ACardDragsItsStoredPNGAndAClickOnARecordingPlaysIt)
{
    const QByteArray bytes = png(filled(Qt::red));
    const auto item = seedScreenshot(context(), at(10), bytes);
    const auto broken = seedScreenshot(context(), at(5), QByteArray("not a png"));
    // The shown PNG is damaged, the untouched capture is not: the card shows and drags that.
    const QByteArray original = png(filled(Qt::blue));
    const auto rescued = seedScreenshot(context(), at(7), QByteArray("not a png"), original);
    const auto recording = seedRecording(context(), at(1), QStringLiteral("gone.mov"), 9.49);
    auto grid = shown<ScreenshotsGridView>(QSize(640, 900));
    thumbnails.waitUntilIdle();
    EXPECT_TRUE(grid->model()->picture(*grid->model()->rowOf({Kind::screenshot, broken->persistentID}))->failed());

    int drags = 0;
    for (const auto& [record, carried] :
        {std::pair(item, bytes), std::pair(rescued, original), std::pair(broken, QByteArray())}) {
        // The card under the pointer is the widget that takes the press.
        auto* each = qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, record->persistentID}));
        ASSERT_TRUE(each);
        EXPECT_EQ(each->thumbnailFailed(), record == broken);
        each->setDragRunner(
            [&, carried = carried](ImageDragSourceView&, const ImageDragSourceView::Rendered& rendered) {
                ++drags;
                EXPECT_EQ(rendered.data.get(), carried);
                EXPECT_FALSE(rendered.image.isNull());
            });
        QTest::mousePress(each, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseMove(each, QPoint(60, 40));
        QTest::mouseRelease(each, Qt::LeftButton, {}, QPoint(60, 40));
    }
    EXPECT_EQ(drags, 2) << "a PNG that does not decode is not dragged";
    EXPECT_EQ(qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, rescued->persistentID}))
                  ->thumbnail()
                  .pixelColor(10, 10),
        QColor(Qt::blue));

    // A click plays the recording in the player; a missing movie is said so there.
    auto* recordingCard = qobject_cast<RecordingCard*>(grid->cardFor({Kind::recording, recording->persistentID}));
    ASSERT_TRUE(recordingCard);
    QTest::mouseClick(recordingCard, Qt::LeftButton, {}, QPoint(30, 30));
    RecordingQuickLook* player = RecordingQuickLook::current();
    ASSERT_TRUE(player);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player->problem().isEmpty(); })); // looked at off the main thread
    EXPECT_EQ(player->path(), RecordingStorage::recordingsDirectory() + QStringLiteral("/gone.mov"));
    EXPECT_EQ(player->windowTitle(), QStringLiteral("gone.mov"));
    EXPECT_EQ(player->problem(), QStringLiteral("Die Aufnahme fehlt: gone.mov"));
    // The player reads the length the card shows, even where the movie runs a little longer.
    EXPECT_EQ(recordingCard->badgeText(), QStringLiteral("00:09"));
    EXPECT_EQ(player->recordedSeconds(), 9.49);
    EXPECT_EQ(RecordingQuickLook::timeText(2'400, 9'533, player->recordedSeconds()), QStringLiteral("00:02 / 00:09"));
    EXPECT_EQ(RecordingQuickLook::timeText(9'533, 9'533, player->recordedSeconds()), QStringLiteral("00:09 / 00:09"));
    EXPECT_EQ(RecordingQuickLook::timeText(9'533, 9'533, -1), QStringLiteral("00:10 / 00:10")); // no record
    player->close();
}

// A press that moves a little, and a drag, on every kind of card in both grids (a move handed back
// by the grid recursed until the stack overflowed): a sloppy click is a click, a drag no click.
TEST_F(GalleryViewsTest, ASloppyClickOrADragOnEveryKindOfCardIsAClickOrADrag)
{
    editors.setModelContainer(store.container);
    const auto screenshot = seedScreenshot(context(), at(20), png(filled(Qt::red)));
    const auto recording = seedRecording(context(), at(10), QStringLiteral("r.mov"), 4);
    auto gallery = shown<ScreenshotsGridView>(QSize(640, 900));
    auto recordings = shown<RecordingsView>();
    thumbnails.waitUntilIdle();
    const auto gesture = [](QWidget* card, int distance) {
        QTest::mousePress(card, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseMove(card, QPoint(40 + distance, 41));
        QTest::mouseRelease(card, Qt::LeftButton, {}, QPoint(40 + distance, 41));
    };
    const auto plays = [](const std::function<void()>& act) {
        if (RecordingQuickLook* open = RecordingQuickLook::current())
            open->close();
        act();
        RecordingQuickLook* player = RecordingQuickLook::current();
        const bool played = player && player->isVisible();
        if (player)
            player->close();
        return played;
    };
    for (const auto& recordingCard : {std::function<QWidget*()>([&] {
             return gallery->cardFor({Kind::recording, recording->persistentID});
         }),
             std::function<QWidget*()>([&] { return recordings->cardFor(recording->persistentID); })}) {
        EXPECT_TRUE(plays([&] { gesture(recordingCard(), 2); })) << "a sloppy click plays the movie";
        EXPECT_FALSE(plays([&] { gesture(recordingCard(), 30); })) << "a drag is no click";
    }

    auto* card = qobject_cast<ScreenshotCard*>(gallery->cardFor({Kind::screenshot, screenshot->persistentID}));
    ASSERT_TRUE(card);
    int drags = 0;
    card->setDragRunner([&](ImageDragSourceView&, const ImageDragSourceView::Rendered&) { ++drags; });
    gesture(card, 30);
    EXPECT_EQ(drags, 1);
    EXPECT_FALSE(editors.window());
    gesture(card, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editors.window() && editors.window()->isVisible(); }, 10000))
        << "a sloppy click opens the screenshot in the editor";
    EXPECT_EQ(drags, 1);
    editors.closeWindow();
}

TEST_F(GalleryViewsTest, ExtractedTextReplacesTheClipboardOnlyWhenThereIsText)
{
    // Read from the untouched capture when there is one.
    const auto item = seedScreenshot(context(), at(10), png(filled(Qt::red)), png(filled(Qt::blue, QSize(200, 100))));
    auto grid = shown<ScreenshotsGridView>();
    auto* card = qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, item->persistentID}));
    ASSERT_TRUE(card);
    pasteboard.setContent(PasteboardTypes::utf8PlainText, "earlier");
    const int holders = suspension.holders();

    card->extractText(); // no text found
    EXPECT_TRUE(QTest::qWaitFor([&] { return recognizer.requests() == 1; }, 3000));
    Background::waitForAll();
    QApplication::processEvents();
    EXPECT_EQ(pasteboard.data(PasteboardTypes::utf8PlainText, 1 << 20), QByteArray("earlier"));

    recognizer.text = QStringLiteral("Quarterly revenue");
    card->extractText();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return pasteboard.data(PasteboardTypes::utf8PlainText, 1 << 20) == QByteArray("Quarterly revenue"); },
        3000));
    EXPECT_EQ(pasteboard.types(), QStringList {PasteboardTypes::utf8PlainText});
    EXPECT_EQ(recognizer.lastSize(), QSize(200, 100));
    // An ordinary copy: the monitor is not held off.
    EXPECT_EQ(suspension.holders(), holders);
}

// The stored original does not decode: the click, "Bearbeiten" and "Text extrahieren" take the
// shown picture (the editor without the strokes burnt into it, saving into the same record); when
// the shown picture does not decode either, the user is told why.
TEST_F(GalleryViewsTest, ADamagedOriginalGivesWayToTheShownPictureElseTheUserIsTold)
{
    editors.setModelContainer(store.container);
    PaintStroke box;
    box.id = QUuid::createUuid();
    box.tool = PaintTool::rectangle;
    box.points = {PaintPoint(0.2, 0.2), PaintPoint(0.8, 0.8)};
    const QByteArray damaged(4096, 'x');
    const auto item = seedScreenshot(
        context(), at(20), png(filled(Qt::red, QSize(300, 150))), damaged, StrokeJSON::encode({box}));
    const auto unreadable = seedScreenshot(context(), at(10), QByteArray("not a png"), damaged);
    auto grid = shown<ScreenshotsGridView>();
    auto* card = qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, item->persistentID}));
    ASSERT_TRUE(card);
    const auto opensShown = [&](const std::function<void()>& open) {
        editors.closeWindow();
        open();
        EXPECT_TRUE(QTest::qWaitFor([&] { return editors.window() && editors.window()->isVisible(); }, 10000));
        AnnotationEditorView* editor = editors.editorView();
        return editor && editor->document().sourceImage().pixelColor(150, 75) == QColor(Qt::red)
            && editor->engine().strokes().empty();
    };
    EXPECT_TRUE(opensShown([&] { QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(40, 40)); }));
    EXPECT_TRUE(opensShown([&] { std::unique_ptr<QMenu>(card->makeContextMenu(nullptr))->actions()[1]->trigger(); }));
    bool saved = false;
    QObject::connect(editors.editorView(), &AnnotationEditorView::saveFinished, [&](bool ok) { saved = ok; });
    editors.editorView()->saveToScreenshots();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }, 10000));
    EXPECT_EQ(context().fetchScreenshotStamps().size(), 2u);
    EXPECT_EQ(context().screenshotItem(item->persistentID)->sourceImageData, damaged);
    editors.closeWindow();

    recognizer.text = QStringLiteral("Quarterly revenue");
    card = qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, item->persistentID})); // saved anew
    ASSERT_TRUE(card);
    card->extractText();
    // The pointer leaves at once: the card under it goes, the text comes all the same.
    QTest::mouseMove(grid->grid()->view()->viewport(), QPoint(4, 4));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(grid->grid()->view()->viewport()->findChildren<ScreenshotCard*>().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return pasteboard.data(PasteboardTypes::utf8PlainText, 1 << 20) == QByteArray("Quarterly revenue"); },
        3000));
    EXPECT_EQ(recognizer.lastSize(), QSize(300, 150));

    auto* broken = qobject_cast<ScreenshotCard*>(grid->cardFor({Kind::screenshot, unreadable->persistentID}));
    ASSERT_TRUE(broken);
    const int requests = recognizer.requests();
    for (const auto& [action, title] : {std::pair(&ScreenshotCard::editAgain, "Bearbeiten nicht möglich"),
             std::pair(&ScreenshotCard::extractText, "Text extrahieren nicht möglich")}) {
        (broken->*action)();
        QMessageBox* told = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (QWidget* window : QApplication::topLevelWidgets()) {
                    if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
                        told = box;
                }
                return told != nullptr;
            },
            10000));
        EXPECT_EQ(told->windowTitle(), QString::fromUtf8(title));
        EXPECT_EQ(told->text(), QStringLiteral("Das gespeicherte Bild ist beschädigt und lässt sich nicht öffnen."));
        told->close();
    }
    EXPECT_FALSE(editors.window());
    EXPECT_EQ(recognizer.requests(), requests);
}

TEST_F(GalleryViewsTest, ReloadsChangeOnlyTheRowsOfChangedRecords)
{
    seedScreenshot(context(), at(10), png(filled(Qt::red)));
    seedScreenshot(context(), at(30), png(filled(Qt::green)));
    auto grid = shown<ScreenshotsGridView>();
    thumbnails.waitUntilIdle();
    GalleryModel* model = grid->model();
    ASSERT_EQ(model->rowCount(), 2);
    const std::shared_ptr<CardPicture> kept = model->picture(0);
    ASSERT_FALSE(kept->image().isNull());
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

    // Nothing new: nothing is announced.
    grid->reload();
    EXPECT_EQ(resets.count() + inserted.count() + removed.count() + changed.count(), 0);

    // A newer screenshot and a recording between the two: two runs of rows come in.
    seedScreenshot(context(), at(40), png(filled(Qt::blue)));
    const auto recording = seedRecording(context(), at(20), QStringLiteral("between.mov"));
    NotificationCenter::shared().post(NotificationNames::screenshotSaved);
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[0].at(1).toInt(), 0);
    EXPECT_EQ(inserted[1].at(1).toInt(), 2);
    EXPECT_EQ(model->item(2).id(), (GalleryItem::ID {Kind::recording, recording->persistentID}));
    EXPECT_EQ(model->picture(1), kept) << "the row that stayed keeps its picture";

    // A delete anywhere takes out its row alone.
    grid->deleteItem(model->item(1));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0].at(1).toInt(), 1);
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(resets.count(), 0);
}

TEST_F(GalleryViewsTest, OnlyTheCardUnderThePointerIsAWidgetAndItLooksAsPainted)
{
    seedScreenshot(context(), at(30), png(filled(Qt::red)));
    seedRecording(context(), at(10), QStringLiteral("r.mov"), 9, png(filled(Qt::blue, QSize(300, 200))));
    auto grid = shown<ScreenshotsGridView>();
    thumbnails.waitUntilIdle();
    QApplication::processEvents();
    CardGridView* view = grid->grid()->view();
    QWidget* viewport = view->viewport();
    const auto cards = [&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return viewport->findChildren<QWidget*>().size();
    };
    EXPECT_EQ(cards(), 0);
    const QImage painted = viewport->grab().toImage();

    for (int row : {0, 1}) {
        const QRect at = view->visualRect(grid->model()->index(row));
        QTest::mouseMove(viewport, at.center());
        ASSERT_EQ(cards(), 1);
        QWidget* card = viewport->findChild<QWidget*>();
        EXPECT_EQ(card->geometry(), at);
        EXPECT_EQ(bool(qobject_cast<RecordingCard*>(card)), row == 1);
        EXPECT_EQ(viewport->grab().toImage(), painted) << "row " << row;
    }
    // Between the cards there is none.
    QTest::mouseMove(viewport, QPoint(4, 4));
    EXPECT_EQ(cards(), 0);
}
