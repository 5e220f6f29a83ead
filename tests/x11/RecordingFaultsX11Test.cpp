// Recordings of this display under faults, checked by decoding the movies: a disk that fills up,
// a recording program killed with SIGKILL, a sound server of the test's own, a click heard with a
// colour change, and a recordings folder swapped while recording.
#include "../recording/PrivatePulseServer.h"
#include "../recording/RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/PulseSystemAudioSource.h"
#include "platform/linux/X11ScreenSource.h"
#include "store/RecordingStorage.h"

#include <QPainter>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

#include <pulse/simple.h>

#include "X11TestSupport.h"

using x11test::spin;
using x11test::waitUntil;

namespace {

// A folder with a tmpfs of `megabytes` mounted on it, where mounting is permitted.
struct SmallDisk {
    QTemporaryDir dir;
    bool mounted = false;
    explicit SmallDisk(int megabytes)
    {
        const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
        mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
};

// A window without a frame at the top left: grey noise that changes every frame (which the
// encoder cannot squeeze; a few pictures made once, shown in turn), or one plain colour.
class TestWindow : public QWidget {
public:
    explicit TestWindow(QSize size)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
        , m_picture(size, QImage::Format_RGB32)
    {
        setGeometry(QRect(QPoint(0, 0), size));
        m_picture.fill(Qt::black);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_picture = m_noise[m_next++ % m_noise.size()];
            repaint();
        });
        show();
    }
    void noise()
    {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> grey(0, 255);
        for (int n = 0; n < 8; ++n) {
            QImage picture(m_picture.size(), QImage::Format_RGB32);
            for (int y = 0; y < picture.height(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
                for (int x = 0; x < picture.width(); ++x)
                    row[x] = qRgb(grey(random), grey(random), grey(random));
            }
            m_noise.append(picture);
        }
        m_timer.start(33);
    }
    void fill(QColor colour)
    {
        m_picture.fill(colour);
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, m_picture); }

private:
    QImage m_picture;
    QList<QImage> m_noise;
    int m_next = 0;
    QTimer m_timer;
};

// A recorder on the real display and FFmpeg into `folder`, with the system audio of `audio`.
struct X11Recorder {
    X11ScreenSource source;
    FFmpegMovieWriter writer;
    FFmpegMovieThumbnailer thumbnailer;
    RecordingHarness h;
    explicit X11Recorder(const QString& folder, SystemAudioSource* audio = nullptr)
    {
        h.service = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Needs {
            source, writer, thumbnailer, h.inhibitor, *(audio ? audio : &h.audio), h.notifier, h.permissions});
        h.service->setRecordingsDirectory(folder);
        h.service->setModelContainer(h.store.container);
        x11test::xdotool({QStringLiteral("mousemove"), QStringLiteral("1279"), QStringLiteral("799")});
    }
    quint32 displayID() { return source.monitors().value(0).displayID; }
    QString moviePath() { return QDir(h.service->recordingsDirectory()).filePath(h.service->currentFileName()); }
    QString errorText() { return h.service->lastError().value_or(ScreenRecordingService::RecordingError {}).message; }
};

// Decoded frame times and centre colours of a movie.
QList<QPair<double, QRgb>> decodeVideo(const QString& path)
{
    FFmpegMovieReader reader;
    QString error;
    EXPECT_TRUE(reader.open(path, &error)) << error.toStdString();
    QList<QPair<double, QRgb>> frames;
    reader.readVideo(
        0, QSize(),
        [&](const QImage& frame, double seconds) {
            frames.append({seconds, frame.pixel(frame.width() / 2, frame.height() / 2)});
            return true;
        },
        &error);
    return frames;
}

}

