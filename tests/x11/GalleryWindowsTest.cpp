// The gallery window, the recordings window and the history panel's Screenshots tab on a real X
// server with seeded records: order, pictures of all three, a delete followed by every view, edit
// again with the stored strokes (and the editor saving as a new record after the delete), and
// text extraction onto the clipboard. Pictures go to the artifacts.
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"
#include "app/AppDelegate.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "editor/AnnotationEditorView.h"
#include "editor/AnnotationWindowManager.h"
#include "fakes/FakeFileRevealer.h"
#include "capture/ScreenshotCaptureService.h"
#include "gallery/CardGrid.h"
#include "gallery/CardGridView.h"
#include "gallery/CardPainting.h"
#include "gallery/GalleryModel.h"
#include "gallery/RecordingCard.h"
#include "gallery/RecordingQuickLook.h"
#include "gallery/RecordingsView.h"
#include "gallery/RecordingsWindowManager.h"
#include "gallery/ScreenshotCard.h"
#include "gallery/ScreenshotsGridView.h"
#include "gallery/ScreenshotsView.h"
#include "gallery/ScreenshotsWindowManager.h"
#include "gallery/ThumbnailLoader.h"
#include "history/HistoryPanel.h"
#include "history/HistoryView.h"
#include "history/QuickLookPanelManager.h"
#include "history/WindowManager.h"
#include "platform/Background.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "store/RecordingStorage.h"
#include "store/ScreenshotSaver.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QBuffer>
#include <QMediaPlayer>
#include <QCryptographicHash>
#include <QDrag>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

QDateTime minutesAgo(int minutes)
{
    return QDateTime::currentDateTimeUtc().addSecs(-60 * minutes);
}

QByteArray pngOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A screenshot-like picture: a desktop of `desk`, a window with a title bar and lines of text.
QImage screenshotPicture(QColor desk, const QString& title, QSize size = QSize(1600, 900))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(desk);
    QPainter p(&image);
    const QRect window(size.width() / 10, size.height() / 10, size.width() * 8 / 10, size.height() * 8 / 10);
    p.fillRect(window, QColor(250, 250, 252));
    p.fillRect(QRect(window.topLeft(), QSize(window.width(), 60)), QColor(222, 226, 232));
    QFont font;
    font.setPixelSize(30);
    p.setFont(font);
    p.setPen(QColor(40, 44, 52));
    p.drawText(window.adjusted(24, 12, 0, 0), title);
    for (int i = 0; i < 9; ++i)
        p.fillRect(QRect(window.left() + 40, window.top() + 110 + i * 60, window.width() * (5 + i % 4) / 10, 16),
            QColor(180, 186, 196));
    return image;
}

// A paragraph of large black words on white, as text recognition reads it.
QImage paragraphPicture()
{
    QImage image(1400, 420, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(48);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(
        QRect(60, 60, 1280, 300), Qt::TextWordWrap, QStringLiteral("Quarterly revenue grew steadily in every region."));
    return image;
}

void saveWindowPicture(QWidget* window, const QString& name)
{
    const QRect frame = window->frameGeometry();
    QPixmap picture = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (picture.isNull())
        picture = window->grab();
    EXPECT_TRUE(picture.save(artifact(name)));
}

bool click(QWidget* widget, QPoint local)
{
    const QPoint at = widget->mapToGlobal(local);
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
        QStringLiteral("click"), QStringLiteral("1")});
}

QString dropTargetProgram()
{
    const QString configured = qEnvironmentVariable("QUORVEL_DROP_TARGET_APP");
    return configured.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/drop_target_app")
                                : configured;
}

// The visible message box whose text contains `text`, if one shows.
QMessageBox* messageShowing(const QString& text)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text().contains(text))
            return box;
    }
    return nullptr;
}

QString clipboardText()
{
    QProcess xclip;
    xclip.start(
        QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
    waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000);
    return QString::fromUtf8(xclip.readAllStandardOutput());
}

