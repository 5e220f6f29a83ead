#include "RecordingTestSupport.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingControlWindowManager.h"
#include "platform/Compositing.h"
#include "recording/RecordingPipeline.h"
#include "store/RecordingStorage.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTimer>
#include <numeric>
#include <thread>
#include <QWidget>
#include <sqlite3.h>

TEST(ScreenRecordingService, RecordsStoresAndAnnouncesAMovie)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    ConsoleCapture console;
    h.start();
    ASSERT_TRUE(h.service->isRecording());
    EXPECT_TRUE(h.inhibitor.held);
    ASSERT_TRUE(h.controlPanel().panel());
    EXPECT_TRUE(h.controlPanel().panel()->isVisible());
    h.run(9);
    h.setColour(Qt::blue);
    h.run(9);
    h.stop();

    EXPECT_FALSE(h.service->isRecording());
    EXPECT_FALSE(h.controlPanel().panel());
    EXPECT_FALSE(h.inhibitor.held);
    auto movie = h.writer.lastMovie();
    ASSERT_TRUE(movie);
    EXPECT_TRUE(movie->finished);
    EXPECT_EQ(movie->settings.size, QSize(320, 240));
    EXPECT_EQ(movie->settings.videoBitRate, 15'000'000);
    EXPECT_EQ(movie->settings.keyFrameInterval, 60);
    EXPECT_EQ(movie->settings.fragmentSeconds, 10);
    EXPECT_FALSE(movie->settings.audio);
    // A frame at every tick of the 0.6 s, from the first at the start.
    QList<qint64> ticks(19);
    std::iota(ticks.begin(), ticks.end(), 0);
    EXPECT_EQ(movie->frameIndexes, ticks);
    EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::red).rgb());
    EXPECT_EQ(movie->firstPixels.last(), QColor(Qt::blue).rgb());
    EXPECT_EQ(h.service->lastFramesDropped(), 0);

    const auto records = h.records();
    ASSERT_EQ(records.size(), 1u);
    const RecordingItemPtr& item = records.front();
    EXPECT_EQ(item->recordingKind, QStringLiteral("display"));
    EXPECT_EQ(item->fileName, h.service->currentFileName());
    EXPECT_TRUE(QFileInfo::exists(QDir(h.folder.path()).filePath(item->fileName)));
    EXPECT_EQ(item->fileSizeBytes, 1234);
    EXPECT_DOUBLE_EQ(item->durationSeconds, 19 / 30.0); // what the movie plays: its last frame ends there
    EXPECT_FALSE(item->hasSystemAudio);
    // The thumbnail is the frame at one second, however short the movie.
    EXPECT_DOUBLE_EQ(h.thumbnailer.askedSeconds, 1.0);
    ASSERT_TRUE(item->thumbnailData);
    EXPECT_EQ(QImage::fromData(*item->thumbnailData).size(), QSize(400, 225));
    EXPECT_EQ(h.savedCount, 1);
    // A routine recording leaves the terminal quiet.
    EXPECT_FALSE(console.contains(QStringLiteral("frames dropped")));
    EXPECT_FALSE(h.service->lastError());
}

TEST(ScreenRecordingService, SecondStartIsRefusedAndNamesNeverReplaceAFile)
{
    RecordingHarness h;
    ConsoleCapture console;
    // A movie of this second already lies in the folder: the new one takes another name.
    const QString taken = RecordingStorage::fileName(QDateTime::currentDateTime());
    writeFile(QDir(h.folder.path()).filePath(taken), "older movie");
    h.start();
    EXPECT_NE(h.service->currentFileName(), taken);
    EXPECT_EQ(readFile(QDir(h.folder.path()).filePath(taken)), QByteArray("older movie"));

    const auto first = h.writer.lastMovie();
    h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, false);
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: a recording is already running")));
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Neue Bildschirmaufnahme nicht begonnen")});
    EXPECT_EQ(h.notifier.bodies,
        QStringList {QStringLiteral("Es läuft schon eine Bildschirmaufnahme. Beende sie, bevor du eine neue beginnst.")});
    EXPECT_EQ(h.writer.lastMovie(), first);
    EXPECT_TRUE(h.service->isRecording());
    h.stop();
}

