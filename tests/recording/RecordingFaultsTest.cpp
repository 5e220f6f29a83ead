// The recorder under faults, on fakes: a writer that fails mid-recording, a folder moved away,
// a slow sound server, a sound card whose clock drifts or stalls, and movies left without a
// record by a recording that was killed.
#include "RecordingTestSupport.h"
#include "recording/RecordingPipeline.h"
#include "recording/RecordingRecovery.h"

#include <random>

TEST(RecordingFaults, AFailedWriteStopsTheRecordingAtOnceAndKeepsTheMovie)
{
    RecordingHarness h;
    ConsoleCapture console;
    h.start();
    QTest::qWait(300);
    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    h.writer.failAppend = true; // the disk is full
    ASSERT_TRUE(stopped.wait(3000)); // no stop from the user
    EXPECT_FALSE(h.service->isRecording());
    ASSERT_EQ(h.records().size(), 1u);
    const auto movie = h.writer.lastMovie();
    EXPECT_TRUE(movie->finished);
    // The record lasts what the movie holds.
    EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, double(movie->frameIndexes.last() + 1) / 30);
    EXPECT_EQ(h.savedCount, 1);
    ASSERT_EQ(h.notifier.bodies.size(), 1);
    EXPECT_TRUE(h.notifier.bodies.first().contains(QStringLiteral("disk full"))) << h.notifier.bodies.first().toStdString();
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: ") + h.notifier.bodies.first()));
}

TEST(RecordingFaults, AMovieWhoseFolderWasMovedIsNotListed)
{
    RecordingHarness h;
    QTemporaryDir elsewhere;
    h.start();
    QTest::qWait(200);
    const QString moved = elsewhere.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().rename(h.folder.path(), moved));
    ASSERT_TRUE(QFile::link(elsewhere.path(), h.folder.path())); // a link to another folder instead
    h.stop();
    EXPECT_TRUE(h.records().empty());
    EXPECT_EQ(h.savedCount, 0);
    ASSERT_TRUE(h.service->lastError());
    EXPECT_TRUE(h.service->lastError()->message.contains(QStringLiteral("moved or replaced")));
    EXPECT_TRUE(QFileInfo::exists(QDir(moved).filePath(h.service->currentFileName())));
    QFile::remove(h.folder.path());
}

