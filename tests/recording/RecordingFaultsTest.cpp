// The recorder under faults, on fakes: a writer that fails mid-recording, a folder moved away,
// a slow sound server, one whose first block comes late, a sound card whose clock drifts or
// stalls, and movies left without a record by a recording that was killed.
#include "RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/SwrSoundResampler.h"
#include "recording/RecordingPipeline.h"
#include "recording/RecordingRecovery.h"

#include <QScopeGuard>
#include <random>
#include <thread>

TEST(RecordingFaults, AFailedWriteStopsTheRecordingAtOnceAndKeepsTheMovie)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    ConsoleCapture console;
    h.start();
    h.run(6);
    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    h.writer.failAppend = true; // the disk is full
    h.run(1);
    ASSERT_TRUE(stopped.wait(30000)); // no stop from the user
    EXPECT_FALSE(h.service->isRecording());
    ASSERT_EQ(h.records().size(), 1u);
    const auto movie = h.writer.lastMovie();
    EXPECT_TRUE(movie->finished);
    // The record lasts what the movie holds.
    EXPECT_DOUBLE_EQ(h.records().front()->durationSeconds, 7 / 30.0);
    EXPECT_EQ(h.savedCount, 1);
    // The user learns why it ended, that the movie up to then was kept, and where.
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme vorzeitig beendet")});
    const QString body = h.notifier.bodies.first();
    EXPECT_TRUE(body.contains(QStringLiteral("disk full"))) << body.toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("Die Aufnahme bis dahin ist gespeichert: ") + movie->path))
        << body.toStdString();
    EXPECT_TRUE(
        console.contains(QStringLiteral("ScreenRecordingService: recording failed: the movie cannot be written "
                                        "(disk full); the recording was stopped; the movie up to then is kept in ")
            + movie->path))
        << console.lines.join('\n').toStdString();
    ASSERT_TRUE(h.service->lastError());
    EXPECT_EQ(h.service->lastError()->kind, ScreenRecordingService::RecordingError::Kind::streamFailed);
}

// The disk is full from the first frame on: no movie is left, and the user is told that nothing
// was kept, and why.
TEST(RecordingFaults, AWriteFailingBeforeTheFirstFrameLeavesNoMovieAndSaysSo)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.writer.failAppend = true;
    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    h.start();
    ASSERT_TRUE(stopped.wait(30000));
    EXPECT_FALSE(QFileInfo::exists(h.writer.lastMovie()->path));
    EXPECT_TRUE(h.records().empty());
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme fehlgeschlagen")});
    EXPECT_TRUE(h.notifier.bodies.first().startsWith(QStringLiteral("Es wurde nichts gespeichert.\nrecording failed: "
                                                                   "the movie cannot be written (disk full)")))
        << h.notifier.bodies.first().toStdString();
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

// A 64 x 48 red screen and the system audio, recorded on a clock the test runs.
struct SoundRig {
    SoundRig()
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::red);
        screen.setScreen(image);
        audio.clock = &clock;
    }
    // The movie "m.mov" is written by `movieWriter`, the rig's fake by default.
    RecordingPipeline::Setup setup(MovieWriter* movieWriter = nullptr)
    {
        RecordingPipeline::Setup setup;
        MovieSettings settings;
        settings.size = QSize(64, 48);
        settings.audio = true;
        MovieWriter& movies = movieWriter ? *movieWriter : writer;
        setup.movie = movies.create(dir.filePath(QStringLiteral("m.mov")), settings, nullptr);
        setup.grabber = screen.rectGrabber(QRect(0, 0, 64, 48), nullptr);
        setup.frameSize = settings.size;
        setup.audio = &audio;
        setup.resampler = SwrSoundResampler::create(48'000, 2);
        setup.soundQueueSeconds = 3600; // the tests hand sound over faster than it plays
        setup.clock = &clock;
        return setup;
    }
    // Starts `pipeline` with the sound handed over by the test (audio.manual) and returns the
    // movie's start; a block of silence captured just before it goes first.
    RecordingClock::TimePoint startWithSound(RecordingPipeline& pipeline)
    {
        const auto start = clock.now();
        std::thread starting([&pipeline] { EXPECT_TRUE(pipeline.start({}, nullptr)); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return audio.running.load(); }, 30000));
        std::vector<float> first(960 * 2, 0.0f);
        audio.manualSink(first.data(), 960, start - std::chrono::milliseconds(20));
        starting.join();
        return start;
    }

    ManualRecordingClock clock;
    FakeScreenSource screen;
    FakeMovieWriter writer;
    FakeSystemAudioSource audio;
    QTemporaryDir dir;
};