TEST(ScreenRecordingService, FailedStartsReportAndLeaveNothingBehind)
{
    {
        RecordingHarness h;
        ConsoleCapture console;
        h.start(ScreenRecordingService::DisplayTarget {42});
        ASSERT_TRUE(h.service->lastError());
        EXPECT_EQ(h.service->lastError()->kind, ScreenRecordingService::RecordingError::Kind::noDisplay);
        EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme fehlgeschlagen")});
        EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: the display to record was not found")));
    }
    {
        RecordingHarness h;
        h.writer.failCreate = true;
        h.start();
        ASSERT_TRUE(h.service->lastError());
        EXPECT_EQ(h.service->lastError()->kind, ScreenRecordingService::RecordingError::Kind::setupFailed);
        EXPECT_FALSE(h.service->isRecording());
        EXPECT_FALSE(h.controlPanel().panel());
        EXPECT_EQ(h.inhibitor.inhibitCount, 0);
    }
}

// "recordSystemAudio" is on but no sound server answers: the picture is recorded and listed (with
// the silent sound track it was started with, not listed as having sound), and the user is told
// once why the movie has no sound.
TEST(ScreenRecordingService, WithoutASoundServerThePictureIsRecordedAndTheUserToldWhy)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    ConsoleCapture console;
    h.audio.failStart = true;
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    ASSERT_TRUE(h.service->isRecording());
    EXPECT_FALSE(h.service->lastError());
    h.run(15);
    h.stop();

    const auto movie = h.writer.lastMovie();
    ASSERT_TRUE(movie);
    EXPECT_TRUE(movie->settings.audio);
    EXPECT_EQ(movie->audioFrames, 48'000 * 16 / 30); // silence
    EXPECT_EQ(movie->frameIndexes.size(), 16);
    ASSERT_EQ(h.records().size(), 1u);
    EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, 16 / 30.0);
    EXPECT_FALSE(h.records().front()->hasSystemAudio);
    EXPECT_EQ(h.savedCount, 1);
    EXPECT_FALSE(h.service->lastError());
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme ohne Ton")});
    EXPECT_TRUE(h.notifier.bodies.first().contains(QStringLiteral("Connection refused")))
        << h.notifier.bodies.first().toStdString();
    EXPECT_EQ(console.count(
                  QStringLiteral("ScreenRecordingService: recording without sound: system audio: Connection refused")),
        1);
}

TEST(ScreenRecordingService, PauseLeavesNoGapAndDoesNotCount)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.start();
    h.run(12);
    h.service->pauseRecording();
    EXPECT_TRUE(h.service->isPaused());
    EXPECT_NEAR(h.service->elapsed(), 12 / 30.0, 1e-6);
    h.setColour(Qt::blue); // shown only while paused
    h.run(18);
    EXPECT_NEAR(h.service->elapsed(), 12 / 30.0, 1e-6);
    h.setColour(Qt::green);
    h.service->resumeRecording();
    EXPECT_FALSE(h.service->isPaused());
    h.run(12);
    h.stop();
    const auto movie = h.writer.lastMovie();
    // The paused span leaves neither a gap nor a picture of its own.
    QList<qint64> ticks(25);
    std::iota(ticks.begin(), ticks.end(), 0);
    EXPECT_EQ(movie->frameIndexes, ticks);
    EXPECT_FALSE(movie->firstPixels.contains(QColor(Qt::blue).rgb()));
    EXPECT_EQ(movie->firstPixels[12], QColor(Qt::red).rgb());
    EXPECT_EQ(movie->firstPixels[13], QColor(Qt::green).rgb());
    ASSERT_EQ(h.records().size(), 1u);
    EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, 25 / 30.0);
}

// An encoder that stopped taking frames: the queue fills, then every tick is dropped and counted
// (printed when QUORVEL_TRACE asks for the recording's traces). The movie still ends with the
// screen at the stop.
TEST(ScreenRecordingService, DroppedFramesAreCountedAndPrinted)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    const int capacity = RecordingPipeline::queueCapacityFor(QSize(320, 240));
    const QByteArray traced = qgetenv("QUORVEL_TRACE");
    qputenv("QUORVEL_TRACE", "recording");
    ConsoleCapture console;
    h.writer.holdAppends = true;
    h.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.appendHeld.load(); }, 30000)); // frame 0
    ASSERT_TRUE(h.time.waitForSleeper(RecordingHarness::captureThread));
    // Frames 1 to `capacity` wait, the next three ticks are dropped, the last holds the stop.
    const int ticks = capacity + 4;
    for (int i = 0; i < ticks; ++i)
        h.time.advance(RecordingHarness::framePeriod);
    h.writer.holdAppends = false;
    h.stop();
    const auto movie = h.writer.lastMovie();
    QList<qint64> kept(capacity + 1);
    std::iota(kept.begin(), kept.end(), 0);
    kept << ticks;
    EXPECT_EQ(movie->frameIndexes, kept);
    EXPECT_EQ(h.service->lastFramesDropped(), 3);
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: 3 of %1 frames dropped").arg(ticks + 1)))
        << console.lines.join('\n').toStdString();
    EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, (ticks + 1) / 30.0);
    qputenv("QUORVEL_TRACE", traced);
}