class GalleryWindowsTest : public ::testing::Test, protected X11AppServices {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(store.container);
        Theme::install();
        Symbols::installIconTheme();
        Pasteboard::setShared(&pasteboard);
        Workspace::setShared(&workspace);
        FileRevealer::setShared(&revealer);
        TextRecognizer::setShared(&recognizer);
        // The recordings folder of this test only.
        const QString userDirs = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/user-dirs.dirs");
        QDir().mkpath(QFileInfo(userDirs).path());
        writeFile(userDirs, "XDG_VIDEOS_DIR=\"" + movies.path().toUtf8() + "/Videos\"\n");
        RecordingStorage::ensureDirectoryExists();
        prefs = std::make_unique<JsonFilePreferences>(dir.filePath(QStringLiteral("preferences.json")));
        prefs->registerDefaults(AppDelegate::registeredDefaults());
        prefs->set(QStringLiteral("showAsRightPanel"), false);
        // The editor "Edit" opens; the gallery reaches it as it reaches the application's.
        editors = std::make_unique<AnnotationWindowManager>(
            AnnotationWindowManager::Needs {{*prefs, pasteboard, suspension, {}}, &recognizer});
        editors->setModelContainer(store.container);
        screenshotWindows = std::make_unique<ScreenshotsWindowManager>(needs());
        recordingWindows = std::make_unique<RecordingsWindowManager>(needs());
        screenshotWindows->setModelContainer(store.container);
        recordingWindows->setModelContainer(store.container);
    }
    void TearDown() override
    {
        for (QWidget* window : {screenshotWindows->window(), recordingWindows->window(), editors->window()}) {
            if (window)
                window->close();
        }
        history.reset();
        Background::waitForAll();
        thumbnails.waitUntilIdle();
        spin(100);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        screenshotWindows.reset();
        recordingWindows.reset();
        editors.reset();
    }
    ModelContext& context() { return store.container->mainContext(); }

    ScreenshotItemPtr addScreenshot(const QDateTime& time, const QImage& shown, std::optional<QImage> source = {},
        std::optional<QByteArray> strokes = {})
    {
        auto item = std::make_shared<ScreenshotItem>(
            time, QStringLiteral("area"), pngOf(shown), source ? std::optional(pngOf(*source)) : std::nullopt, strokes);
        context().insert(item);
        EXPECT_TRUE(context().save());
        return item;
    }
    RecordingItemPtr addRecording(const QDateTime& time, const QString& fileName, double duration, QColor desk)
    {
        writeFile(RecordingStorage::recordingsDirectory() + QLatin1Char('/') + fileName, "movie bytes");
        auto item = std::make_shared<RecordingItem>(time, QStringLiteral("display"), fileName, duration, 11, false,
            pngOf(screenshotPicture(desk, fileName, QSize(400, 225))));
        context().insert(item);
        EXPECT_TRUE(context().save());
        return item;
    }
    // The editor and the capture service are the application's.
    Gallery::Needs needs() { return {*editors, suspension, pasteboard, recognizer, revealer, workspace, thumbnails}; }
    ScreenshotsWindowManager& screenshotsManager() { return *screenshotWindows; }
    RecordingsWindowManager& recordingsManager() { return *recordingWindows; }
    // The picture of every card in view has arrived.
    bool picturesLoaded(QWidget* root)
    {
        QCoreApplication::processEvents();
        if (thumbnails.pending() > 0)
            return false;
        QList<CardGridView*> views = root->findChildren<CardGridView*>();
        if (auto* view = qobject_cast<CardGridView*>(root))
            views << view;
        for (CardGridView* view : views) {
            if (!view->picturesArrived())
                return false;
        }
        for (auto* card : root->findChildren<ScreenshotCard*>()) {
            if (card->isVisible() && card->visibleRegion().isEmpty() == false && card->thumbnail().isNull()
                && !card->thumbnailFailed())
                return false;
        }
        return true;
    }
    ScreenshotsGridView* galleryGrid() { return screenshotsManager().window()->findChild<ScreenshotsGridView*>(); }
    RecordingsView* recordingsView() { return recordingsManager().window()->findChild<RecordingsView*>(); }

    // The history panel with the gallery's grid as its Screenshots tab, on that tab.
    HistoryView* openHistoryTab()
    {
        history = std::make_unique<WindowManager>(WindowManager::Needs {.paste = paste,
            .notifications = notifications,
            .preferences = *prefs,
            .quickLook = &quickLook,
            .screenshotsPage = [this, container = std::weak_ptr<ModelContainer>(store.container)](QWidget* parent)
                -> QWidget* { return new ScreenshotsGridView(needs(), container, parent); }});
        history->setModelContainer(store.container);
        history->showHistoryWindow();
        HistoryView* view = history->historyPanel() ? history->historyPanel()->findChild<HistoryView*>() : nullptr;
        if (view)
            view->setSelectedTab(HistoryTab::screenshots);
        return view;
    }

    QTemporaryDir movies;
    FakeFileRevealer revealer;
    TesseractTextRecognizer recognizer;
    ClipboardSuspension suspension;
    NotificationCenter notifications;
    PasteService paste {
        pasteboard, workspace, keys, DispatchQueue::main(), suspension, dir.filePath(QStringLiteral("trace.txt"))};
    QuickLookPanelManager quickLook {pasteboard};
    std::unique_ptr<WindowManager> history;
    std::unique_ptr<AnnotationWindowManager> editors;
    ThumbnailLoader thumbnails;
    std::unique_ptr<ScreenshotsWindowManager> screenshotWindows;
    std::unique_ptr<RecordingsWindowManager> recordingWindows;
};

}

