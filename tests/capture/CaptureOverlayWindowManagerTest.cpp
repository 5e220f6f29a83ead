// The manager's flows on a fake screen (offscreen windows): the crop of the frozen snapshot, the
// last area repeated live or replaced by a selection when its display is gone, and a refused
// permission that leaves everything as it was.
#include "app/CaptureResultHandler.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "capture/ScreenshotCaptureService.h"
#include "fakes/TestSupport.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "platform/PasteboardTypes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>

namespace {

QImage stripes(QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + seed) & 0xff, (y * 3 + seed) & 0xff, (x + y) & 0xff));
    return image;
}

bool waitUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(5000);
    while (!condition() && !deadline.hasExpired()) {
        Background::waitForAll();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return condition();
}

class CaptureOverlayWindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        source.monitorList = {{1, QStringLiteral("A"), QRect(0, 0, 400, 300), 1.0, true},
            {2, QStringLiteral("B"), QRect(400, 0, 400, 300), 1.0, false}};
        source.setScreen(stripes(QSize(800, 300), 1));
        rig.capture.onCapture = [this](const CaptureResult& r) { results.append(r); };
    }
    void TearDown() override
    {
        manager.dismissAll();
        rig.capture.onCapture = nullptr;
        Background::waitForAll();
        QCoreApplication::processEvents();
    }

    bool present(const std::function<void()>& begin)
    {
        bool presented = false;
        const auto c = QObject::connect(
            &manager, &CaptureOverlayWindowManager::overlaysPresented, [&presented] { presented = true; });
        begin();
        const bool shown = waitUntil([&] { return presented; });
        QObject::disconnect(c);
        return shown;
    }

    CaptureRig rig;
    FakeScreenSource& source = rig.fakes.screen;
    FakePasteboard& pasteboard = rig.fakePasteboard;
    CaptureOverlayWindowManager& manager = rig.overlay;
    QList<CaptureResult> results;
};

}

TEST_F(CaptureOverlayWindowManagerTest, AreaIsCroppedFromTheFrozenScreenAndTheLastAreaIsGrabbedLive)
{
    ASSERT_TRUE(present([&] { manager.beginAreaSelection(false); }));
    EXPECT_EQ(manager.overlayWindows().size(), 2);
    EXPECT_EQ(manager.loupeSnapshotsByDisplayID().size(), 2);
    const QImage frozen = source.screen;
    source.setScreen(stripes(QSize(800, 300), 9)); // changes after the begin are not captured
    // On monitor B, root (450, 20) to (550, 70): global y is 300 minus the root y.
    manager.selection().marqueeMouseDown({450, 280});
    manager.selection().dragChanged({550, 230});
    manager.selection().dragEnded();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_FALSE(manager.isShowing());
    EXPECT_EQ(results[0].displayID, 2u);
    EXPECT_EQ(results[0].sourceRect, QRectF(50, 20, 100, 50));
    EXPECT_EQ(results[0].image.convertToFormat(QImage::Format_RGB32), frozen.copy(450, 20, 100, 50));
    ASSERT_TRUE(manager.lastAreaCapture());
    EXPECT_EQ(*manager.lastAreaCapture(), (LastAreaCapture {2, QRectF(50, 20, 100, 50), 1.0}));

    manager.beginLastAreaCapture();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results[1].image.convertToFormat(QImage::Format_RGB32), source.screen.copy(450, 20, 100, 50));
    EXPECT_FALSE(manager.isShowing());

    // Its display unplugged: a new area selection instead.
    source.monitorList.removeLast();
    ASSERT_TRUE(present([&] { manager.beginLastAreaCapture(); }));
    EXPECT_EQ(manager.startedFlows().last(), QStringLiteral("beginAreaSelection(forceToolbar: false)"));
    EXPECT_EQ(manager.overlayWindows().size(), 1);
}

TEST_F(CaptureOverlayWindowManagerTest, TooSmallOrOffScreenSelectionsEndTheSessionAndKeepTheLastArea)
{
    ASSERT_TRUE(present([&] { manager.beginAreaSelection(false); }));
    manager.selection().marqueeMouseDown({10, 290});
    manager.selection().dragChanged({14, 200}); // 4 points wide
    manager.selection().dragEnded();
    EXPECT_FALSE(manager.isShowing());
    ASSERT_TRUE(present([&] { manager.beginAreaSelection(false); }));
    manager.selection().marqueeMouseDown({-300, 500}); // wholly off the monitors
    manager.selection().dragChanged({-100, 400});
    manager.selection().dragEnded();
    EXPECT_FALSE(manager.isShowing());
    Background::waitForAll();
    QCoreApplication::processEvents();
    EXPECT_TRUE(results.isEmpty());
    EXPECT_FALSE(manager.lastAreaCapture());
}

