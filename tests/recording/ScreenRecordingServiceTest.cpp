#include "RecordingTestSupport.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingControlWindowManager.h"
#include "platform/Compositing.h"
#include "recording/RecordingPipeline.h"
#include "store/RecordingStorage.h"

#include <QTimer>
#include <QWidget>
#include <sqlite3.h>

namespace {
// Frame positions skipped between consecutive frames.
qint64 missedTicks(const QList<qint64>& indexes)
{
    qint64 missed = 0;
    for (int i = 1; i < indexes.size(); ++i)
        missed += indexes[i] - indexes[i - 1] - 1;
    return missed;
}
}

TEST(ScreenRecordingService, RecordsStoresAndAnnouncesAMovie)
{
    RecordingHarness h;
    ConsoleCapture console;
    h.start();
    ASSERT_TRUE(h.service->isRecording());
    EXPECT_TRUE(h.inhibitor.held);
    ASSERT_TRUE(h.controlPanel().panel());
    EXPECT_TRUE(h.controlPanel().panel()->isVisible());
    QTest::qWait(300);
    h.setColour(Qt::blue);
    QTest::qWait(300);
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
    ASSERT_GE(movie->frameIndexes.size(), 12);
    EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::red).rgb());
    EXPECT_EQ(movie->firstPixels.last(), QColor(Qt::blue).rgb());
    // A steady clock: frame indexes climb by one, but for ticks missed and counted as dropped.
    EXPECT_EQ(missedTicks(movie->frameIndexes), h.service->lastFramesDropped());

    const auto records = h.records();
    ASSERT_EQ(records.size(), 1u);
    const RecordingItemPtr& item = records.front();
    EXPECT_EQ(item->recordingKind, QStringLiteral("display"));
    EXPECT_EQ(item->fileName, h.service->currentFileName());
    EXPECT_TRUE(QFileInfo::exists(QDir(h.folder.path()).filePath(item->fileName)));
    EXPECT_EQ(item->fileSizeBytes, 1234);
    EXPECT_NEAR(item->durationSeconds, 0.6, 0.2);
    EXPECT_FALSE(item->hasSystemAudio);
    ASSERT_TRUE(item->thumbnailData);
    EXPECT_EQ(QImage::fromData(*item->thumbnailData).size(), QSize(400, 225));
    EXPECT_EQ(h.savedCount, 1);
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: %1 of %2 frames dropped")
                                     .arg(h.service->lastFramesDropped())
                                     .arg(movie->frameIndexes.size() + h.service->lastFramesDropped())));
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
    {
        // The audio cannot start after the movie was created: its partial file goes, the hold too.
        RecordingHarness h;
        h.audio.failStart = true;
        h.start(ScreenRecordingService::DisplayTarget {1}, true);
        ASSERT_TRUE(h.service->lastError());
        EXPECT_EQ(h.service->lastError()->message, QStringLiteral("no sound server"));
        ASSERT_TRUE(h.writer.lastMovie());
        EXPECT_FALSE(QFileInfo::exists(h.writer.lastMovie()->path));
        EXPECT_FALSE(h.inhibitor.held);
        EXPECT_FALSE(h.service->isRecording());
    }
}

TEST(ScreenRecordingService, PauseLeavesNoGapAndDoesNotCount)
{
    RecordingHarness h;
    h.start();
    QTest::qWait(400);
    h.service->pauseRecording();
    EXPECT_TRUE(h.service->isPaused());
    const double atPause = h.service->elapsed();
    QTest::qWait(600);
    EXPECT_DOUBLE_EQ(h.service->elapsed(), atPause);
    h.service->resumeRecording();
    EXPECT_FALSE(h.service->isPaused());
    QTest::qWait(400);
    h.stop();
    const auto movie = h.writer.lastMovie();
    // The paused span leaves no gap: the only holes are ticks missed and counted as dropped.
    EXPECT_EQ(missedTicks(movie->frameIndexes), h.service->lastFramesDropped());
    EXPECT_NEAR((movie->frameIndexes.size() + h.service->lastFramesDropped()) / 30.0, 0.8, 0.15);
    ASSERT_EQ(h.records().size(), 1u);
    EXPECT_NEAR(h.records().front()->durationSeconds, 0.8, 0.15);
}