// The capture thread wakes 0.6 of a frame late once (a stopped or starved process): that tick is
// dropped, and every later frame is stamped with the time it was grabbed, within half a frame.
TEST(ScreenRecordingService, ALateWakeCostsATickAndShiftsNoLaterFrame)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    std::vector<RecordingClock::TimePoint> grabbedAt {h.time.now()}; // by the red of the screen
    h.setColour(QColor(0, 0, 0));
    h.start();
    ASSERT_TRUE(h.time.waitForSleeper(RecordingHarness::captureThread));
    for (int step = 1; step < 30; ++step) {
        h.setColour(QColor(step, 0, 0));
        const auto late = step == 10 ? RecordingHarness::framePeriod * 6 / 10 : RecordingClock::Duration {};
        h.time.advance(h.time.nextDeadline() - h.time.now() + late);
        grabbedAt.push_back(h.time.now());
        ASSERT_TRUE(QTest::qWaitFor([&h] { return h.writer.caughtUp(); }, 30000));
    }
    h.stop();
    const auto movie = h.writer.lastMovie();
    for (qsizetype i = 0; i < movie->frameIndexes.size(); ++i) {
        const auto grabbed = grabbedAt[size_t(qRed(movie->firstPixels[i]))] - grabbedAt[0];
        EXPECT_LE(std::abs(movie->frameIndexes[i] / 30.0 - std::chrono::duration<double>(grabbed).count()), 0.5 / 30 + 1e-6)
            << "frame " << movie->frameIndexes[i];
    }
    EXPECT_EQ(movie->frameIndexes.size(), 30);
    EXPECT_EQ(h.service->lastFramesDropped(), 1);
}

TEST(ScreenRecordingService, AFailingRecordingEndsAndKeepsWhatItHas)
{
    // Counts the queued calls posted to an object itself.
    struct PostedCalls : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::MetaCall;
            return false;
        }
    };
    {
        // The screen can no longer be grabbed: the recording stops, the movie is stored, and the
        // user learns that it was kept, and where. The failure, told on the capture thread, never
        // addresses the service from there (which may be gone by then): nothing is posted to it.
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        PostedCalls posted;
        h.service->installEventFilter(&posted);
        h.start();
        h.run(5);
        QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
        h.screen.failGrabs = true;
        h.run(2);                                     // two lost grabs hold the last picture
        h.time.moveOn(RecordingHarness::framePeriod); // the third ends the recording
        ASSERT_TRUE(stopped.wait(30000));
        EXPECT_FALSE(h.service->isRecording());
        ASSERT_TRUE(h.service->lastError());
        EXPECT_EQ(h.service->lastError()->kind, ScreenRecordingService::RecordingError::Kind::streamFailed);
        ASSERT_EQ(h.records().size(), 1u);
        EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, 6 / 30.0);
        EXPECT_FALSE(h.inhibitor.held);
        EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme vorzeitig beendet")});
        EXPECT_TRUE(h.notifier.bodies.first().contains(h.writer.lastMovie()->path));
        EXPECT_EQ(posted.count, 0);
    }
    {
        // The movie cannot be finished: no record, the file stays.
        RecordingHarness h;
        h.writer.failFinish = true;
        h.start();
        QTest::qWait(100);
        h.stop();
        ASSERT_TRUE(h.service->lastError());
        EXPECT_EQ(h.service->lastError()->message, QStringLiteral("cannot finish"));
        EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme fehlgeschlagen")});
        EXPECT_TRUE(h.records().empty());
        EXPECT_TRUE(QFileInfo::exists(h.writer.lastMovie()->path));
        EXPECT_EQ(h.savedCount, 0);
    }
}