// While a recording starts, asking for one again (a second press of a record key) changes nothing
// and says nothing; a stop meanwhile cancels it: it never runs, and leaves no movie.
TEST_F(CaptureOverlayWindowManagerTest, WhileARecordingStartsAnotherIsNotAskedForAndAStopCancelsIt)
{
    QTemporaryDir movies;
    rig.recorder.setRecordingsDirectory(movies.path());
    ConsoleCapture console;
    QSignalSpy recording(&rig.recorder, &ScreenRecordingService::isRecordingChanged);
    QSignalSpy stopped(&rig.recorder, &ScreenRecordingService::stopped);
    rig.recorder.startRecording(ScreenRecordingService::DisplayTarget {1}, false);
    manager.beginScreenRecording();
    manager.beginAreaRecording();
    rig.recorder.stopRecording();
    ASSERT_TRUE(waitUntil([&] { return !stopped.isEmpty(); }));
    EXPECT_TRUE(recording.isEmpty());
    EXPECT_FALSE(rig.recorder.isBusy());
    EXPECT_TRUE(QDir(movies.path()).isEmpty());
    EXPECT_FALSE(rig.fakes.inhibitor.held);
    EXPECT_TRUE(console.lines.isEmpty()) << console.lines.join('\n').toStdString();
}

TEST_F(CaptureOverlayWindowManagerTest, ARefusedPermissionShowsTheAlertAndChangesNothing)
{
    manager.selection().applyModeSwitch(SelectionParadigm::windowPick, TerminalAction::record);
    source.failGrabs = true;
    manager.beginAreaSelection(true);
    ASSERT_TRUE(waitUntil([&] { return manager.permissionAlert() != nullptr; }));
    EXPECT_FALSE(manager.isShowing());
    EXPECT_EQ(manager.selection().paradigm(), SelectionParadigm::windowPick);
    EXPECT_EQ(manager.selection().terminalAction(), TerminalAction::record);
    manager.permissionAlert()->close();
}

TEST_F(CaptureOverlayWindowManagerTest, ASecondBeginReplacesTheFirstSessionBeforeItShows)
{
    manager.beginWindowSelection();
    ASSERT_TRUE(present([&] { manager.beginTextSelection(); }));
    EXPECT_EQ(manager.selection().paradigm(), SelectionParadigm::marquee);
    EXPECT_EQ(manager.selection().terminalAction(), TerminalAction::ocr);
    EXPECT_EQ(rig.fakeRecognizer.prepared(), 1) << "the text models load while the area is drawn";
    EXPECT_EQ(manager.overlayWindows().size(), 2);
    // The earlier begin's window list, arriving late, changes nothing.
    Background::waitForAll();
    QCoreApplication::processEvents();
    EXPECT_EQ(manager.selection().paradigm(), SelectionParadigm::marquee);
}

TEST_F(CaptureOverlayWindowManagerTest, ALaterSessionShowsItsOwnSnapshotInTheKeptWindowsOfItsMonitors)
{
    auto dimmed = [](QImage image) {
        QPainter(&image).fillRect(image.rect(), QColor(0, 0, 0, int(0.35 * 255)));
        return image;
    };
    ASSERT_TRUE(present([&] { manager.beginWindowSelection(); }));
    const QList<QWidget*> first = manager.overlayWindows();
    manager.dismissAll();
    EXPECT_FALSE(manager.isShowing());

    // The monitors laid out anew (one as large as the offscreen screen) and the screen changed:
    // the kept window follows the one monitor left and paints the new screen, nothing of the old.
    source.monitorList = {{3, QStringLiteral("C"), QRect(0, 0, 800, 800), 1.0, true}};
    source.setScreen(stripes(QSize(800, 800), 5));
    ASSERT_TRUE(present([&] { manager.beginWindowSelection(); }));
    ASSERT_EQ(manager.overlayWindows().size(), 1);
    QWidget* panel = manager.overlayWindows().first();
    EXPECT_TRUE(first.contains(panel));
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 800, 800));
    EXPECT_EQ(panel->grab().toImage().convertToFormat(QImage::Format_RGB32), dimmed(source.screen));

    // Back to two monitors: one kept window, one new.
    manager.dismissAll();
    source.monitorList = {{1, QStringLiteral("A"), QRect(0, 0, 400, 300), 1.0, true},
        {2, QStringLiteral("B"), QRect(400, 0, 400, 300), 1.0, false}};
    ASSERT_TRUE(present([&] { manager.beginWindowSelection(); }));
    ASSERT_EQ(manager.overlayWindows().size(), 2);
    EXPECT_EQ(manager.overlayWindows()[1]->grab().toImage().convertToFormat(QImage::Format_RGB32),
        dimmed(source.screen.copy(400, 0, 400, 300)));
}