TEST(ScreenRecordingService, DroppedFramesAreCountedAndPrinted)
{
    RecordingHarness h;
    ConsoleCapture console;
    h.writer.appendDelayMs = 100; // an encoder three times too slow
    h.start();
    QTest::qWait(700);
    h.stop();
    EXPECT_GT(h.service->lastFramesDropped(), 0);
    const QString line = QStringLiteral("ScreenRecordingService: %1 of %2 frames dropped")
                             .arg(h.service->lastFramesDropped())
                             .arg(h.service->lastFramesDropped() + h.service->lastFramesCaptured());
    EXPECT_TRUE(console.contains(line)) << console.lines.join('\n').toStdString();
}

TEST(ScreenRecordingService, AFailingRecordingEndsAndKeepsWhatItHas)
{
    {
        // The screen can no longer be grabbed: the recording stops, the movie is stored.
        RecordingHarness h;
        h.start();
        QTest::qWait(200);
        QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
        h.screen.failGrabs = true;
        ASSERT_TRUE(stopped.wait(5000));
        EXPECT_FALSE(h.service->isRecording());
        ASSERT_TRUE(h.service->lastError());
        EXPECT_EQ(h.service->lastError()->kind, ScreenRecordingService::RecordingError::Kind::streamFailed);
        EXPECT_EQ(h.records().size(), 1u);
        EXPECT_FALSE(h.inhibitor.held);
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
    RecordingHarness h;
    h.screen.cursorImage = CursorImage {QImage(), {}, {}, 0};
    h.start(ScreenRecordingService::AreaTarget {1, QRectF(10, 20, 101, 51), 1.0}, true);
    QTest::qWait(300);
    h.stop();
    auto movie = h.writer.lastMovie();
    EXPECT_EQ(movie->settings.size, QSize(100, 50));
    EXPECT_TRUE(movie->settings.audio);
    EXPECT_GT(movie->audioFrames, 48'000 / 10);
    // Sound blocks follow each other without a gap.
    for (int i = 1; i < movie->audioPositions.size(); ++i)
        EXPECT_EQ(movie->audioPositions[i], movie->audioPositions[i - 1] + 960);
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
    QTest::qWait(100);
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
    RecordingHarness h;
    bool compositing = true;
    h.service = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Needs {h.screen, h.writer,
        h.thumbnailer, h.inhibitor, h.audio, h.notifier, h.permissions, [&compositing] { return compositing; }});
    h.service->setRecordingsDirectory(h.folder.path());
    h.service->setModelContainer(h.store.container);
    auto recordAfterTheOverlayHides = [&h] {
        QWidget overlay;
        overlay.resize(320, 240);
        overlay.show();
        overlay.hide();
        h.setColour(Qt::magenta); // the overlay, still drawn while it fades out
        QTimer::singleShot(Compositing::fadeOutMs - 150, [&h] { h.setColour(Qt::red); });
        h.start();
        QTest::qWait(Compositing::fadeOutMs + 300);
        h.stop();
        return h.writer.lastMovie();
    };
    auto movie = recordAfterTheOverlayHides();
    ASSERT_TRUE(movie && !movie->frameIndexes.isEmpty());
    EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::red).rgb()); // no frame of the fading overlay
    EXPECT_EQ(movie->frameIndexes.first(), 0);                    // the movie starts at its first frame
    EXPECT_NEAR(h.records().back()->durationSeconds, 0.3, 0.15);

    compositing = false; // nothing fades: the movie starts at once
    movie = recordAfterTheOverlayHides();
    ASSERT_TRUE(movie && !movie->frameIndexes.isEmpty());
    EXPECT_EQ(movie->firstPixels.first(), QColor(Qt::magenta).rgb());
}