TEST(ScreenRecordingService, AFailedSaveIsPrintedAndNotAnnounced)
{
    RecordingHarness h;
    ConsoleCapture console;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(h.store.container->path().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "DROP TABLE RecordingItem", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    h.start();
    QTest::qWait(100);
    h.stop();
    EXPECT_TRUE(console.contains(QStringLiteral("Failed to save recording: ")));
    EXPECT_EQ(h.savedCount, 0);
    EXPECT_TRUE(QFileInfo::exists(h.writer.lastMovie()->path));
}

TEST(ScreenRecordingService, WithoutAStoreOnlyTheMovieIsLeft)
{
    RecordingHarness h;
    h.service->setModelContainer({});
    h.start();
    QTest::qWait(100);
    h.stop();
    EXPECT_EQ(h.savedCount, 0);
    EXPECT_EQ(h.thumbnailer.calls, 0);
    EXPECT_TRUE(QFileInfo::exists(h.writer.lastMovie()->path));
}

TEST(ScreenRecordingService, AreaAndWindowTargetsAndSystemAudio)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.screen.cursorImage = CursorImage {QImage(), {}, {}, 0};
    h.start(ScreenRecordingService::AreaTarget {1, QRectF(10, 20, 101, 51), 1.0}, true);
    h.run(9);
    h.stop();
    auto movie = h.writer.lastMovie();
    EXPECT_EQ(movie->settings.size, QSize(100, 50));
    EXPECT_TRUE(movie->settings.audio);
    // The sound starts with the first frame, its blocks follow each other without a gap, and it
    // lasts as long as the pictures.
    ASSERT_FALSE(movie->audioPositions.isEmpty());
    EXPECT_EQ(movie->audioPositions.first(), 0);
    for (int i = 1; i < movie->audioPositions.size(); ++i)
        EXPECT_EQ(movie->audioPositions[i], movie->audioPositions[i - 1] + movie->audioBlockFrames[i - 1]);
    EXPECT_EQ(movie->audioFrames, 48'000 * movie->frameIndexes.size() / 30);
    ASSERT_EQ(h.records().size(), 1u);
    EXPECT_EQ(h.records().front()->recordingKind, QStringLiteral("area"));
    EXPECT_TRUE(h.records().front()->hasSystemAudio);

    ScreenWindow window;
    window.windowID = 5;
    window.frame = QRect(0, 0, 61, 41);
    QImage pixels(61, 41, QImage::Format_RGB32);
    pixels.fill(Qt::green);
    h.screen.windowImages.insert(5, pixels);
    h.start(ScreenRecordingService::WindowTarget {window});
    h.run(3);
    h.stop();
    movie = h.writer.lastMovie();
    EXPECT_EQ(movie->settings.size, QSize(60, 40));
    EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::green).rgb());
    EXPECT_EQ(h.records().size(), 2u);
}

TEST(ScreenRecordingService, PointerIsDrawnAtItsHotspot)
{
    QImage frame(20, 20, QImage::Format_RGB32);
    frame.fill(Qt::black);
    QImage arrow(4, 4, QImage::Format_ARGB32_Premultiplied);
    arrow.fill(Qt::white);
    // The pointer's hotspot (1, 1) at root (111, 211); the frame starts at root (100, 200).
    RecordingPipeline::drawPointer(frame, CursorImage {arrow, QPoint(1, 1), QPoint(111, 211), 1}, QPoint(100, 200));
    EXPECT_EQ(frame.pixel(10, 10), QColor(Qt::white).rgb());
    EXPECT_EQ(frame.pixel(13, 13), QColor(Qt::white).rgb());
    EXPECT_EQ(frame.pixel(14, 14), QColor(Qt::black).rgb());
    EXPECT_EQ(frame.pixel(9, 9), QColor(Qt::black).rgb());
}

