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
// encoder cannot squeeze), or one plain colour.
class TestWindow : public QWidget {
public:
    explicit TestWindow(QSize size)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
        , m_picture(size, QImage::Format_RGB32)
    {
        setGeometry(QRect(QPoint(0, 0), size));
        m_picture.fill(Qt::black);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            std::uniform_int_distribution<int> grey(0, 255);
            for (int y = 0; y < m_picture.height(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(m_picture.scanLine(y));
                for (int x = 0; x < m_picture.width(); ++x)
                    row[x] = qRgb(grey(m_random), grey(m_random), grey(m_random));
            }
            repaint();
        });
        show();
    }
    void noise() { m_timer.start(33); }
    void fill(QColor colour)
    {
        m_picture.fill(colour);
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, m_picture); }

private:
    QImage m_picture;
    QTimer m_timer;
    std::mt19937 m_random {11};
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
    reader.readVideo(0, QSize(), [&](const QImage& frame, double seconds) {
        frames.append({seconds, frame.pixel(frame.width() / 2, frame.height() / 2)});
        return true;
    }, &error);
    return frames;
}

// The left channel of a movie's sound, and where on the time line it starts.
std::vector<float> decodeLeftChannel(const QString& path, double* start = nullptr)
{
    FFmpegMovieReader reader;
    std::vector<std::vector<float>> channels;
    QString error;
    EXPECT_TRUE(reader.open(path, &error) && reader.readAudio(channels, &error)) << error.toStdString();
    for (const MovieStreamInfo& stream : reader.streams()) {
        if (stream.isAudio && start)
            *start = stream.startSeconds;
    }
    return channels.empty() ? std::vector<float> {} : channels[0];
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
    // The recording ends by itself once the disk is full.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stopped.isEmpty(); }, 20000));
    ASSERT_TRUE(r.h.service->lastError());
    EXPECT_TRUE(r.errorText().contains(QStringLiteral("No space left on device"))) << r.errorText().toStdString();
    ASSERT_FALSE(r.h.notifier.bodies.isEmpty());
    EXPECT_TRUE(r.h.notifier.bodies.first().contains(QStringLiteral("No space left on device")));
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenRecordingService: ") + r.h.notifier.bodies.first()));

    // Listed, with what plays: every frame up to where the disk filled.
    ASSERT_EQ(r.h.records().size(), 1u);
    const RecordingItemPtr item = r.h.records().front();
    EXPECT_EQ(item->fileSizeBytes, QFileInfo(r.moviePath()).size());
    EXPECT_TRUE(item->thumbnailData);
    const auto frames = decodeVideo(r.moviePath());
    ASSERT_GE(frames.size(), 15);
    EXPECT_NEAR(frames.last().first + 1.0 / 30, item->durationSeconds, 0.05);
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
    ASSERT_EQ(::mkfifo(QFile::encodeName(QDir(folder.path()).filePath(QStringLiteral("2026-01-02_03-04-06.mov"))).constData(), 0600), 0);
    spin(2500);
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
    // Fragments of a second: one to two and a half seconds are on disk, and all of it decodes.
    EXPECT_GE(item->durationSeconds, 1.0);
    EXPECT_LE(item->durationSeconds, 2.6);
    const auto frames = decodeVideo(QDir(folder.path()).filePath(name));
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_NEAR(frames.last().first + 1.0 / 30, item->durationSeconds, 0.05);
    EXPECT_GT(qRed(frames.first().second), 200);

    r.h.service->adoptInterruptedRecordings(); // nothing twice
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(r.h.records().size(), 1u);
}

TEST(RecordingFaultsX11, SoundIsThereFromTheFirstFrameAfterASlowConnect)
{
    // A sound server that takes 700 ms to answer: the movie's clock starts once it has.
    FakeSystemAudioSource audio;
    audio.connectDelayMs = 700;
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

TEST(RecordingFaultsX11, AClickAndAColourChangeMadeTogetherStayTogether)
{
    PrivatePulseServer pulse;
    if (!pulse.ready)
        GTEST_SKIP() << "no pulseaudio daemon could be started";
    pulse.openPlayer(10);
    // Silence played as it is due keeps the sink running at the player's low latency; the click
    // then goes out at once.
    QElapsedTimer playing;
    playing.start();
    qint64 played = 0;
    auto playDue = [&](const QByteArray& sound) {
        const qint64 due = playing.elapsed() * 48 - played;
        if (due > 0)
            pulse.player.write(QByteArray(int(due) * 2 * int(sizeof(float)), 0));
        played += due > 0 ? due : 0;
        pulse.player.write(sound);
        played += sound.size() / 2 / qint64(sizeof(float));
    };
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] { playDue({}); });
    feeder.start(5);
    TestWindow window(QSize(320, 240));
    PulseSystemAudioSource audio;
    QTemporaryDir folder;
    X11Recorder r(folder.path(), &audio);
    spin(300);
    r.h.start(ScreenRecordingService::AreaTarget {r.displayID(), QRectF(0, 0, 320, 240), 1.0}, true);
    ASSERT_TRUE(r.h.service->isRecording()) << r.errorText().toStdString();
    spin(1000);
    QByteArray click(48 * 30 * 2 * int(sizeof(float)), Qt::Uninitialized); // 30 ms of a loud square
    auto* out = reinterpret_cast<float*>(click.data());
    for (int i = 0; i < 48 * 30 * 2; ++i)
        out[i] = (i / 2 / 24) % 2 ? 0.8f : -0.8f;
    window.fill(Qt::white);
    playDue(click);
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
    // A sound server that renders in bursts (a null sink under load) cannot time a click.
    if (double(sound.size()) / 48'000 < 0.8 * frames.size() / 30.0)
        GTEST_SKIP() << "the sound server delivered " << sound.size() / 48'000.0 << " s of sound in "
                     << frames.size() / 30.0 << " s: too little to time a click";
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
        EXPECT_NEAR(frames.last().first, 1.5, 0.2);
        EXPECT_GT(qBlue(frames.last().second), 200);
        QFile::remove(folder);
    }
}