TEST(RecordingFaultsX11, AFullDiskEndsTheRecordingWhichIsListedAndPlays)
{
    SmallDisk disk(8);
    if (!disk.mounted)
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    TestWindow window(QSize(640, 360));
    window.noise();
    X11Recorder r(disk.dir.path());
    ConsoleCapture console;
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
    QSignalSpy stopped(r.h.service.get(), &ScreenRecordingService::stopped);
    r.h.start(ScreenRecordingService::AreaTarget {r.displayID(), QRectF(0, 0, 640, 360), 1.0});
    ASSERT_TRUE(r.h.service->isRecording()) << r.errorText().toStdString();
    // The recording ends by itself once the disk is full, however long that takes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stopped.isEmpty(); }, 180000));
    ASSERT_TRUE(r.h.service->lastError());
    EXPECT_TRUE(r.errorText().contains(QStringLiteral("No space left on device"))) << r.errorText().toStdString();
    // The user learns why it ended, and that the movie up to then was kept, and where.
    ASSERT_EQ(r.h.notifier.summaries, QStringList {QStringLiteral("Bildschirmaufnahme vorzeitig beendet")});
    const QString body = r.h.notifier.bodies.first();
    EXPECT_TRUE(body.contains(QStringLiteral("No space left on device"))) << body.toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("Die Aufnahme bis dahin ist gespeichert: ") + r.moviePath()))
        << body.toStdString();
    EXPECT_TRUE(console.contains(QStringLiteral("; the movie up to then is kept in ") + r.moviePath()));

    // Listed, with what plays: every frame up to where the disk filled.
    ASSERT_EQ(r.h.records().size(), 1u);
    const RecordingItemPtr item = r.h.records().front();
    EXPECT_EQ(item->fileSizeBytes, QFileInfo(r.moviePath()).size());
    EXPECT_TRUE(item->thumbnailData);
    const auto frames = decodeVideo(r.moviePath());
    ASSERT_GE(frames.size(), 15);
    // As long as the movie plays: its last picture lasts until the one that did not fit.
    EXPECT_NEAR(FFmpegMovieThumbnailer().movieSeconds(r.moviePath(), nullptr), item->durationSeconds, 1e-3);
    EXPECT_LT(frames.last().first, item->durationSeconds);
    for (int i = 1; i < frames.size(); ++i)
        EXPECT_GT(frames[i].first, frames[i - 1].first);
}

TEST(RecordingFaultsX11, AKilledRecordingIsListedAtTheNextStart)
{
    const QString program = qEnvironmentVariable("QUORVEL_RECORDING_CRASH_APP");
    if (program.isEmpty())
        GTEST_SKIP() << "QUORVEL_RECORDING_CRASH_APP is not set (run through ctest)";
    QTemporaryDir folder;
    const QString name = RecordingStorage::fileName(QDateTime::currentDateTime());
    QProcess recorder;
    recorder.start(program, {QDir(folder.path()).filePath(name), QStringLiteral("1")});
    ASSERT_TRUE(recorder.waitForReadyRead(10000)) << recorder.readAllStandardError().toStdString();
    // Files of the recordings' names that are no movies: junk, and a pipe that would block a reader.
    QFile junk(QDir(folder.path()).filePath(QStringLiteral("2026-01-02_03-04-05.mov")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(QDir(folder.path()).filePath(QStringLiteral("2026-01-02_03-04-06.mov"))).constData(),
            0600),
        0);
    // Killed once a third fragment of a second is being written, however long that takes: two are
    // whole on disk.
    FFmpegMovieThumbnailer movies;
    const QString path = QDir(folder.path()).filePath(name);
    ASSERT_TRUE(waitUntil([&] { return movies.movieSeconds(path, nullptr) > 2.0; }, 60000));
    ::kill(pid_t(recorder.processId()), SIGKILL);
    ASSERT_TRUE(recorder.waitForFinished(5000));

    X11Recorder r(folder.path()); // the next start
    QSignalSpy done(r.h.service.get(), &ScreenRecordingService::adoptionFinished);
    r.h.service->adoptInterruptedRecordings();
    ASSERT_TRUE(done.wait(10000));
    ASSERT_EQ(r.h.records().size(), 1u);
    const RecordingItemPtr item = r.h.records().front();
    EXPECT_EQ(item->fileName, name);
    EXPECT_EQ(item->fileSizeBytes, QFileInfo(QDir(folder.path()).filePath(name)).size());
    ASSERT_TRUE(item->thumbnailData);
    EXPECT_EQ(QImage::fromData(*item->thumbnailData).size(), QSize(320, 240));
    // Fragments of a second: at least two seconds are on disk, and all of it decodes.
    EXPECT_GE(item->durationSeconds, 2.0);
    EXPECT_FALSE(item->hasSystemAudio); // the movie has no sound track
    const auto frames = decodeVideo(path);
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_LT(frames.last().first, item->durationSeconds);
    EXPECT_GE(frames.last().first + 1.0 / 30, item->durationSeconds - 0.5); // dropped ticks at most
    EXPECT_GT(qRed(frames.first().second), 200);

    r.h.service->adoptInterruptedRecordings(); // nothing twice
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(r.h.records().size(), 1u);
}