TEST(ScreenRecordingService, UnderAFadingCompositorTheMovieStartsOnceTheOverlayHasFaded)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    bool compositing = true;
    h.service = std::make_unique<ScreenRecordingService>(h.timedNeeds({h.screen, h.writer, h.thumbnailer, h.inhibitor,
        h.audio, h.notifier, h.permissions, [&compositing] { return compositing; }}));
    h.service->setRecordingsDirectory(h.folder.path());
    h.service->setModelContainer(h.store.container);
    // The overlay is hidden and still drawn while it fades; the screen shows the desktop (red)
    // once the time the fade takes has passed on the recording's clock.
    struct Start {
        int framesAtOnce = 0;   // frames taken before the clock moved
        qint64 waitedMs = 0;    // till the first frame
        qint64 sinceHideMs = 0; // real time from the hide to the start, at least
    };
    auto recordAfterTheOverlayHides = [&h](Start* start) {
        QWidget overlay;
        overlay.resize(320, 240);
        overlay.show();
        QElapsedTimer sinceHidden;
        sinceHidden.start();
        overlay.hide();
        h.setColour(Qt::magenta);
        const auto asked = h.time.now();
        QSignalSpy started(h.service.get(), &ScreenRecordingService::startFinished);
        h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, false);
        start->sinceHideMs = sinceHidden.elapsed();
        EXPECT_TRUE(started.count() > 0 || started.wait(30000));
        EXPECT_TRUE(h.time.waitForSleeper(RecordingHarness::captureThread));
        start->framesAtOnce = h.writer.framesConverted();
        if (start->framesAtOnce == 0) {
            const auto firstFrame = h.time.nextDeadline();
            start->waitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(firstFrame - asked).count();
            h.time.advance(firstFrame - h.time.now() - std::chrono::milliseconds(1));
            EXPECT_EQ(h.writer.framesConverted(), 0);
        }
        h.setColour(Qt::red);
        h.run(3);
        h.stop();
        return h.writer.lastMovie();
    };
    Start start;
    auto movie = recordAfterTheOverlayHides(&start);
    ASSERT_TRUE(movie && !movie->frameIndexes.isEmpty());
    // The movie begins what is left of the fade after the hide, and not a frame of the overlay is
    // in it (unless the machine took the whole fade to get from the hide to the start).
    if (start.sinceHideMs < Compositing::fadeOutMs) {
        EXPECT_EQ(start.framesAtOnce, 0);
        EXPECT_GE(start.waitedMs, Compositing::fadeOutMs - start.sinceHideMs - 1); // whole milliseconds
        EXPECT_LE(start.waitedMs, Compositing::fadeOutMs);
        EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::red).rgb());
    }
    EXPECT_EQ(movie->frameIndexes.first(), 0); // the movie starts at its first frame

    compositing = false; // nothing fades: the movie starts at once
    movie = recordAfterTheOverlayHides(&start);
    ASSERT_TRUE(movie && !movie->frameIndexes.isEmpty());
    EXPECT_EQ(start.framesAtOnce, 1);
    EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::magenta).rgb());
}

// Quitting while a recording runs: the movie is finished and stored on the worker pool, and the
// quit waits for that a bounded time, also when the disk has stopped answering.
TEST(ScreenRecordingService, AQuitFinishesTheMovieWithinItsBound)
{
    using namespace std::chrono_literals;
    {
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        h.start();
        h.run(6);
        QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
        // Listed before the quit goes on.
        ASSERT_EQ(h.records().size(), 1u);
        EXPECT_TRUE(h.writer.lastMovie()->finished);
        EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, 7 / 30.0);
    }
    {
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        h.start();
        h.run(3);
        h.writer.holdAppends = true; // frame 4 is held in its write, 5 to 7 wait behind it
        for (int i = 0; i < 4; ++i)
            h.time.advance(RecordingHarness::framePeriod);
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.appendHeld.load(); }, 20000));
        const auto quitAt = h.time.now();
        std::thread clock([&h, quitAt] {
            if (h.time.waitForSleeperUntil(quitAt + 3s)) // the quit waits for the movie
                h.time.moveOn(3s);
        });
        QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
        clock.join();
        EXPECT_FALSE(h.writer.lastMovie()->finished); // the quit went on without it
        EXPECT_TRUE(h.records().empty());
        // Once the disk answers, the encoder leaves out what it had no time for, and the movie
        // keeps what was written.
        h.writer.holdAppends = false;
        Background::waitForAll();
        EXPECT_TRUE(h.writer.lastMovie()->finished);
        EXPECT_EQ(h.writer.lastMovie()->frameIndexes, QList<qint64>({0, 1, 2, 3, 4}));
        ASSERT_EQ(h.records().size(), 1u);
        EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, 5 / 30.0);
        EXPECT_FALSE(h.inhibitor.held);
    }
    {
        // The finishing work finds no thread at first: the capture ends at the quit all the same,
        // and the time going on adds nothing to the movie.
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        h.start();
        h.run(3);
        QSemaphore busy;
        const int threads = Background::lifecyclePool().maxThreadCount();
        for (int i = 0; i < threads; ++i)
            Background::runLifecycle([&busy] { busy.acquire(); });
        h.service->finishAtQuit(2s, 0s);
        EXPECT_TRUE(QTest::qWaitFor([&] { return h.time.nextDeadline() == h.time.now(); }, 20000))
            << "a capture waits for its next frame";
        h.time.advance(RecordingHarness::framePeriod);
        busy.release(threads);
        Background::waitForAll();
        EXPECT_EQ(h.writer.lastMovie()->frameIndexes, QList<qint64>({0, 1, 2, 3}));
    }
}