// The sound server takes 0.6 s to answer: the picture does not wait for it. The movie starts at
// once, and the sound joins where it was captured, as long as the pictures.
TEST(RecordingFaults, ThePictureStartsAtOnceWhenTheSoundServerIsSlowToAnswer)
{
    using namespace std::chrono_literals;
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.audio.connectDelay = 600ms;
    h.start(ScreenRecordingService::DisplayTarget {1}, true); // the clock has not moved
    ASSERT_TRUE(h.service->isRecording());
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.framesConverted() == 1; }, 30000));
    h.run(30); // the next frame, and the connection, wait on the clock
    h.stop();
    const auto movie = h.writer.lastMovie();
    ASSERT_FALSE(movie->audioPositions.isEmpty());
    EXPECT_TRUE(movie->settings.audio);
    EXPECT_EQ(movie->frameIndexes.size(), 31);
    // The answer came with the clock's step at 0.633 s; its first block was captured 20 ms before.
    EXPECT_EQ(movie->audioPositions.first(), 29'440);
    EXPECT_EQ(movie->audioPositions.last() + movie->audioBlockFrames.last(), 48'000 * 31 / 30);
    EXPECT_TRUE(h.records().front()->hasSystemAudio);
    EXPECT_TRUE(h.notifier.summaries.isEmpty());
}

// A sound server hands over its first block only when its output's current chunk ends (a player
// that buffers a second): the movie does not wait for it. The pictures run from the start, and
// the sound joins where its capture time puts it.
TEST(RecordingFaults, SoundThatComesASecondAfterTheConnectionJoinsWhereItWasCaptured)
{
    using namespace std::chrono_literals;
    SoundRig rig;
    rig.audio.firstBlockDelay = 1s;
    RecordingPipeline pipeline(rig.setup());
    std::thread starting([&pipeline] { EXPECT_TRUE(pipeline.start({}, nullptr)); });
    ASSERT_TRUE(rig.clock.waitForSleeper(RecordingHarness::captureThread));
    ASSERT_TRUE(rig.clock.waitForSleeper(RecordingHarness::audioThread)); // its first block
    rig.clock.run(1500ms, 10ms);
    starting.join();
    pipeline.stop();
    const auto movie = rig.writer.lastMovie();
    ASSERT_FALSE(movie->frameIndexes.isEmpty());
    ASSERT_FALSE(movie->audioPositions.isEmpty());
    EXPECT_EQ(movie->frameIndexes.first(), 0);
    EXPECT_EQ(movie->frameIndexes.last(), 45);        // to the stop, 1.5 s after the start
    EXPECT_EQ(movie->audioPositions.first(), 47'040); // captured 0.98 s after the start
}

// A 440 Hz tone from a card whose clock runs 0.1 % fast, with capture times that jitter by 3 ms
// and, every 37th block, come 20 ms late: the writer gets its samples one after the other,
// stretched where the clocks part, without a phase jump.
TEST(RecordingFaults, ATonesSamplesFollowEachOtherThroughJitteryCaptureTimes)
{
    SoundRig rig;
    rig.writer.keepSound = true;
    rig.audio.manual = true;
    RecordingPipeline pipeline(rig.setup());
    const auto start = rig.startWithSound(pipeline);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> jitter(-0.003, 0.003);
    std::vector<float> samples(960 * 2);
    for (qint64 counted = 0; counted < 20 * 48'000; counted += 960) {
        for (int i = 0; i < 960; ++i)
            samples[size_t(2 * i)] = samples[size_t(2 * i + 1)]
                = 0.5f * float(std::sin(2 * M_PI * 440 * double(counted + i) / 48'000));
        const double at = double(counted) / (48'000 * 1.001) + jitter(random) + (counted % (37 * 960) ? 0 : 0.02);
        rig.audio.manualSink(samples.data(), 960,
            start + std::chrono::duration_cast<RecordingClock::Duration>(std::chrono::duration<double>(at)));
    }
    pipeline.stop();
    const std::vector<float>& sound = rig.writer.lastMovie()->firstChannel;
    EXPECT_GT(sound.size(), size_t(19 * 48'000));
    EXPECT_EQ(phaseJumps(sound, 440), 0);
}

// Ten minutes of sound from a card whose clock runs 1 % fast, with read times that jitter by
// 3 ms and a stall of half a second after five minutes: every block lands within 40 ms of where
// its capture time puts it, and within 10 ms once the correction has caught up.
TEST(RecordingFaults, SoundFollowsThePicturesThroughClockDriftAndStalls)
{
    SoundRig rig;
    FakeMovieWriter& writer = rig.writer;
    FakeSystemAudioSource& audio = rig.audio;
    audio.manual = true;
    RecordingPipeline pipeline(rig.setup());
    const auto start = rig.startWithSound(pipeline);

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
        const auto at = start
            + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
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

// The pictures' encoder is held up in a picture for ten seconds of sound: the sound is written
// beside it all the same, every sample in its place.
TEST(RecordingFaults, ThePicturesEncoderHeldUpCostsNoSound)
{
    using namespace std::chrono_literals;
    SoundRig rig;
    rig.audio.manual = true;
    rig.writer.holdAppends = true; // the first picture's write
    RecordingPipeline::Setup setup = rig.setup();
    setup.resampler.reset();
    setup.soundQueueSeconds = RecordingPipeline::Setup().soundQueueSeconds;
    RecordingPipeline pipeline(std::move(setup));
    const auto start = rig.startWithSound(pipeline);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.writer.appendHeld.load(); }, 30000));
    std::vector<float> block(960 * 2, 0.1f);
    for (int i = 0; i < 500; ++i) // ten seconds
        rig.audio.manualSink(block.data(), 960, start + i * 20ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.writer.soundFrames() == 500 * 960; }, 30000));
    rig.writer.holdAppends = false;
    const RecordingPipeline::Summary summary = pipeline.stop();
    const auto movie = rig.writer.lastMovie();
    EXPECT_EQ(summary.soundFramesDropped, 0);
    EXPECT_EQ(movie->audioFrames, 500 * 960);
    for (qsizetype i = 1; i < movie->audioPositions.size(); ++i)
        EXPECT_EQ(movie->audioPositions[i], i * 960);
}

// A real movie whose pictures' writes wait while `held`; `soundHandedOver` counts the sample frames
// the sound's thread hands over.
struct HeldPicturesFile : MovieFile {
    HeldPicturesFile(std::unique_ptr<MovieFile> movie, const std::atomic<bool>& held, std::atomic<qint64>& soundHandedOver)
        : movie(std::move(movie))
        , held(held)
        , soundHandedOver(soundHandedOver)
    {
    }
    std::unique_ptr<MovieFrame> convert(const QImage& frame, QString* error) override
    {
        return movie->convert(frame, error);
    }
    bool appendFrame(std::unique_ptr<MovieFrame> frame, qint64 frameIndex, QString* error) override
    {
        for (int waited = 0; held && waited < 120'000; ++waited) // on the encoder's thread: no events here
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(held) << "the pictures were never let go";
        return movie->appendFrame(std::move(frame), frameIndex, error);
    }
    bool appendVideo(const QImage& frame, qint64 frameIndex, QString* error) override
    {
        return movie->appendVideo(frame, frameIndex, error);
    }
    bool appendAudio(const float* samples, int frames, qint64 sampleIndex, QString* error) override
    {
        soundHandedOver += frames;
        return movie->appendAudio(samples, frames, sampleIndex, error);
    }
    qint64 soundFramesLeftOut() const override { return movie->soundFramesLeftOut(); }
    bool finish(QString* error) override { return movie->finish(error); }
    double durationSeconds() const override { return movie->durationSeconds(); }
    bool isInPlace() const override { return movie->isInPlace(); }

    std::unique_ptr<MovieFile> movie;
    const std::atomic<bool>& held;
    std::atomic<qint64>& soundHandedOver;
};

// A real movie's pictures' writer is stuck while 40 s of a tone come: 30 s are held, the rest left
// out and the user told; once the pictures go on, the movie plays the tone up to there, then silence.
TEST(RecordingFaults, SoundHeldForAStuckPictureWriterIsBoundedAndTold)
{
    using namespace std::chrono_literals;
    SoundRig rig;
    rig.audio.manual = true;
    FFmpegMovieWriter writer;
    RecordingPipeline::Setup setup = rig.setup(&writer);
    ASSERT_TRUE(setup.movie);
    std::atomic<bool> held {true};
    std::atomic<qint64> soundHandedOver {0};
    setup.movie = std::make_unique<HeldPicturesFile>(std::move(setup.movie), held, soundHandedOver);
    setup.resampler.reset();
    std::atomic<int> losses {0};
    QString lost;
    RecordingPipeline pipeline(std::move(setup));
    const auto letGo = qScopeGuard([&held] { held = false; }); // before the pipeline ends
    const auto start = rig.clock.now();
    std::thread starting([&] {
        EXPECT_TRUE(pipeline.start({}, nullptr, [&](const QString& reason, RecordingPipeline::SoundLoss loss) {
            EXPECT_EQ(loss, RecordingPipeline::SoundLoss::movieStuck);
            lost = reason;
            ++losses;
        }));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.audio.running.load(); }, 30000)) << "the sound never connected";
    starting.join();
    constexpr int blocks = 40 * 50;
    std::vector<float> block(960 * 2); // twenty whole periods of a 1 kHz tone
    for (int s = 0; s < 960; ++s)
        block[size_t(2 * s)] = block[size_t(2 * s + 1)] = 0.5f * float(std::sin(2 * M_PI * 1000 * s / 48'000.0));
    for (int i = 0; i < blocks; ++i)
        rig.audio.manualSink(block.data(), 960, start + i * 20ms);
    ASSERT_TRUE(QTest::qWaitFor([&] { return losses > 0 || soundHandedOver == blocks * 960; }, 60000))
        << "the sound was never handed over";
    ASSERT_EQ(losses, 1) << "the user was not told";
    EXPECT_EQ(lost, QStringLiteral("the movie does not take the sound"));
    held = false;
    // The stop 41 s in, as the disk answers: the encoder still holds pictures (and their sound).
    ASSERT_TRUE(rig.clock.waitForSleeper(RecordingHarness::captureThread));
    rig.clock.advance(41s);
    const RecordingPipeline::Summary summary = pipeline.stop();
    EXPECT_TRUE(summary.movieComplete) << summary.error.toStdString();
    EXPECT_TRUE(summary.hasSystemSound);
    EXPECT_GT(summary.soundFramesDropped, 0);
    EXPECT_LE(summary.soundFramesDropped, 10 * 48'000);

    FFmpegMovieReader reader;
    std::vector<std::vector<float>> channels;
    QString error;
    ASSERT_TRUE(reader.open(rig.dir.filePath(QStringLiteral("m.mov")), &error) && reader.readAudio(channels, &error))
        << error.toStdString();
    const std::vector<float>& left = channels.at(0);
    EXPECT_NEAR(double(left.size()) / 48'000, reader.durationSeconds(), 0.1);
    ASSERT_GT(left.size(), size_t(40 * 48'000));
    // The tone in every tenth of a second up to the bound, then silence.
    for (int tenth = 1; tenth < 295; ++tenth) {
        const auto from = left.begin() + tenth * 4'800;
        ASSERT_TRUE(std::any_of(from, from + 4'800, [](float v) { return std::abs(v) > 0.25f; }))
            << "no tone at " << tenth / 10.0 << " s";
    }
    const auto heard = std::find_if(left.begin() + 30'100 * 48, left.end(), [](float v) { return std::abs(v) > 0.01f; });
    EXPECT_EQ(heard, left.end()) << "sound at " << double(heard - left.begin()) / 48'000 << " s";
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
    ASSERT_TRUE(QFile::link(
        folder.filePath(QStringLiteral("holiday.mov")), folder.filePath(QStringLiteral("2026-01-02_04-00-00.mov"))));
    {
        auto context = h.store.container->makeContext();
        context->insert(std::make_shared<RecordingItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"),
            QStringLiteral("2026-01-02_03-09-00.mov"), 1.0, 5000, false, std::nullopt));
        ASSERT_TRUE(context->save());
    }
    h.thumbnailer.seconds = 3.5;
    h.thumbnailer.sound = true; // the killed recordings had sound
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
            EXPECT_TRUE(item->hasSystemAudio);
        }
    }
    names.sort();
    EXPECT_EQ(names,
        QStringList({QStringLiteral("2026-01-02_03-04-05 2.mov"), QStringLiteral("2026-01-02_03-04-05.mov"),
            QStringLiteral("2026-01-02_03-09-00.mov")}));

    // A file that is not a movie, never; nothing twice.
    write(QStringLiteral("2026-01-02_05-00-00.mov"));
    h.thumbnailer.seconds = 0;
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.at(1).first().toInt(), 0);
    h.thumbnailer.seconds = 0.8; // shorter than a second: no picture at one second
    h.thumbnailer.sound = false;
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.at(2).first().toInt(), 1);
    for (const auto& item : h.records()) {
        if (item->fileName == QStringLiteral("2026-01-02_05-00-00.mov")) {
            EXPECT_FALSE(item->thumbnailData);
            EXPECT_FALSE(item->hasSystemAudio);
        }
    }
    // A recording of this run gets its record at its stop only.
    h.start();
    QTest::qWait(100);
    h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.at(3).first().toInt(), 0);
    h.stop();
    EXPECT_EQ(h.records().size(), 5u);
}

// The sound server dies, or freezes, while recording: the picture goes on, the user is told once
// that it goes on without sound, and the record keeps the sound it had.
TEST(RecordingFaults, ASoundServerLostWhileRecordingIsToldOnce)
{
    for (const bool dies : {true, false}) {
        SCOPED_TRACE(dies ? "dies" : "freezes");
        RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
        h.start(ScreenRecordingService::DisplayTarget {1}, true);
        h.run(30);
        if (dies)
            h.audio.die(QStringLiteral("system audio: Connection terminated"));
        else
            h.audio.frozen = true;
        h.run(30 * 12); // past the time a frozen server is given
        ASSERT_TRUE(QTest::qWaitFor([&h] { return !h.notifier.summaries.isEmpty(); }, 30000));
        h.stop();
        EXPECT_TRUE(h.service->isBusy() == false);
        EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme ohne Ton")});
        EXPECT_TRUE(h.notifier.bodies.first().startsWith(QStringLiteral("Der Systemton ist ausgefallen")));
        EXPECT_EQ(h.writer.lastMovie()->frameIndexes.size(), 30 * 13 + 1);
        EXPECT_TRUE(h.records().front()->hasSystemAudio);
    }
}

// A sound server that stops answering past its bound, then comes back: the recording goes on without
// sound as told, and the track stays silent from the notice to its end.
TEST(RecordingFaults, SoundThatComesBackAfterTheNoticeStaysOutOfTheMovie)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.audio.level = 0.5f;
    h.writer.keepSound = true;
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    h.run(30);
    h.audio.frozen = true;
    h.run(30 * 6); // past the time a frozen server is given
    ASSERT_TRUE(QTest::qWaitFor([&h] { return !h.notifier.summaries.isEmpty(); }, 30000)) << "no notice";
    h.audio.frozen = false;
    h.run(30 * 2);
    h.stop();
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme ohne Ton")});
    const std::vector<float>& sound = h.writer.lastMovie()->firstChannel;
    ASSERT_EQ(sound.size(), size_t(48'000 * (30 * 9 + 1) / 30));
    // The sound up to the freeze (its last block is due with the second's end), then silence.
    EXPECT_TRUE(std::all_of(sound.begin() + 4'800, sound.begin() + 47'040, [](float v) { return v == 0.5f; }));
    const auto heard = std::find_if(sound.begin() + 48'000, sound.end(), [](float v) { return v != 0; });
    EXPECT_EQ(heard, sound.end()) << "sound at " << double(heard - sound.begin()) / 48'000 << " s";
    EXPECT_TRUE(h.records().front()->hasSystemAudio);
}

// The disk stops answering while the stop writes the movie: once the stop's bound has passed the
// user is told and the recorder is free; the stuck movie, should its write end after all, is
// listed then.
TEST(RecordingFaults, AStopWhoseWriterNeverReturnsIsToldAndLeavesTheRecorderFree)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.start();
    h.run(3);
    h.writer.holdAppends = true;
    h.time.advance(RecordingHarness::framePeriod);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.appendHeld.load(); }, 30000));
    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    h.service->stopRecording();
    h.time.moveOn(ScreenRecordingService::stopBound);
    ASSERT_TRUE(stopped.wait(30000));
    EXPECT_FALSE(h.service->isBusy());
    EXPECT_FALSE(h.inhibitor.held);
    EXPECT_EQ(h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme fehlgeschlagen")});
    ASSERT_TRUE(h.service->lastError());
    EXPECT_TRUE(h.service->lastError()->message.contains(QStringLiteral("could not be finished")));

    h.start();
    ASSERT_TRUE(h.service->isRecording());
    h.writer.holdAppends = false; // the first movie's write ends after all
    ASSERT_TRUE(QTest::qWaitFor([&h] { return h.savedCount == 1; }, 30000));
    h.run(3);
    h.stop();
    EXPECT_EQ(h.records().size(), 2u);
    EXPECT_EQ(h.writer.lastMovie()->frameIndexes.size(), 4);
}

// A start while the disk does not answer: during the stop that waits for it, the user learns why
// none begins; later a start that cannot create its movie is given up, told, and never begins.
TEST(RecordingFaults, AStartThatCannotBeginAtOnceSaysWhyAndNeverBeginsLater)
{
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    const auto answer = qScopeGuard([&h] { h.writer.holdAppends = h.writer.holdCreate = false; }); // at the latest
    ConsoleCapture console;
    h.start();
    h.run(3);
    h.writer.holdAppends = true;
    h.time.advance(RecordingHarness::framePeriod);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.appendHeld.load(); }, 30000)) << "no append was held";
    const auto first = h.writer.lastMovie();
    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    h.service->stopRecording();
    h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, false);
    EXPECT_EQ(h.service->state(), ScreenRecordingService::State::stopping);
    EXPECT_EQ(h.writer.lastMovie(), first);
    ASSERT_EQ(h.notifier.bodies.size(), 1);
    EXPECT_EQ(h.notifier.summaries.first(), QStringLiteral("Neue Bildschirmaufnahme nicht begonnen"));
    EXPECT_EQ(h.notifier.bodies.first(),
        QStringLiteral("Die letzte Aufnahme wird noch gespeichert (höchstens 20 s). Versuche es danach noch einmal."));
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: the last recording is still being saved")));
    h.time.moveOn(ScreenRecordingService::stopBound);
    ASSERT_TRUE(stopped.wait(30000)) << "the stop was not given up";

    h.writer.holdCreate = true; // the disk still does not answer
    QSignalSpy recording(h.service.get(), &ScreenRecordingService::isRecordingChanged);
    QSignalSpy started(h.service.get(), &ScreenRecordingService::startFinished);
    h.service->startRecording(ScreenRecordingService::DisplayTarget {1}, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.writer.createHeld.load(); }, 30000)) << "the movie was never created";
    h.time.moveOn(ScreenRecordingService::startBound);
    ASSERT_TRUE(started.wait(30000)) << "the start was not given up";
    EXPECT_FALSE(h.service->isBusy());
    ASSERT_EQ(h.notifier.bodies.size(), 3);
    EXPECT_EQ(h.notifier.summaries.last(), QStringLiteral("Bildschirmaufnahme fehlgeschlagen"));
    EXPECT_TRUE(h.notifier.bodies.last().contains(QStringLiteral("could not be created within 5 s")))
        << h.notifier.bodies.last().toStdString();

    h.writer.holdCreate = h.writer.holdAppends = false; // the disk answers
    Background::waitForAll(); // the start's work ends, for no one
    Background::waitForAll(); // what it set up is taken down
    ASSERT_NE(h.writer.lastMovie(), first);
    EXPECT_TRUE(recording.isEmpty());
    EXPECT_FALSE(h.service->isBusy());
    EXPECT_FALSE(QFileInfo::exists(h.writer.lastMovie()->path));
    EXPECT_FALSE(h.inhibitor.held);
    EXPECT_EQ(h.records().size(), 1u); // the first movie, finished after all
    EXPECT_EQ(h.notifier.bodies.size(), 3);
}