TEST(RecordingFaultsX11, SoundIsThereFromTheFirstFrameAfterASlowConnect)
{
    // A sound server that takes 700 ms to answer: the movie's clock starts once it has.
    FakeSystemAudioSource audio;
    audio.connectDelay = std::chrono::milliseconds(700);
    TestWindow window(QSize(320, 240));
    QTemporaryDir folder;
    X11Recorder r(folder.path(), &audio);
    spin(300);
    r.h.start(ScreenRecordingService::AreaTarget {r.displayID(), QRectF(0, 0, 320, 240), 1.0}, true);
    ASSERT_TRUE(r.h.service->isRecording()) << r.errorText().toStdString();
    spin(1500);
    r.h.stop();
    const auto frames = decodeVideo(r.moviePath());
    double start = -1;
    const std::vector<float> sound = decodeLeftChannel(r.moviePath(), &start);
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_NEAR(frames.first().first, 0, 1e-6);
    EXPECT_LT(start, 0.040);
    EXPECT_NEAR(start + double(sound.size()) / 48'000, frames.last().first + 1.0 / 30, 0.1);
}

// A player into the sound server that writes silence in 10 ms blocks as the sink takes them, and
// a loud click when asked, so that the click goes out as soon as it is asked for.
class ClickPlayer {
public:
    ClickPlayer()
    {
        pa_sample_spec spec {};
        spec.format = PA_SAMPLE_FLOAT32NE;
        spec.rate = 48'000;
        spec.channels = 2;
        pa_buffer_attr attributes {};
        attributes.maxlength = uint32_t(-1);
        attributes.tlength = 480 * 2 * sizeof(float);
        attributes.prebuf = uint32_t(-1);
        attributes.minreq = uint32_t(-1);
        attributes.fragsize = uint32_t(-1);
        m_stream = pa_simple_new(
            nullptr, "click", PA_STREAM_PLAYBACK, "tone", "click", &spec, nullptr, &attributes, nullptr);
        if (m_stream)
            m_thread = std::thread([this] { play(); });
    }
    ~ClickPlayer()
    {
        m_stopping = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
    }
    bool isPlaying() const { return m_stream; }
    void click() { m_click = true; }
    // The most the sink held of this player's sound around the click.
    std::chrono::microseconds worstLatency() const { return std::chrono::microseconds(m_worstLatency.load()); }

private:
    void play()
    {
        std::vector<float> block(480 * 2);
        int clickBlocks = 0;
        while (!m_stopping) {
            if (m_click.exchange(false))
                clickBlocks = 3; // 30 ms of a loud square
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = clickBlocks > 0 ? ((i / 2 / 24) % 2 ? 0.8f : -0.8f) : 0.0f;
            if (pa_simple_write(m_stream, block.data(), block.size() * sizeof(float), nullptr) < 0)
                return;
            if (clickBlocks > 0) {
                --clickBlocks;
                const pa_usec_t latency = pa_simple_get_latency(m_stream, nullptr);
                m_worstLatency = std::max<qint64>(m_worstLatency, qint64(latency == pa_usec_t(-1) ? 0 : latency));
            }
        }
    }

    pa_simple* m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping {false};
    std::atomic<bool> m_click {false};
    std::atomic<qint64> m_worstLatency {0};
};

TEST(RecordingFaultsX11, AClickAndAColourChangeMadeTogetherStayTogether)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    // Silence played as the sink takes it keeps the sink running at the player's low latency, once
    // the chunk it was rendering while idle has ended; the click then goes out at once.
    ClickPlayer player;
    ASSERT_TRUE(player.isPlaying());
    ASSERT_TRUE(pulse.waitUntilHeard(0));
    TestWindow window(QSize(320, 240));
    PulseSystemAudioSource audio;
    QTemporaryDir folder;
    X11Recorder r(folder.path(), &audio);
    spin(300);
    r.h.start(ScreenRecordingService::AreaTarget {r.displayID(), QRectF(0, 0, 320, 240), 1.0}, true);
    ASSERT_TRUE(r.h.service->isRecording()) << r.errorText().toStdString();
    spin(1000);
    QElapsedTimer shown;
    shown.start();
    window.fill(Qt::white);
    player.click();
    // How long the X server took to show the colour: the picture is no sooner in the movie.
    ASSERT_TRUE(waitUntil([&] { return qGreen(r.source.grabRect(QRect(160, 120, 1, 1), nullptr).pixel(0, 0)) > 200; }));
    const qint64 showMs = shown.elapsed();
    spin(1000);
    r.h.stop();

    const auto frames = decodeVideo(r.moviePath());
    double start = 0;
    const std::vector<float> sound = decodeLeftChannel(r.moviePath(), &start);
    double seen = -1;
    for (const auto& [seconds, centre] : frames) {
        if (qGreen(centre) > 200) {
            seen = seconds;
            break;
        }
    }
    double heard = -1;
    for (size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) > 0.4f) {
            heard = start + double(i) / 48'000;
            break;
        }
    }
    // A sound server that fell behind (a null sink under load renders in bursts), or an X server
    // slow to show the colour (a busy machine), cannot time a click.
    if (showMs > 15)
        GTEST_SKIP() << "the X server took " << showMs << " ms to show the colour: too long to time a click";
    if (player.worstLatency() > std::chrono::milliseconds(40))
        GTEST_SKIP() << "the sound server held the click " << player.worstLatency().count() / 1000
                     << " ms: too long to time it";
    ASSERT_GT(seen, 0.5);
    ASSERT_GT(heard, 0.5);
    EXPECT_NEAR(heard, seen, 0.040);
}