TEST_F(GalleryWindowsTest, SeededRecordsInBothWindowsAndTheTabAndADeleteFollowedEverywhere)
{
    // Before anything is stored: the empty state.
    screenshotsManager().showScreenshots();
    ASSERT_TRUE(waitUntil([&] { return screenshotsManager().window()->isVisible(); }));
    EXPECT_TRUE(galleryGrid()->grid()->emptyState()->isVisible());
    spin(300);
    saveWindowPicture(screenshotsManager().window(), QStringLiteral("gallery_empty_x11.png"));
    screenshotsManager().window()->close();

    const QDateTime same = minutesAgo(30);
    addScreenshot(minutesAgo(2), screenshotPicture(QColor(52, 101, 164), QStringLiteral("Release notes")));
    QImage marked = screenshotPicture(QColor(78, 154, 6), QStringLiteral("Build dashboard"));
    QPainter(&marked).fillRect(QRect(700, 350, 200, 200), Qt::red);
    const auto edited = addScreenshot(minutesAgo(12), marked,
        screenshotPicture(QColor(78, 154, 6), QStringLiteral("Build dashboard")), QByteArray("[]"));
    const auto tiedShot = addScreenshot(same, screenshotPicture(QColor(117, 80, 123), QStringLiteral("Inbox")));
    const auto tiedRecording = addRecording(same, QStringLiteral("2026-12-07_04-10-00.mov"), 5, QColor(193, 125, 17));
    const auto older = addRecording(
        minutesAgo(60 * 26), QStringLiteral("2026-12-06_02-00-00.mov"), 3725, QColor(204, 0, 0));
    addRecording(minutesAgo(60 * 24 * 9), QStringLiteral("2026-11-28_09-30-00.mov"), 42, QColor(46, 52, 54));

    screenshotsManager().showScreenshots();
    QWidget* gallery = screenshotsManager().window();
    ASSERT_TRUE(gallery);
    ASSERT_TRUE(waitUntil([&] { return gallery->isVisible() && picturesLoaded(gallery); }, 15000));
    ScreenshotsGridView* grid = galleryGrid();
    ASSERT_EQ(grid->items().size(), 6u);
    EXPECT_EQ(grid->items()[2].id(), (GalleryItem::ID {GalleryItem::Kind::screenshot, tiedShot->persistentID}));
    EXPECT_EQ(grid->items()[3].id(), (GalleryItem::ID {GalleryItem::Kind::recording, tiedRecording->persistentID}));
    // Pictures are kept at the size shown, never at the image's own.
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        EXPECT_LE(grid->model()->picture(row)->image().height(), ScreenshotCard::pictureHeight);
    spin(300);
    saveWindowPicture(gallery, QStringLiteral("gallery_window_x11.png"));

    recordingsManager().showRecordings();
    QWidget* recordings = recordingsManager().window();
    ASSERT_TRUE(recordings);
    ASSERT_TRUE(waitUntil([&] { return recordings->isVisible() && picturesLoaded(recordings); }, 15000));
    ASSERT_EQ(recordingsView()->items().size(), 3u);
    spin(300);
    saveWindowPicture(recordings, QStringLiteral("recordings_window_x11.png"));

    HistoryView* tab = openHistoryTab();
    ASSERT_TRUE(tab);
    auto* tabGrid = qobject_cast<ScreenshotsGridView*>(tab->screenshotsPage());
    ASSERT_TRUE(tabGrid);
    ASSERT_TRUE(waitUntil([&] { return tabGrid->isVisible() && picturesLoaded(tabGrid); }));
    EXPECT_EQ(tabGrid->items(), grid->items());
    spin(300);
    saveWindowPicture(history->historyPanel(), QStringLiteral("history_screenshots_tab_x11.png"));

    // "Löschen" on the older recording in the gallery window: record and movie go; the tab and
    // the recordings window drop it too.
    const QString movie = RecordingStorage::recordingsDirectory() + QLatin1Char('/') + older->fileName;
    ASSERT_TRUE(QFileInfo::exists(movie));
    auto* card = qobject_cast<RecordingCard*>(grid->cardFor({GalleryItem::Kind::recording, older->persistentID}));
    ASSERT_TRUE(card);
    std::unique_ptr<QMenu> menu(card->makeContextMenu(nullptr));
    menu->actions().last()->trigger();
    EXPECT_FALSE(context().recordingItem(older->persistentID));
    EXPECT_FALSE(QFileInfo::exists(movie));
    EXPECT_EQ(grid->items().size(), 5u);
    EXPECT_EQ(tabGrid->items().size(), 5u);
    EXPECT_EQ(recordingsView()->items().size(), 2u);

    // "Auf Original zurücksetzen": the untouched capture comes back, in the window and the tab.
    auto* editedCard = qobject_cast<ScreenshotCard*>(
        grid->cardFor({GalleryItem::Kind::screenshot, edited->persistentID}));
    auto* editedInTab = qobject_cast<ScreenshotCard*>(
        tabGrid->cardFor({GalleryItem::Kind::screenshot, edited->persistentID}));
    ASSERT_TRUE(editedCard && editedInTab);
    const auto redAtMark = [](const QImage& picture) {
        const QColor c = picture.pixelColor(picture.width() * 800 / 1600, picture.height() * 450 / 900);
        return c.red() > 200 && c.green() < 60;
    };
    EXPECT_TRUE(redAtMark(editedCard->thumbnail()));
    std::unique_ptr<QMenu> editedMenu(editedCard->makeContextMenu(nullptr));
    ASSERT_EQ(editedMenu->actions()[3]->text(), QStringLiteral("Auf Original zurücksetzen"));
    editedMenu->actions()[3]->trigger();
    // The original is checked off the main thread before it replaces the shown image.
    const ScreenshotItemPtr reset = context().screenshotItem(edited->persistentID);
    ASSERT_TRUE(waitUntil([&] { return reset->pngData == reset->sourceImageData; }));
    EXPECT_FALSE(reset->strokesData);
    EXPECT_EQ(std::unique_ptr<QMenu>(editedCard->makeContextMenu(nullptr))->actions().size(), 5);
    ASSERT_TRUE(waitUntil(
        [&] {
            return picturesLoaded(gallery) && picturesLoaded(tabGrid) && !editedCard->thumbnail().isNull()
                && !redAtMark(editedCard->thumbnail()) && !editedInTab->thumbnail().isNull()
                && !redAtMark(editedInTab->thumbnail());
        },
        15000));

    // "Kopieren": the stored PNG is the clipboard's only type, as another program sees it.
    auto* shot = qobject_cast<ScreenshotCard*>(grid->cardFor(grid->items()[0].id()));
    ASSERT_TRUE(shot);
    const qint64 beforeCopy = pasteboard.changeCount();
    shot->copyToClipboard();
    ASSERT_TRUE(waitUntil([&] { return pasteboard.changeCount() != beforeCopy; }));
    QProcess targets;
    targets.start(QStringLiteral("xclip"),
        {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), QStringLiteral("TARGETS"),
            QStringLiteral("-o")});
    waitUntil([&] { return targets.state() == QProcess::NotRunning; }, 10000);
    QStringList offered
        = QString::fromUtf8(targets.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    offered.removeIf([](const QString& t) {
        return t == QLatin1String("TARGETS") || t == QLatin1String("MULTIPLE") || t == QLatin1String("TIMESTAMP")
            || t == QLatin1String("SAVE_TARGETS");
    });
    EXPECT_EQ(offered, QStringList {QStringLiteral("image/png")});
    QProcess data;
    data.start(QStringLiteral("xclip"),
        {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), QStringLiteral("image/png"),
            QStringLiteral("-o")});
    waitUntil([&] { return data.state() == QProcess::NotRunning; }, 10000);
    EXPECT_EQ(data.readAllStandardOutput(), context().screenshotItem(grid->items()[0].persistentID)->pngData);
}