TEST(RecordingFaults, SoundStartsWithTheFirstFrameWhenTheServerIsSlowToConnect)
{
    RecordingHarness h;
    h.audio.connectDelayMs = 600;
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    QTest::qWait(500);
    h.stop();
    const auto movie = h.writer.lastMovie();
    ASSERT_FALSE(movie->audioPositions.isEmpty());
    EXPECT_EQ(movie->frameIndexes.first(), 0);
    EXPECT_LT(movie->audioPositions.first(), 48'000 * 40 / 1000); // within 40 ms of the first frame
    EXPECT_NEAR(double(movie->audioFrames) / 48'000, double(movie->frameIndexes.last() + 1) / 30, 0.08);
}

// Ten minutes of sound from a card whose clock runs 1 % fast, with read times that jitter by
// 3 ms and a stall of half a second after five minutes: every block lands within 40 ms of where
// its capture time puts it, and within 10 ms once the correction has caught up.
TEST(RecordingFaults, SoundFollowsThePicturesThroughClockDriftAndStalls)
{
    FakeScreenSource screen;
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::red);
    screen.setScreen(image);
    FakeMovieWriter writer;
    FakeSystemAudioSource audio;
    audio.manual = true;
    RecordingPipeline::Setup setup;
    MovieSettings settings;
    settings.size = QSize(64, 48);
    settings.audio = true;
    QTemporaryDir dir;
    setup.movie = writer.create(dir.filePath(QStringLiteral("m.mov")), settings, nullptr);
    setup.grabber = screen.rectGrabber(QRect(0, 0, 64, 48), nullptr);
    setup.frameSize = settings.size;
    setup.audio = &audio;
    RecordingPipeline pipeline(std::move(setup));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(pipeline.start({}, nullptr));
    QTest::qWait(50);

    constexpr int block = 960;
    const double blockSeconds = block / (48'000 * 1.01); // the card's 960 samples take less time
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-0.003, 0.003);
    std::vector<float> samples(block * 2, 0.0f);
    std::vector<double> captured; // each block's true capture time, seconds from the start
    double t = 0.01;
    for (int i = 0; t < 600; ++i) {
        if (i == 15'000)
            t += 0.5; // the server stalled: half a second of sound is lost
        captured.push_back(t);
        const auto at = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(t + jitter(random)));
        audio.manualSink(samples.data(), block, at);
        t += blockSeconds;
    }
    pipeline.stop();

    const auto movie = writer.lastMovie();
    ASSERT_EQ(movie->audioPositions.size(), qsizetype(captured.size()));
    double worst = 0;
    double worstSettled = 0;
    for (qsizetype i = 0; i < movie->audioPositions.size(); ++i) {
        // The first sample written of this block, and the time it was captured.
        const int skipped = block - movie->audioBlockFrames[i];
        const double heard = double(movie->audioPositions[i]) / 48'000;
        const double error = std::abs(heard - (captured[size_t(i)] + skipped / (48'000 * 1.01)));
        worst = std::max(worst, error);
        const bool settling = i < 500 || (i >= 15'000 && i < 15'500);
        if (!settling)
            worstSettled = std::max(worstSettled, error);
    }
    EXPECT_LT(worst, 0.040);
    EXPECT_LT(worstSettled, 0.010);
}

TEST(RecordingFaults, MoviesLeftWithoutARecordAreAdoptedOnce)
{
    RecordingHarness h;
    const QDir folder(h.folder.path());
    auto write = [&](const QString& name) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'x'));
    };
    write(QStringLiteral("2026-01-02_03-04-05.mov"));   // killed while recording
    write(QStringLiteral("2026-01-02_03-04-05 2.mov")); // the same second, second movie
    write(QStringLiteral("2026-01-02_03-09-00.mov"));   // has its record already
    write(QStringLiteral("holiday.mov"));               // not one of ours
    write(QStringLiteral("2026-01-02_03-04-05.mov.part"));
    ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("holiday.mov")), folder.filePath(QStringLiteral("2026-01-02_04-00-00.mov"))));
    {
        auto context = h.store.container->makeContext();
        context->insert(std::make_shared<RecordingItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"),
            QStringLiteral("2026-01-02_03-09-00.mov"), 1.0, 5000, false, std::nullopt));
        ASSERT_TRUE(context->save());
    }
    h.thumbnailer.seconds = 3.5;
    QSignalSpy done(h.service.get(), &ScreenRecordingService::adoptionFinished);
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.first().first().toInt(), 2);
    EXPECT_EQ(h.savedCount, 1);
    QStringList names;
    for (const auto& item : h.records()) {
        names.append(item->fileName);
        if (item->fileName.startsWith(QStringLiteral("2026-01-02_03-04-05"))) {
            EXPECT_DOUBLE_EQ(item->durationSeconds, 3.5);
            EXPECT_EQ(item->fileSizeBytes, 5000);
            EXPECT_TRUE(item->thumbnailData);
        }
    }
    names.sort();
    EXPECT_EQ(names, QStringList({QStringLiteral("2026-01-02_03-04-05 2.mov"), QStringLiteral("2026-01-02_03-04-05.mov"),
                         QStringLiteral("2026-01-02_03-09-00.mov")}));

    // A file that is not a movie, never; nothing twice.
    write(QStringLiteral("2026-01-02_05-00-00.mov"));
    h.thumbnailer.seconds = 0;
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.at(1).first().toInt(), 0);
    h.thumbnailer.seconds = 2;
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.at(2).first().toInt(), 1);
    // A recording of this run gets its record at its stop only.
    h.start();
    QTest::qWait(100);
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.at(3).first().toInt(), 0);
    h.stop();
    EXPECT_EQ(h.records().size(), 5u);
}