TEST(RecordingFaultsX11, AMovieWhoseFolderWasSwappedIsKeptButNotListed)
{
    TestWindow window(QSize(320, 240));
    window.fill(Qt::blue);
    QTemporaryDir root;
    const QString folder = QDir(root.path()).filePath(QStringLiteral("Quorvel"));
    const QString elsewhere = QDir(root.path()).filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    X11Recorder r(folder);
    spin(300);
    // The folder becomes a link to another folder, then a plain file.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(QDir().mkpath(folder));
        r.h.start(ScreenRecordingService::AreaTarget {r.displayID(), QRectF(0, 0, 320, 240), 1.0});
        ASSERT_TRUE(r.h.service->isRecording()) << r.errorText().toStdString();
        const QString name = r.h.service->currentFileName();
        spin(1000);
        const QString moved = QDir(root.path()).filePath(QStringLiteral("moved %1").arg(round));
        ASSERT_TRUE(QDir().rename(folder, moved));
        if (round == 0) {
            ASSERT_TRUE(QFile::link(elsewhere, folder));
            QFile impostor(QDir(elsewhere).filePath(name)); // a movie of the same name there
            ASSERT_TRUE(impostor.open(QIODevice::WriteOnly));
        } else {
            QFile plain(folder);
            ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        }
        spin(500);
        r.h.stop();
        EXPECT_TRUE(r.h.records().empty());
        EXPECT_TRUE(r.errorText().contains(QStringLiteral("moved or replaced"))) << r.errorText().toStdString();
        // The movie was written on where it was opened, to its end.
        const auto frames = decodeVideo(QDir(moved).filePath(name));
        ASSERT_FALSE(frames.isEmpty());
        EXPECT_GE(frames.last().first, 1.5 - 1.0 / 30 - 1e-6); // to the stop, 1.5 s after the start at least
        EXPECT_GT(qBlue(frames.last().second), 200);
        QFile::remove(folder);
    }
}
