// System audio through a PulseAudio daemon of the test's own: a tone played into a null sink is
// recorded from its monitor into the movie's AAC track, from the movie's first frame when it is
// already playing; without a sound server, or with one that never answers, the picture is
// recorded alone.
#include "PrivatePulseServer.h"
#include "RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/PulseSystemAudioSource.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <csignal>
#include <thread>

namespace {

// A recorder of this test's screen into real movies, with the system audio of the sound server
// in PULSE_SERVER.
struct SoundRecorder {
    RecordingHarness h;
    FFmpegMovieWriter writer;
    FFmpegMovieThumbnailer thumbnailer;
    PulseSystemAudioSource audio;
    SoundRecorder()
    {
        h.service = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Needs {
            h.screen, writer, thumbnailer, h.inhibitor, audio, h.notifier, h.permissions});
        h.service->setRecordingsDirectory(h.folder.path());
        h.service->setModelContainer(h.store.container);
    }
    QString moviePath() { return QDir(h.folder.path()).filePath(h.service->currentFileName()); }
};

// A 1 kHz tone (one channel at 48 kHz) in windows of 10 ms: its pitch from the zero crossings of
// the windows that carry it, the seconds of those that do not, and its peak.
struct ToneTrace {
    double hertz = 0;
    double silentSeconds = 0;
    float peak = 0;
};
ToneTrace traceTone(std::vector<float>::const_iterator from, std::vector<float>::const_iterator to)
{
    constexpr int window = 480;
    ToneTrace trace;
    int crossings = 0, toned = 0;
    for (auto at = from; to - at > window; at += window) {
        double energy = 0;
        int crossed = 0; // over the window's samples and the step to the next window
        for (auto i = at; i < at + window; ++i) {
            energy += double(*i) * *i;
            crossed += (i[0] < 0) != (i[1] < 0);
            trace.peak = std::max(trace.peak, std::abs(*i));
        }
        if (energy / window > 0.1) { // the whole window holds the tone (0.125 for 0.5 of full scale)
            crossings += crossed;
            ++toned;
        } else {
            trace.silentSeconds += window / 48'000.0;
        }
    }
    trace.hertz = toned ? crossings / 2.0 / (toned * window / 48'000.0) : 0;
    return trace;
}

}

