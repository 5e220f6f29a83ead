// System audio through a PulseAudio daemon of the test's own: a tone played into a null sink is
// recorded from its monitor into the movie's AAC track.
#include "PrivatePulseServer.h"
#include "RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/PulseSystemAudioSource.h"

#include <QElapsedTimer>
#include <csignal>
#include <thread>

TEST(SystemAudioRecording, AToneOnTheMonitorBecomesTheMoviesAacTrack)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    pulse.playTone(1000, 4);

    RecordingHarness h;
    FFmpegMovieWriter writer;
    FFmpegMovieThumbnailer thumbnailer;
    PulseSystemAudioSource audio;
    h.service = std::make_unique<ScreenRecordingService>(
        ScreenRecordingService::Needs {h.screen, writer, thumbnailer, h.inhibitor, audio, h.notifier, h.permissions});
    h.service->setRecordingsDirectory(h.folder.path());
    h.service->setModelContainer(h.store.container);
    QTest::qWait(300); // the tone is playing
    h.start(ScreenRecordingService::DisplayTarget {1}, true);
    ASSERT_TRUE(h.service->isRecording()) << h.service->lastError().value_or(ScreenRecordingService::RecordingError {}).message.toStdString();
    QTest::qWait(2000);
    h.stop();

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
    // Its middle part: the tone's pitch (zero crossings) and loudness.
    const size_t length = std::min<size_t>(channels[0].size() / 2, 48000);
    const size_t from = (channels[0].size() - length) / 2;
    int crossings = 0;
    float peak = 0;
    for (size_t i = from + 1; i < from + length; ++i) {
        crossings += (channels[0][i - 1] < 0) != (channels[0][i] < 0);
        peak = std::max(peak, std::abs(channels[0][i]));
    }
    EXPECT_NEAR(crossings / 2.0 / (double(length) / 48000), 1000, 20);
    EXPECT_GT(peak, 0.3f);
}

TEST(SystemAudioRecording, ASoundServerThatStopsAnsweringDoesNotHoldUpTheStop)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    PulseSystemAudioSource audio;
    std::atomic<int> blocks {0};
    QString error;
    ASSERT_TRUE(audio.start(48'000, 2, [&blocks](const float*, int, std::chrono::steady_clock::time_point) { ++blocks; },
        &error)) << error.toStdString();
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
