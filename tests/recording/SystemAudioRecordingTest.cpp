// System audio through a PulseAudio daemon of the test's own: a tone played into a null sink is
// recorded from its monitor into the movie's AAC track.
#include "RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/PulseSystemAudioSource.h"

#include <QProcess>
#include <QStandardPaths>
#include <cmath>

namespace {

// A PulseAudio daemon with one null sink ("tone", the default), reached over its own socket.
class PrivatePulseServer {
public:
    PrivatePulseServer()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            return;
        const QString socket = dir.filePath(QStringLiteral("native"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), dir.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.path());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        daemon.setProcessEnvironment(environment);
        daemon.start(QStringLiteral("pulseaudio"),
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                QStringLiteral("--use-pid-file=false"),
                QStringLiteral("-L"), QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket),
                QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=tone rate=48000")});
        ready = QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 5000);
        server = QStringLiteral("unix:") + socket;
        m_previous = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", server.toUtf8());
    }
    ~PrivatePulseServer()
    {
        player.kill();
        player.waitForFinished();
        daemon.terminate();
        daemon.waitForFinished(3000);
        qputenv("PULSE_SERVER", m_previous);
    }
    // Plays `seconds` of a sine of `hertz` into the sink.
    void playTone(double hertz, double seconds)
    {
        player.start(QStringLiteral("pacat"), {QStringLiteral("--playback"), QStringLiteral("--device=tone"),
            QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"), QStringLiteral("--channels=2")});
        ASSERT_TRUE(player.waitForStarted());
        QByteArray samples(int(seconds * 48000) * 2 * int(sizeof(float)), Qt::Uninitialized);
        auto* out = reinterpret_cast<float*>(samples.data());
        for (int i = 0; i < int(seconds * 48000); ++i)
            out[2 * i] = out[2 * i + 1] = 0.5f * float(std::sin(2 * M_PI * hertz * i / 48000.0));
        player.write(samples);
    }

    QTemporaryDir dir;
    QProcess daemon;
    QProcess player;
    QString server;
    bool ready = false;

private:
    QByteArray m_previous;
};

}

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
    h.service = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Services {
        &h.screen, &writer, &thumbnailer, &h.inhibitor, &audio, &h.notifier, &h.permissions, {}});
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