// The editor saves over a screenshot while the gallery window and the history's Screenshots tab
// show it: the top one stays in its row, an older one moves to the top; either card shows the saved
// picture and the time of the save.
TEST_F(GalleryWindowsTest, AScreenshotSavedOverShowsItsNewPictureAndDateAtOnce)
{
    const auto newest = addScreenshot(
        minutesAgo(30), screenshotPicture(QColor(52, 101, 164), QStringLiteral("Sprint board")));
    const auto older = addScreenshot(minutesAgo(90), screenshotPicture(QColor(78, 154, 6), QStringLiteral("Roadmap")));
    screenshotsManager().showScreenshots();
    QWidget* gallery = screenshotsManager().window();
    ASSERT_TRUE(waitUntil([&] { return gallery->isVisible() && picturesLoaded(gallery); }, 15000));
    HistoryView* tab = openHistoryTab();
    ASSERT_TRUE(tab);
    auto* tabGrid = qobject_cast<ScreenshotsGridView*>(tab->screenshotsPage());
    ASSERT_TRUE(tabGrid);
    ASSERT_TRUE(waitUntil([&] { return tabGrid->isVisible() && picturesLoaded(tabGrid); }, 15000));

    // The middle of the picture on the first card, as painted on screen.
    const auto topCardIsRed = [](ScreenshotsGridView* grid) {
        CardGridView* view = grid->grid()->view();
        const QRect card = view->visualRect(grid->model()->index(0));
        const QImage shown = view->viewport()->grab(card).toImage();
        const QPoint middle = CardPainting::pictureFrame(shown.rect(), ScreenshotCard::pictureHeight).center();
        const QColor c = shown.pixelColor(middle);
        return c.red() > 200 && c.green() < 60 && c.blue() < 60;
    };
    int saves = 0;
    for (const ScreenshotItemPtr& item : {newest, older}) {
        SCOPED_TRACE(item == newest ? "the newest screenshot" : "an older screenshot");
        const GalleryItem::ID id {GalleryItem::Kind::screenshot, item->persistentID};
        ASSERT_TRUE(galleryGrid()->cardFor(id)); // the card under the pointer
        QImage edited = screenshotPicture(QColor(204, 0, 0), QStringLiteral("Edited"));
        QPainter(&edited).fillRect(QRect(600, 300, 400, 300), QColor(230, 0, 0));
        bool saved = false;
        ScreenshotSaver::saveEdited(store.container, context().screenshotItem(item->persistentID), pngOf(edited),
            QByteArray("[]"), QImage(), NotificationCenter::shared(), nullptr, [&](bool ok) { saved = ok; });
        ASSERT_TRUE(saved);
        const QDateTime savedAt = context().screenshotItem(item->persistentID)->timestamp;
        for (ScreenshotsGridView* grid : {galleryGrid(), tabGrid}) {
            EXPECT_TRUE(waitUntil(
                [&] {
                    return grid->items()[0].id() == id && grid->items()[0].timestamp == savedAt && picturesLoaded(grid)
                        && topCardIsRed(grid);
                },
                15000))
                << (grid == tabGrid ? "history tab" : "gallery window");
            auto* card = qobject_cast<ScreenshotCard*>(grid->cardFor(id));
            ASSERT_TRUE(card);
            EXPECT_EQ(card->item().timestamp, savedAt);
        }
        ++saves;
        spin(300);
        saveWindowPicture(gallery, QStringLiteral("gallery_saved_over_%1_x11.png").arg(saves));
        saveWindowPicture(history->historyPanel(), QStringLiteral("history_tab_saved_over_%1_x11.png").arg(saves));
    }
}