// The sink's tone becomes the movie's AAC track, judged against what the sink's monitor carried:
// on a loaded machine its player may run dry, and the movie then holds that silence too.
TEST(SystemAudioRecording, AToneOnTheMonitorBecomesTheMoviesAacTrack)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    pulse.playTone(1000, 30);
    ASSERT_TRUE(pulse.waitUntilHeard());
    pulse.listen();

    RecordingHarness h;
    FFmpegMovieWriter writer;
    FFmpegMovieThumbnailer thumbnailer;
    PulseSystemAudioSource audio;
    h.service = std::make_unique<ScreenRecordingService>(
        ScreenRecordingService::Needs {h.screen, writer, thumbnailer, h.inhibitor, audio, h.notifier, h.permissions});
    h.service->setRecordingsDirectory(h.folder.path());
    h.service->setModelContainer(h.store.container);
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    ASSERT_TRUE(h.service->isRecording())
        << h.service->lastError().value_or(ScreenRecordingService::RecordingError {}).message.toStdString();
    QTest::qWait(2000);
    h.stop();
    const std::vector<float> played = pulse.heard();

    ASSERT_EQ(h.records().size(), 1u);
    EXPECT_TRUE(h.records().front()->hasSystemAudio);
    FFmpegMovieReader reader;
    QString error;
    ASSERT_TRUE(reader.open(QDir(h.folder.path()).filePath(h.records().front()->fileName), &error));
    const auto streams = reader.streams();
    const auto sound = std::find_if(streams.begin(), streams.end(), [](const MovieStreamInfo& s) { return s.isAudio; });
    ASSERT_NE(sound, streams.end());
    EXPECT_EQ(sound->codecName, QStringLiteral("aac"));
    EXPECT_EQ(sound->sampleRate, 48000);
    EXPECT_EQ(sound->channels, 2);

    std::vector<std::vector<float>> channels;
    ASSERT_TRUE(reader.readAudio(channels, &error));
    ASSERT_EQ(channels.size(), 2u);
    // A null sink renders on a timer of its own, which a loaded machine slows down: the track
    // holds what the sink rendered, at least a quarter second.
    ASSERT_GT(channels[0].size(), 12000u);
    // Its middle part: the tone's pitch and loudness, silent no longer than the sink was.
    const std::vector<float>& left = channels[0];
    const size_t length = std::min<size_t>(left.size() / 2, 48000);
    const auto from = left.begin() + qsizetype((left.size() - length) / 2);
    const ToneTrace movie = traceTone(from, from + qsizetype(length));
    const ToneTrace sink = traceTone(played.begin(), played.end());
    ASSERT_GT(played.size(), size_t(2 * 48'000)) << "the monitor was not heard";
    EXPECT_NEAR(sink.hertz, 1000, 5);
    EXPECT_NEAR(movie.hertz, 1000, 20);
    EXPECT_LE(movie.silentSeconds, sink.silentSeconds + 0.02)
        << "the sink was silent for " << sink.silentSeconds << " s of " << double(played.size()) / 48'000 << " s";
    EXPECT_GT(movie.peak, 0.3f);
}

TEST(SystemAudioRecording, ASoundServerThatStopsAnsweringDoesNotHoldUpTheStop)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    PulseSystemAudioSource audio;
    std::atomic<int> blocks {0};
    QString error;
    ASSERT_TRUE(audio.start(
        48'000, 2, [&blocks](const float*, int, std::chrono::steady_clock::time_point) { ++blocks; }, &error))
        << error.toStdString();
    QTest::qWait(200);
    const pid_t daemon = pid_t(pulse.daemon.processId());
    ::kill(daemon, SIGSTOP);
    // Whatever happens here, the daemon goes on after five seconds at the latest.
    std::atomic<bool> stopped {false};
    std::thread resume([daemon, &stopped] {
        for (int i = 0; i < 100 && !stopped; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(daemon, SIGCONT);
    });
    QTest::qWait(300);
    QElapsedTimer clock;
    clock.start();
    audio.stop();
    stopped = true;
    EXPECT_LT(clock.elapsed(), 1500);
    const int delivered = blocks;
    ::kill(daemon, SIGCONT);
    QTest::qWait(200);
    EXPECT_EQ(blocks, delivered); // no sink call after the stop
    resume.join();
}

// The sound server stops past its bound (SIGSTOP) and comes back: from the notice on, the track is
// silent to its end, though the tone plays on once the server does.
TEST(SystemAudioRecording, AServerThatComesBackAfterTheNoticeLeavesTheTrackSilent)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    pulse.playTone(1000, 60);
    ASSERT_TRUE(pulse.waitUntilHeard());

    SoundRecorder r;
    QElapsedTimer sinceStart;
    r.h.start(ScreenRecordingService::DisplayTarget {1}, true);
    sinceStart.start();
    ASSERT_TRUE(r.h.service->isRecording());
    QTest::qWait(1000);
    const pid_t daemon = pid_t(pulse.daemon.processId());
    ::kill(daemon, SIGSTOP);
    const bool told = QTest::qWaitFor([&r] { return !r.h.notifier.summaries.isEmpty(); }, 30000);
    const double toldAt = sinceStart.elapsed() / 1000.0;
    QTest::qWait(500);
    ::kill(daemon, SIGCONT);
    ASSERT_TRUE(told) << "no notice while the server was stopped";
    ASSERT_TRUE(pulse.waitUntilHeard()); // the tone plays again
    QTest::qWait(1000);
    r.h.stop();

    EXPECT_EQ(r.h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme ohne Ton")});
    const std::vector<float> left = decodeLeftChannel(r.moviePath());
    const auto loud = [](float v) { return std::abs(v) > 0.1f; };
    ASSERT_GT(left.size(), size_t((toldAt + 1) * 48'000));
    EXPECT_TRUE(std::any_of(left.begin(), left.begin() + 48'000, loud)) << "no tone before the stop of the server";
    const auto heard = std::find_if(left.begin() + qsizetype(toldAt * 48'000), left.end(), loud);
    EXPECT_EQ(heard, left.end()) << "sound at " << double(heard - left.begin()) / 48'000 << " s, told at " << toldAt
                                 << " s, movie of " << double(left.size()) / 48'000 << " s";
}

// A tone already playing: three recordings in a row have it from their first tenth of a second.
TEST(SystemAudioRecording, AToneAlreadyPlayingIsInTheMovieFromItsFirstTenthOfASecond)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    pulse.playTone(1000, 60);
    ASSERT_TRUE(pulse.waitUntilHeard());

    SoundRecorder r;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        r.h.start(ScreenRecordingService::DisplayTarget {1}, true);
        ASSERT_TRUE(r.h.service->isRecording());
        QTest::qWait(1000);
        r.h.stop();
        double start = 0;
        const std::vector<float> left = decodeLeftChannel(r.moviePath(), &start);
        const auto first = std::find_if(left.begin(), left.end(), [](float v) { return std::abs(v) > 0.2f; });
        ASSERT_NE(first, left.end()) << "no tone in the movie";
        EXPECT_LT(start + double(first - left.begin()) / 48'000, 0.1);
    }
    EXPECT_TRUE(r.h.notifier.summaries.isEmpty());
}

// "recordSystemAudio" is on and no sound server answers, none at all or one that takes the
// connection and never replies: the recording is made from the start and listed as without sound
// (its sound track, made for a server that might answer, stays silent), and the user is told once
// why.
TEST(SystemAudioRecording, WithoutASoundServerTheRecordingIsMadeAndListed)
{
    QTemporaryDir nowhere;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(nowhere.filePath(QStringLiteral("silent"))));
    for (const QString& socket : {QStringLiteral("native"), QStringLiteral("silent")}) {
        SCOPED_TRACE(socket.toStdString());
        const QByteArray previous = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(nowhere.filePath(socket)));
        SoundRecorder r;
        QElapsedTimer starting;
        starting.start();
        r.h.start(ScreenRecordingService::DisplayTarget {1}, true);
        EXPECT_LT(starting.elapsed(), 10'000); // libpulse alone waits 30 s for a silent server
        qputenv("PULSE_SERVER", previous);
        ASSERT_TRUE(r.h.service->isRecording());
        QTest::qWait(1200);
        r.h.stop();
        ASSERT_EQ(r.h.records().size(), 1u);
        EXPECT_FALSE(r.h.records().front()->hasSystemAudio);
        EXPECT_EQ(r.h.savedCount, 1);
        FFmpegMovieReader reader;
        QString error;
        ASSERT_TRUE(reader.open(r.moviePath(), &error)) << error.toStdString();
        const auto streams = reader.streams();
        std::vector<std::vector<float>> channels;
        ASSERT_TRUE(reader.readAudio(channels, &error)) << error.toStdString();
        EXPECT_TRUE(std::all_of(channels.at(0).begin(), channels.at(0).end(), [](float v) { return v == 0; }));
        EXPECT_TRUE(std::any_of(streams.begin(), streams.end(), [](const MovieStreamInfo& s) { return s.isVideo; }));
        EXPECT_FALSE(r.h.service->lastError());
        EXPECT_EQ(r.h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme ohne Ton")});
        EXPECT_TRUE(r.h.notifier.bodies.first().contains(QStringLiteral("system audio: ")))
            << r.h.notifier.bodies.first().toStdString();
    }
}

// Capture times of a monitor's blocks: follow the sample count while the server's latency is
// stale, move on with samples the server lost, and follow the server when the reader fell behind.
TEST(SystemAudioRecording, CaptureTimesFollowTheSampleCountAndTheServersLosses)
{
    using namespace std::chrono_literals;
    CaptureTimeEstimate estimate;
    const auto t0 = std::chrono::steady_clock::time_point(1h);
    // Read every 20 ms while the server still says 370 ms of latency: the count, from the first read.
    EXPECT_EQ(estimate.next(t0 + 20ms, 370ms, 20ms), t0);
    auto at = t0;
    for (int i = 1; i < 50; ++i)
        at = estimate.next(t0 + 20ms + i * 20ms, 370ms, 20ms);
    EXPECT_LT(std::chrono::abs(at - (t0 + 49 * 20ms)), 1ms);
    // The server lost half a second in a stall: the time moves on with it.
    at = estimate.next(t0 + 1020ms + 500ms, 0ms, 20ms);
    EXPECT_EQ(at, t0 + 1500ms);
    // The reader fell behind: three blocks read at once, placed by what the server still held.
    at = estimate.next(t0 + 1620ms, 60ms, 20ms);
    EXPECT_EQ(at, t0 + 1540ms);
    at = estimate.next(t0 + 1620ms, 40ms, 20ms);
    EXPECT_EQ(at, t0 + 1560ms);
    at = estimate.next(t0 + 1620ms, 20ms, 20ms);
    EXPECT_EQ(at, t0 + 1580ms);
}