// Work stuck on the worker pool holds up neither a recording's start nor its stop.
TEST(ScreenRecordingService, StartAndStopNeverWaitBehindOtherWork)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    QSemaphore stuck;
    const int threads = Background::pool().maxThreadCount();
    const std::shared_ptr<void> release(nullptr, [&stuck, threads](void*) { stuck.release(threads); });
    for (int i = 0; i < threads; ++i)
        Background::run([&stuck] { stuck.acquire(); });
    h.start();
    ASSERT_TRUE(h.service->isRecording());
    h.run(3);
    h.stop();
    EXPECT_EQ(h.writer.lastMovie()->frameIndexes, QList<qint64>({0, 1, 2, 3}));
}

// A quit while the recording starts (a slow sound server): the start is waited for within the
// quit's bound, then ends as a running recording does, never shown; listed before the quit goes
// on when the sound server answers within the bound, else once it answers.
TEST(ScreenRecordingService, AQuitWhileARecordingStartsEndsItWithinTheSameBound)
{
    using namespace std::chrono_literals;
    for (const RecordingClock::Duration connect : {1s, 10s}) {
        const bool started = connect < 3s;
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        QSignalSpy recording(h.service.get(), &ScreenRecordingService::isRecordingChanged);
        h.audio.connectDelay = connect;
        const auto quitAt = h.time.now();
        h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, true);
        ASSERT_TRUE(h.time.waitForSleeperUntil(quitAt + connect)); // the connection
        std::thread clock([&h, quitAt, started, connect] {
            if (h.time.waitForSleeperUntil(quitAt + 3s)) // the quit waits for the start
                h.time.moveOn(started ? connect : 3s);
        });
        QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
        clock.join();
        EXPECT_EQ(h.records().size(), started ? 1u : 0u); // listed before the quit goes on
        h.time.moveOn(connect);                           // a start given up ends now
        Background::waitForAll();
        EXPECT_TRUE(recording.isEmpty());
        EXPECT_FALSE(h.service->isBusy());
        EXPECT_FALSE(h.inhibitor.held);
        EXPECT_EQ(h.records().size(), 1u);
    }
}

// The recorder goes while its work still runs on the pool: the work ends with the services it
// holds, never with the recorder, and nothing stays held.
TEST(ScreenRecordingService, ARecorderThatGoesLeavesItsWorkToEnd)
{
    using namespace std::chrono_literals;
    {
        // A start waiting for the sound server to answer.
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        h.audio.connectDelay = 1s;
        const auto asked = h.time.now();
        h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, true);
        ASSERT_TRUE(h.time.waitForSleeperUntil(asked + 1s)); // the connection
        ASSERT_TRUE(h.time.waitForSleeper(RecordingHarness::captureThread));
        h.service = nullptr;
        h.time.advance(1s); // the server answers; the start ends, for no one
        Background::waitForAll();
        ASSERT_TRUE(h.writer.lastMovie());
        EXPECT_TRUE(h.writer.lastMovie()->finished);
        EXPECT_FALSE(h.inhibitor.held);
        EXPECT_FALSE(h.audio.running);
    }
    {
        // A stop finishing the movie, and a recording still running.
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        h.start();
        h.run(3);
        h.writer.holdAppends = true;
        h.time.advance(RecordingHarness::framePeriod);
        h.service->stopRecording();
        h.service = nullptr;
        h.writer.holdAppends = false;
        Background::waitForAll();
        ASSERT_EQ(h.records().size(), 1u);
        EXPECT_FALSE(h.inhibitor.held);

        h.service = std::make_unique<ScreenRecordingService>(h.timedNeeds());
        h.service->setRecordingsDirectory(h.folder.path());
        h.service->setModelContainer(h.store.container);
        h.start();
        h.run(3);
        h.service = nullptr;
        Background::waitForAll();
        EXPECT_EQ(h.records().size(), 2u);
        EXPECT_FALSE(h.inhibitor.held);
    }
}