// The wait for the overlay to leave the screen holds no worker between its looks: with a single
// capture worker, other capture work runs while the overlay's windows still show, and the wait
// goes on after it.
TEST_F(CaptureOverlayWindowManagerTest, TheWaitForTheOverlayToLeaveHoldsNoWorker)
{
    ASSERT_TRUE(present([&] { manager.beginAreaSelection(false); }));
    QThreadPool& capture = Background::capturePool();
    const std::shared_ptr<void> restore(
        nullptr, [&capture, threads = capture.maxThreadCount()](void*) { capture.setMaxThreadCount(threads); });
    capture.setMaxThreadCount(1);
    source.windowsViewable = true;
    std::atomic<bool> ran {false};
    int looks = 0;
    ASSERT_TRUE(present([&] {
        manager.beginAreaSelection(false);
        capture.start([&ran] { ran = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return ran.load(); }, 20000));
        looks = source.viewableAsked;
        source.windowsViewable = false;
    }));
    EXPECT_GT(source.viewableAsked, looks);
}

// Work holding every worker of the pool (slow decodes of the gallery on a small machine) holds up
// no start: a full-screen capture reaches its grab, an area selection shows its snapshots and a
// screen recording reaches the recorder, each at once.
TEST_F(CaptureOverlayWindowManagerTest, StartsNeverWaitBehindOtherWork)
{
    source.monitorList.removeLast(); // one display: no menu picks it
    QTemporaryDir movies;
    rig.recorder.setRecordingsDirectory(movies.path());
    const auto stuck = std::make_shared<QSemaphore>();
    const int threads = Background::pool().maxThreadCount();
    const std::shared_ptr<void> release(nullptr, [stuck, threads](void*) { stuck->release(threads); });
    for (int i = 0; i < threads; ++i)
        Background::run([stuck] { stuck->acquire(); });
    const auto atOnce = [](const std::function<bool()>& reached) { return QTest::qWaitFor(reached, 1000); };

    const int grabs = source.grabCount; // the probe's pixel, then the screen
    manager.beginFullScreenCapture();
    EXPECT_TRUE(atOnce([&] { return source.grabCount == grabs + 2; }));

    bool presented = false;
    QObject::connect(&manager, &CaptureOverlayWindowManager::overlaysPresented, [&] { presented = true; });
    manager.beginAreaSelection(false);
    EXPECT_TRUE(atOnce([&] { return presented; }));
    manager.dismissAll();

    manager.beginScreenRecording();
    EXPECT_TRUE(atOnce([&] { return rig.recorder.isBusy(); }));
    rig.recorder.stopRecording();
}

// With every pool worker held, a full-screen and an area capture still reach the clipboard and the
// store: their PNG encode, its bands and the insert never wait for that pool.
TEST_F(CaptureOverlayWindowManagerTest, CapturesReachTheClipboardAndTheStoreWhateverHoldsThePool)
{
    source.monitorList.removeLast(); // one display: no menu picks it
    TempStore store;
    NotificationCenter notifications;
    QStringList saves; // each save's error, empty when stored
    const auto save = makeCaptureResultHandler(
        store.container, notifications, {}, [&saves](const QString& error) { saves.append(error); });
    rig.capture.onCapture = [&](const CaptureResult& result) {
        results.append(result);
        save(result);
    };
    const auto stuck = std::make_shared<QSemaphore>();
    const int threads = Background::pool().maxThreadCount();
    const std::shared_ptr<void> release(nullptr, [stuck, threads](void*) { stuck->release(threads); });
    for (int i = 0; i < threads; ++i)
        Background::run([stuck] { stuck->acquire(); });
    const auto stored = [&](int count) { return QTest::qWaitFor([&] { return saves.size() == count; }, 20000); };
    const auto onTheClipboard = [&] {
        const QList<Pasteboard::Item> content = pasteboard.content();
        return content.size() == 1 && content[0].type == PasteboardTypes::png
            && content[0].data == results.last().pngData;
    };

    manager.beginFullScreenCapture();
    ASSERT_TRUE(stored(1)) << "the full-screen capture was never stored";
    EXPECT_EQ(saves, QStringList {QString()});
    ASSERT_EQ(results.size(), 1);
    EXPECT_TRUE(onTheClipboard());
    const auto picture = [](const CaptureResult& result) {
        return QImage::fromData(result.pngData).convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(picture(results[0]), source.screen.copy(0, 0, 400, 300));

    bool presented = false;
    QObject::connect(&manager, &CaptureOverlayWindowManager::overlaysPresented, [&] { presented = true; });
    manager.beginAreaSelection(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return presented; }, 20000)) << "the area selection never showed";
    manager.selection().marqueeMouseDown({50, 280});
    manager.selection().dragChanged({250, 100});
    manager.selection().dragEnded();
    ASSERT_TRUE(stored(2)) << "the area capture was never stored";
    EXPECT_EQ(saves.last(), QString());
    EXPECT_TRUE(onTheClipboard());
    EXPECT_EQ(picture(results[1]), source.screen.copy(50, 20, 200, 180));

    const auto items = store.container->mainContext().fetchScreenshotItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(QSet<QByteArray>({items[0]->pngData, items[1]->pngData}),
        QSet<QByteArray>({results[0].pngData, results[1].pngData}));
}