TEST_F(GalleryWindowsTest, TwoHundredFiftyScreenshotsAndThreeOlderRecordingsShowTheNewest200)
{
    const QByteArray small = pngOf(screenshotPicture(QColor(52, 101, 164), QStringLiteral("Small"), QSize(160, 90)));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < 250; ++i) {
        context().insert(std::make_shared<ScreenshotItem>(
            now.addSecs(-60 * i), QStringLiteral("area"), small, std::nullopt, std::nullopt));
    }
    ASSERT_TRUE(context().save());
    for (int i = 0; i < 3; ++i)
        addRecording(now.addSecs(-60 * (300 + i)), QStringLiteral("old%1.mov").arg(i), 5, QColor(204, 0, 0));
    screenshotsManager().showScreenshots();
    QWidget* gallery = screenshotsManager().window();
    ASSERT_TRUE(waitUntil([&] { return gallery->isVisible() && picturesLoaded(gallery); }, 15000));
    const std::vector<GalleryItem>& items = galleryGrid()->items();
    ASSERT_EQ(items.size(), 200u);
    EXPECT_TRUE(std::all_of(items.begin(), items.end(),
        [](const GalleryItem& item) { return item.kind == GalleryItem::Kind::screenshot; }));
    EXPECT_EQ(items.back().timestamp.secsTo(items.front().timestamp), 199 * 60);
}

