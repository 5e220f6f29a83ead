#pragma once
// A PulseAudio daemon of the test's own, for recordings of the system audio.
#include "platform/linux/PulseSystemAudioSource.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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
        // The socket's file comes with its bind, a moment before the daemon listens on it.
        ready = QTest::qWaitFor([&] { return accepts(socket); }, 5000);
        server = QStringLiteral("unix:") + socket;
        m_previous = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", server.toUtf8());
    }
    ~PrivatePulseServer()
    {
        player.kill();
        player.waitForFinished();
        listener.kill();
        listener.waitForFinished();
        daemon.terminate();
        daemon.waitForFinished(3000);
        qputenv("PULSE_SERVER", m_previous);
    }
    // Starts a player into the sink that plays what is written to it (stereo float samples at
    // 48 kHz), with `latencyMs` of buffering (the server's default when 0).
    void openPlayer(int latencyMs = 0)
    {
        QStringList arguments = {QStringLiteral("--playback"), QStringLiteral("--device=tone"),
            QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"), QStringLiteral("--channels=2")};
        if (latencyMs > 0)
            arguments.append(QStringLiteral("--latency-msec=%1").arg(latencyMs));
        player.start(QStringLiteral("pacat"), arguments);
        ASSERT_TRUE(player.waitForStarted());
    }
    // Plays `seconds` of a sine of `hertz` into the sink, through a player of `latencyMs` of
    // buffering: a sink fed in small steps renders in small steps, and its monitor hands the sound
    // over at once (a null sink fed by a player of a second's buffer renders, and hands over, a
    // second at a time).
    void playTone(double hertz, double seconds, int latencyMs = 50)
    {
        openPlayer(latencyMs);
        QByteArray samples(int(seconds * 48000) * 2 * int(sizeof(float)), Qt::Uninitialized);
        auto* out = reinterpret_cast<float*>(samples.data());
        for (int i = 0; i < int(seconds * 48000); ++i)
            out[2 * i] = out[2 * i + 1] = 0.5f * float(std::sin(2 * M_PI * hertz * i / 48000.0));
        player.write(samples);
    }
    // Records the sink's monitor with parec, apart from the recorder under test, until heard():
    // what the sink really played, with silence where its player ran dry.
    void listen()
    {
        listener.start(QStringLiteral("parec"),
            {QStringLiteral("--device=tone.monitor"), QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"),
                QStringLiteral("--channels=2"), QStringLiteral("--raw"), QStringLiteral("--latency-msec=50")});
        ASSERT_TRUE(listener.waitForStarted());
    }
    // What the monitor carried since listen(): its first channel.
    std::vector<float> heard()
    {
        listener.terminate();
        listener.waitForFinished(3000);
        const QByteArray bytes = listener.readAllStandardOutput();
        std::vector<float> left(size_t(bytes.size()) / (2 * sizeof(float)));
        for (size_t i = 0; i < left.size(); ++i)
            std::memcpy(&left[i], bytes.constData() + i * 2 * sizeof(float), sizeof(float));
        return left;
    }
    // Waits until the sink's monitor carries sound at least as loud as `level` (any at 0): a null
    // sink renders its current chunk (up to two seconds while it was idle) before a new player is
    // heard, and hands its monitor over only once that chunk has ended.
    bool waitUntilHeard(float level = 0.3f)
    {
        PulseSystemAudioSource listener;
        std::atomic<bool> heard {false};
        QString error;
        const bool started = listener.start(
            48'000, 2,
            [&heard, level](const float* samples, int frames, std::chrono::steady_clock::time_point) {
                for (int i = 0; i < frames * 2; ++i)
                    heard = heard || std::abs(samples[i]) >= level;
            },
            &error);
        EXPECT_TRUE(started) << error.toStdString();
        return started && QTest::qWaitFor([&] { return heard.load(); }, 30000);
    }

    QTemporaryDir dir;
    QProcess daemon;
    QProcess player;
    QProcess listener;
    QString server;
    bool ready = false;

private:
    static bool accepts(const QString& socketPath)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath);
        if (size_t(path.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return connected;
    }

    QByteArray m_previous;
};