TEST_F(GalleryWindowsTest, EditAgainOpensTheSourceWithItsStrokesAndADeletedRecordSavesAsNew)
{
    const QImage source = screenshotPicture(QColor(32, 74, 135), QStringLiteral("Design review"));
    PaintStroke box;
    box.id = QUuid::createUuid();
    box.tool = PaintTool::rectangle;
    box.color = PaintColor(QColor(Qt::red));
    box.lineWidth = 6;
    box.points = {PaintPoint(0.3, 0.3), PaintPoint(0.7, 0.6)};
    QImage annotated = source;
    {
        QPainter p(&annotated);
        p.setPen(QPen(Qt::red, 6));
        p.drawRect(QRect(480, 270, 640, 270));
    }
    const auto item = addScreenshot(minutesAgo(5), annotated, source, StrokeJSON::encode({box}));

    screenshotsManager().showScreenshots();
    QWidget* gallery = screenshotsManager().window();
    ASSERT_TRUE(waitUntil([&] { return gallery->isVisible() && picturesLoaded(gallery); }, 15000));
    auto* card = qobject_cast<ScreenshotCard*>(
        galleryGrid()->cardFor({GalleryItem::Kind::screenshot, item->persistentID}));
    ASSERT_TRUE(card);

    // A click on the card opens the editor on the untouched capture with the stored rectangle.
    ASSERT_TRUE(click(card, card->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return editors->window() && editors->window()->isVisible(); }));
    // It opens in front of the gallery, with the focus.
    QWidget* editorWindow = editors->window();
    EXPECT_TRUE(waitUntil([&] {
        return editorWindow->isActiveWindow() && netActiveWindow() == editorWindow->winId()
            && stackingPosition(editorWindow->winId()) > stackingPosition(gallery->winId());
    })) << "editor at "
        << stackingPosition(editorWindow->winId()) << ", gallery at " << stackingPosition(gallery->winId())
        << "; active: Qt " << editorWindow->isActiveWindow() << ", X " << (netActiveWindow() == editorWindow->winId());
    AnnotationEditorView* editor = editors->editorView();
    ASSERT_TRUE(editor);
    ASSERT_EQ(editor->engine().strokes().size(), 1u);
    EXPECT_EQ(editor->engine().strokes()[0].tool, PaintTool::rectangle);
    const QImage opened = editor->document().sourceImage();
    EXPECT_EQ(opened.size(), source.size());
    EXPECT_EQ(opened.pixelColor(480, 300), source.pixelColor(480, 300)); // not the burnt-in red line
    spin(300);
    saveWindowPicture(editors->window(), QStringLiteral("gallery_edit_again_x11.png"));

    // The record is deleted while the editor is open: the editor's save adds a new record.
    galleryGrid()->deleteItem(galleryGrid()->items()[0]);
    EXPECT_FALSE(context().screenshotItem(item->persistentID));
    bool saved = false;
    QObject::connect(editor, &AnnotationEditorView::saveFinished, editor, [&](bool ok) { saved = ok; });
    editor->saveToScreenshots();
    ASSERT_TRUE(waitUntil([&] { return saved; }, 15000));
    const std::vector<RecordStamp> stamps = context().fetchScreenshotStamps();
    ASSERT_EQ(stamps.size(), 1u);
    EXPECT_NE(stamps[0].persistentID, item->persistentID);
    ASSERT_TRUE(waitUntil([&] { return galleryGrid()->items().size() == 1; }));
}

TEST_F(GalleryWindowsTest, TextExtractionPutsTheWordsOnTheClipboard)
{
    const auto item = addScreenshot(minutesAgo(1), paragraphPicture());
    screenshotsManager().showScreenshots();
    QWidget* gallery = screenshotsManager().window();
    ASSERT_TRUE(waitUntil([&] { return gallery->isVisible() && picturesLoaded(gallery); }, 15000));
    auto* card = qobject_cast<ScreenshotCard*>(
        galleryGrid()->cardFor({GalleryItem::Kind::screenshot, item->persistentID}));
    ASSERT_TRUE(card);
    const qint64 before = pasteboard.changeCount();
    card->extractText();
    ASSERT_TRUE(waitUntil([&] { return pasteboard.changeCount() != before; }, 30000)) << "no text was written";
    const QString text = clipboardText();
    for (const char* word : {"Quarterly", "revenue", "grew", "region"})
        EXPECT_TRUE(text.contains(QLatin1String(word))) << text.toStdString();
}

TEST_F(GalleryWindowsTest, AClickOnARecordingPlaysItsMovie)
{
    // A movie as the recorder writes it: HEVC in a fragmented .mov, one orange second.
    const QString fileName = QStringLiteral("2026-12-07_05-00-00.mov");
    const QString path = RecordingStorage::recordingsDirectory() + QLatin1Char('/') + fileName;
    FFmpegMovieWriter writer;
    MovieSettings settings;
    settings.size = QSize(320, 240);
    QString error;
    std::unique_ptr<MovieFile> movie = writer.create(path, settings, &error);
    ASSERT_TRUE(movie) << error.toStdString();
    QImage frame(320, 240, QImage::Format_RGB32);
    frame.fill(QColor(255, 140, 0));
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(movie->appendVideo(frame, i, &error)) << error.toStdString();
    ASSERT_TRUE(movie->finish(&error)) << error.toStdString();
    auto item = std::make_shared<RecordingItem>(
        minutesAgo(3), QStringLiteral("area"), fileName, 1.0, QFileInfo(path).size(), false, pngOf(frame));
    context().insert(item);
    ASSERT_TRUE(context().save());

    recordingsManager().showRecordings();
    QWidget* recordings = recordingsManager().window();
    ASSERT_TRUE(waitUntil([&] { return recordings->isVisible() && picturesLoaded(recordings); }, 15000));
    RecordingCard* card = recordingsView()->cardFor(item->persistentID);
    ASSERT_TRUE(card);
    ASSERT_TRUE(click(card, card->rect().center()));
    ASSERT_TRUE(waitUntil([] { return RecordingQuickLook::current() && RecordingQuickLook::current()->isVisible(); }));
    RecordingQuickLook* player = RecordingQuickLook::current();
    EXPECT_EQ(player->path(), path);
    ASSERT_TRUE(waitUntil([&] { return player->player() || !player->problem().isEmpty(); }));
    ASSERT_TRUE(player->player()) << player->problem().toStdString();
    ASSERT_TRUE(waitUntil([&] { return player->player()->duration() > 500; }, 10000))
        << player->problem().toStdString();
    EXPECT_TRUE(waitUntil([&] { return player->player()->position() > 0; }, 10000));
    spin(300);
    const QRect frameRect = player->frameGeometry();
    const QImage shown
        = player->screen()->grabWindow(0, frameRect.x(), frameRect.y(), frameRect.width(), frameRect.height()).toImage();
    shown.save(artifact(QStringLiteral("recording_player_x11.png")));
    // The movie's orange in the middle of the picture (the controls are below it).
    const QPoint middle = player->mapToGlobal(QPoint(player->width() / 2, player->height() / 3)) - frameRect.topLeft();
    const QColor centre = shown.pixelColor(middle);
    // The player shows the colour that was recorded (the movie's colour matrix is the one Qt's
    // player applies; a mismatch turned this orange into yellow).
    EXPECT_NEAR(centre.red(), 255, 10) << centre.name().toStdString();
    EXPECT_NEAR(centre.green(), 140, 10) << centre.name().toStdString();
    EXPECT_NEAR(centre.blue(), 0, 10) << centre.name().toStdString();
    player->close();
}

TEST_F(GalleryWindowsTest, ACardDraggedIntoAnotherProgramDeliversItsPng)
{
    const ScreenshotItemPtr item = addScreenshot(minutesAgo(2), screenshotPicture(QColor(40, 96, 170), "Dragged out"));
    ScreenshotCard card(
        needs(), store.container, {GalleryItem::Kind::screenshot, item->persistentID, item->timestamp}, [] {});
    card.setWindowFlag(Qt::X11BypassWindowManagerHint);
    card.setGeometry(40, 40, 400, 300);
    card.show();
    ASSERT_TRUE(waitUntil([&] { return !card.thumbnail().isNull(); }, 10000));

    QProcess target;
    target.start(dropTargetProgram(), {QStringLiteral("700,100,400,400")});
    ASSERT_TRUE(target.waitForStarted(5000));
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] { return (said += target.readAllStandardOutput()).contains("ready"); }, 10000));

    // Press on the card, move past the drag threshold, over the other program, and let go there.
    // xdotool runs on its own while the drag's loop runs in this process.
    QProcess gesture;
    gesture.start(QStringLiteral("xdotool"),
        QString("mousemove 240 190 mousedown 1 sleep 0.2 mousemove 250 196 sleep 0.2 mousemove 320 220 sleep 0.2 "
                "mousemove 800 250 sleep 0.3 mousemove 900 300 sleep 0.3 mousemove 905 305 sleep 0.4 mouseup 1")
            .split(QLatin1Char(' ')));
    const bool dropped = waitUntil([&] { return (said += target.readAllStandardOutput()).contains("dropped"); }, 15000);
    waitUntil([&] { return gesture.state() == QProcess::NotRunning; }, 5000);
    // Once the target has finished, Qt lets the drag and its data go; a receiver that reads the
    // dropped file only then (a file manager copying it) still finds it.
    const bool ended = waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return card.findChildren<QDrag*>().isEmpty();
    });
    target.write("read\n");
    waitUntil([&] { return (said += target.readAllStandardOutput()).contains("read:"); }, 10000);
    target.write("quit\n");
    target.waitForFinished(3000);
    ASSERT_TRUE(dropped && ended) << said.toStdString();
    const QByteArray png = QByteArray::number(item->pngData.size()) + ':'
        + QCryptographicHash::hash(item->pngData, QCryptographicHash::Sha256).toHex();
    EXPECT_TRUE(said.contains("drop:image/png:" + png)) << "the other program received the stored PNG: " << said.toStdString();
    EXPECT_TRUE(said.contains("read:" + png)) << "the file after the drag: " << said.toStdString();
}

TEST_F(GalleryWindowsTest, ResetWithADamagedOriginalKeepsTheImageAndSaysSo)
{
    const QImage shown = screenshotPicture(QColor(170, 60, 40), "Annotated");
    const QByteArray good = pngOf(screenshotPicture(QColor(60, 170, 40), "Original"));
    // A cut-off file and bytes that are no image at all.
    for (const QByteArray& damaged : {good.left(good.size() / 2), QByteArray(4096, 'x')}) {
        auto item = std::make_shared<ScreenshotItem>(minutesAgo(3), QStringLiteral("area"), pngOf(shown),
            std::optional(damaged), std::optional(QByteArray("[]")));
        context().insert(item);
        ASSERT_TRUE(context().save());
        const QByteArray before = item->pngData;
        ScreenshotCard card(
            needs(), store.container, {GalleryItem::Kind::screenshot, item->persistentID, item->timestamp}, [] {});
        card.setGeometry(40, 40, 400, 300);
        card.show();
        std::unique_ptr<QMenu> menu(card.makeContextMenu(nullptr));
        ASSERT_EQ(menu->actions()[3]->text(), QStringLiteral("Auf Original zurücksetzen"));
        menu->actions()[3]->trigger();
        QMessageBox* told = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (told = messageShowing(QStringLiteral("beschädigt"))) != nullptr; }));
        EXPECT_EQ(told->text(),
            QStringLiteral(
                "Das gespeicherte Original ist beschädigt und lässt sich nicht öffnen. Das Bild bleibt unverändert."));
        told->close();
        const ScreenshotItemPtr kept = context().screenshotItem(item->persistentID);
        EXPECT_EQ(kept->pngData, before);
        EXPECT_TRUE(kept->strokesData);
        EXPECT_EQ(kept->sourceImageData, damaged);
    }
}

// A click on a screenshot whose stored original is damaged opens the picture as shown; on one
// whose shown picture is damaged as well, the user is told why nothing opens.
TEST_F(GalleryWindowsTest, ADamagedOriginalOpensTheShownPictureAndAnUnreadableOneSaysWhy)
{
    const QImage shown = screenshotPicture(QColor(170, 60, 40), QStringLiteral("Annotated"));
    for (const QByteArray& png : {QByteArray(4096, 'x'), pngOf(shown)}) {
        context().insert(std::make_shared<ScreenshotItem>(minutesAgo(png == pngOf(shown) ? 1 : 5),
            QStringLiteral("area"), png, std::optional(QByteArray(4096, 'x')), std::optional(QByteArray("[]"))));
    }
    ASSERT_TRUE(context().save());
    screenshotsManager().showScreenshots();
    QWidget* gallery = screenshotsManager().window();
    ASSERT_TRUE(waitUntil([&] { return gallery->isVisible() && picturesLoaded(gallery); }, 15000));
    CardGridView* view = galleryGrid()->grid()->view();

    ASSERT_TRUE(click(view->viewport(), view->visualRect(galleryGrid()->model()->index(0)).center()));
    ASSERT_TRUE(waitUntil([&] { return editors->window() && editors->window()->isVisible(); }, 15000));
    EXPECT_EQ(editors->editorView()->document().sourceImage(),
        shown.convertToFormat(editors->editorView()->document().sourceImage().format()));
    spin(300);
    saveWindowPicture(editors->window(), QStringLiteral("gallery_edit_damaged_original_x11.png"));
    editors->closeWindow();

    gallery->activateWindow();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    ASSERT_TRUE(waitUntil([&] { return picturesLoaded(gallery); }, 15000));
    ASSERT_TRUE(click(view->viewport(), view->visualRect(galleryGrid()->model()->index(1)).center()));
    QMessageBox* told = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (told = messageShowing(QStringLiteral("beschädigt"))) != nullptr; }, 15000));
    EXPECT_EQ(told->windowTitle(), QStringLiteral("Bearbeiten nicht möglich"));
    EXPECT_FALSE(editors->window());
    spin(300);
    saveWindowPicture(told, QStringLiteral("gallery_damaged_screenshot_told_x11.png"));
    told->close();
}

TEST_F(GalleryWindowsTest, ThePointedCardTakesTheRightClickAndTheClick)
{
    const auto item = addRecording(minutesAgo(4), QStringLiteral("2026-12-07_06-00-00.mov"), 7, QColor(52, 101, 164));
    recordingsManager().showRecordings();
    QWidget* recordings = recordingsManager().window();
    ASSERT_TRUE(waitUntil([&] { return recordings->isVisible() && picturesLoaded(recordings); }, 15000));
    // The row is painted; the pointer moving onto it makes its card, which opens the menu.
    CardGridView* view = recordingsView()->grid()->view();
    const QPoint centre = view->visualRect(recordingsView()->model()->index(0)).center();
    const QPoint at = view->viewport()->mapToGlobal(centre);
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
        QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("3")}));
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }));
    EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Abspielen"));
    auto* card = qobject_cast<RecordingCard*>(view->viewport()->childAt(centre));
    ASSERT_TRUE(card);
    EXPECT_EQ(card->item(), item);
    menu->close();
    // A left click on it plays the movie.
    ASSERT_TRUE(click(view->viewport(), centre));
    ASSERT_TRUE(waitUntil([] { return RecordingQuickLook::current() && RecordingQuickLook::current()->isVisible(); }));
    EXPECT_EQ(RecordingQuickLook::current()->path(),
        RecordingStorage::recordingsDirectory() + QLatin1Char('/') + item->fileName);
    RecordingQuickLook::current()->close();
}
