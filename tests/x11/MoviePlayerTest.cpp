// The movie players (the recordings player and the history quick look) against the sound server
// and the file under them: no sound server means a silent play, not a crash; a sound server that
// goes away mid-play holds neither the closing of the player nor the quit; a movie turned into a
// pipe is never waited on; and a closed player leaves no decoding or sound threads behind.
#include "gallery/RecordingQuickLook.h"
#include "history/VideoQuickLookView.h"
#include "platform/MediaPlayback.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/PulseOutputProbe.h"
#include "ui/Symbols.h"
#include <QToolButton>
#include "ui/Theme.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QThread>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

// An orange movie with a 440 Hz tone, as the recorder writes one with sound.
bool writeMovieWithSound(const QString& path, int seconds)
{
    FFmpegMovieWriter writer;
    MovieSettings settings;
    settings.size = QSize(320, 240);
    settings.audio = true;
    QString error;
    std::unique_ptr<MovieFile> movie = writer.create(path, settings, &error);
    if (!movie)
        return false;
    QImage frame(320, 240, QImage::Format_RGB32);
    frame.fill(QColor(255, 140, 0));
    const int perFrame = settings.audioSampleRate / settings.framesPerSecond;
    std::vector<float> samples(size_t(perFrame * settings.audioChannels));
    for (int i = 0; i < seconds * settings.framesPerSecond; ++i) {
        for (int s = 0; s < perFrame; ++s) {
            const float value = 0.3f
                * std::sin(2 * 3.14159f * 440 * float(i * perFrame + s) / settings.audioSampleRate);
            samples[size_t(2 * s)] = samples[size_t(2 * s + 1)] = value;
        }
        if (!movie->appendVideo(frame, i, &error)
            || !movie->appendAudio(samples.data(), perFrame, qint64(i) * perFrame, &error))
            return false;
    }
    return movie->finish(&error);
}

// A silent movie whose white bar moves from the left edge to the right one as it plays; its last
// picture comes `heldSeconds` later (as in a recording that dropped the ticks before it).
bool writeMovingBarMovie(const QString& path, int seconds, int heldSeconds = 0)
{
    FFmpegMovieWriter writer;
    MovieSettings settings;
    settings.size = QSize(320, 240);
    QString error;
    std::unique_ptr<MovieFile> movie = writer.create(path, settings, &error);
    if (!movie)
        return false;
    const int frames = seconds * settings.framesPerSecond;
    QImage frame(settings.size, QImage::Format_RGB32);
    for (int i = 0; i < frames; ++i) {
        frame.fill(QColor(32, 74, 135));
        QPainter(&frame).fillRect(QRect(i * (320 - 16) / (frames - 1), 0, 16, 240), Qt::white);
        if (!movie->appendVideo(frame, i + (i == frames - 1 ? heldSeconds * settings.framesPerSecond : 0), &error))
            return false;
    }
    return movie->finish(&error);
}

// Where the knob of `slider` is drawn, in its own coordinates.
QRect sliderHandle(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.subControls = QStyle::SC_All;
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

// A PulseAudio of this test only (a null sink as its output), in a runtime folder of its own.
class PrivateSoundServer {
public:
    bool start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        environment.insert(QStringLiteral("HOME"), m_dir.path());
        environment.remove(QStringLiteral("PULSE_SERVER"));
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("pulseaudio"),
            {QStringLiteral("--daemonize=no"), QStringLiteral("-n"), QStringLiteral("--exit-idle-time=-1"),
                QStringLiteral("--load=module-null-sink"), QStringLiteral("--load=module-native-protocol-unix")});
        if (!m_process.waitForStarted(5000))
            return false;
        return waitUntil([this] { return QFileInfo::exists(socket()); }, 10000);
    }
    ~PrivateSoundServer() { stop(); }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QString socket() const { return m_dir.filePath(QStringLiteral("pulse/native")); }
    QByteArray address() const { return "unix:" + socket().toUtf8(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// What the process holds: resident memory and its threads by name.
struct Usage {
    double residentMB = 0;
    QStringList threads;
    // Threads other than the pools' (Qt's and our worker and lifecycle pools, named after them and
    // cut to 15 characters), which come and go by themselves, and Qt's one thread of the session
    // bus, made at the process's first use of it (a play may be the first) and kept.
    int ownThreads() const
    {
        return int(std::count_if(threads.begin(), threads.end(), [](const QString& name) {
            return !name.startsWith(QLatin1String("Thread (pooled)")) && name != QLatin1String("com.quorvel.wor")
                && name != QLatin1String("com.quorvel.lif") && name != QLatin1String("QDBusConnection");
        }));
    }
};

Usage usage()
{
    Usage now;
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        if (fields.size() > 1)
            now.residentMB = double(fields[1].toLongLong()) * double(::sysconf(_SC_PAGESIZE)) / (1024 * 1024);
    }
    QDirIterator tasks(QStringLiteral("/proc/self/task"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        QFile comm(tasks.next() + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly))
            now.threads << QString::fromUtf8(comm.readAll()).trimmed();
    }
    return now;
}

class MoviePlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Theme::install();
        Symbols::installIconTheme();
        MediaPlayback::setSoundOutputProbe([] { return PulseOutputProbe::hasOutput(); });
        MediaPlayback::setMovieProbe(&FFmpegMovieReader::isMovie);
    }
    void TearDown() override
    {
        if (RecordingQuickLook::current())
            RecordingQuickLook::current()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Opens `path` in the recordings player and waits until it plays or says why not.
    RecordingQuickLook* openPlayer(const QString& path)
    {
        RecordingQuickLook* look = RecordingQuickLook::open(path, 4);
        QSignalSpy opened(look, &RecordingQuickLook::opened);
        EXPECT_TRUE(opened.count() > 0 || opened.wait(10000));
        return look;
    }
    QTemporaryDir dir;
};

}

// Without any sound server Qt's sound output crashed the process in its audio thread; the movie
// now plays without sound.
TEST_F(MoviePlayerTest, WithoutASoundServerAMovieWithSoundPlaysSilently)
{
    qputenv("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("no-server")).toUtf8());
    const QString path = dir.filePath(QStringLiteral("2026-12-07_09-00-00.mov"));
    ASSERT_TRUE(writeMovieWithSound(path, 2));
    RecordingQuickLook* look = openPlayer(path);
    ASSERT_TRUE(look->player()) << look->problem().toStdString();
    EXPECT_EQ(look->player()->audioOutput(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return look->player()->position() > 500; }, 10000)) << look->problem().toStdString();
    EXPECT_TRUE(look->player()->hasAudio()); // the track is there, it is only not played
}

// The position slider spans the movie's length from the start (the backend told the length before
// the player window listened), its knob follows the play, and dragging it seeks there; a click on
// the groove jumps there, and a drag after the movie ended plays on from the new place.
TEST_F(MoviePlayerTest, ThePositionSliderFollowsThePlayAndADragSeeksThere)
{
    qputenv("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("no-server")).toUtf8());
    const QString path = dir.filePath(QStringLiteral("2026-12-07_09-03-00.mov"));
    ASSERT_TRUE(writeMovingBarMovie(path, 6));
    RecordingQuickLook* look = RecordingQuickLook::open(path, 6);
    QSignalSpy opened(look, &RecordingQuickLook::opened);
    ASSERT_TRUE(opened.count() > 0 || opened.wait(20000));
    QMediaPlayer* player = look->player();
    ASSERT_TRUE(player) << look->problem().toStdString();
    auto* slider = look->findChild<QSlider*>();
    ASSERT_TRUE(slider);
    ASSERT_TRUE(waitUntil([&] { return player->position() > 1000; }, 30000));
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), player->duration());
    EXPECT_GT(slider->value(), 500) << "the knob follows the play";

    // Paused, the knob is dragged to the middle of the groove: the player goes there.
    QTest::keyClick(look, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return player->playbackState() == QMediaPlayer::PausedState; }, 10000));
    const QPoint middle = slider->mapToGlobal(QPoint(slider->width() / 2, slider->height() / 2));
    const auto dragKnobToMiddle = [&] {
        const QPoint knob = slider->mapToGlobal(sliderHandle(slider).center());
        return xdotool({QStringLiteral("mousemove"), QString::number(knob.x()), QString::number(knob.y()),
            QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("mousemove"),
            QString::number((knob.x() + middle.x()) / 2), QString::number(middle.y()), QStringLiteral("mousemove"),
            QString::number(middle.x()), QString::number(middle.y()), QStringLiteral("mouseup"), QStringLiteral("1")});
    };
    ASSERT_TRUE(dragKnobToMiddle());
    const qint64 half = player->duration() / 2;
    const auto nearHalf = [&](qint64 ms) { return std::abs(ms - half) < player->duration() / 10; };
    ASSERT_TRUE(waitUntil([&] { return !slider->isSliderDown() && nearHalf(slider->value()); }, 10000))
        << slider->value() << " of " << slider->maximum();
    ASSERT_TRUE(waitUntil([&] { return nearHalf(player->position()); }, 10000)) << player->position();

    // Played on, it goes on from there.
    QSignalSpy positions(player, &QMediaPlayer::positionChanged);
    QTest::keyClick(look, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return player->position() > half + 1000; }, 30000)) << player->position();
    for (const QList<QVariant>& at : positions)
        EXPECT_GT(at.at(0).toLongLong(), half - player->duration() / 10);
    EXPECT_GT(slider->value(), half);
    player->pause();
    spin(300);
    const QRect frame = look->frameGeometry();
    EXPECT_TRUE(look->screen()
                    ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .save(artifact(QStringLiteral("recording_player_seek_x11.png"))));

    // Paused, a click on the groove's first quarter jumps there, not a page step back.
    const QPoint quarter = slider->mapToGlobal(QPoint(slider->width() / 4, slider->height() / 2));
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(quarter.x()), QString::number(quarter.y()),
        QStringLiteral("click"), QStringLiteral("1")}));
    const auto near = [&](qint64 ms, qint64 at) { return std::abs(ms - at) < player->duration() / 10; };
    EXPECT_TRUE(waitUntil([&] { return near(player->position(), player->duration() / 4); }, 10000))
        << player->position();
    EXPECT_EQ(player->playbackState(), QMediaPlayer::PausedState);

    // Played to its end, the knob dragged back to the middle: it plays on from there.
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->mediaStatus() == QMediaPlayer::EndOfMedia; }, 30000));
    ASSERT_TRUE(dragKnobToMiddle());
    ASSERT_TRUE(waitUntil([&] { return !slider->isSliderDown() && nearHalf(slider->value()); }, 10000))
        << slider->value() << " of " << slider->maximum();
    // The play from there ends by itself, perhaps before the test looks again: the places it
    // reported on its way stay.
    const qint64 from = slider->value();
    QSignalSpy playedOn(player, &QMediaPlayer::positionChanged);
    EXPECT_TRUE(waitUntil(
        [&] {
            return std::any_of(playedOn.begin(), playedOn.end(), [&](const QList<QVariant>& at) {
                return at.at(0).toLongLong() > from + 500 && at.at(0).toLongLong() < player->duration();
            });
        },
        30000))
        << player->playbackState() << " at " << player->position();
}

// The backend reads a movie ahead of its play, and once it had read it to its end (in the last half
// second of a play; here while a last picture four seconds late is awaited) a click on the groove
// left it playing nothing: pause symbol, picture and time frozen. It plays on from the place
// clicked to the end now; so too when the click comes as the play ends (the main thread held
// while it ends, so that the end and the click are handled together; the backend then now and
// then ended the play begun at the place clicked at once).
TEST_F(MoviePlayerTest, AClickOnTheGrooveNearTheEndPlaysOnFromThere)
{
    qputenv("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("no-server")).toUtf8());
    for (const bool readToItsEnd : {true, false}) {
        SCOPED_TRACE(readToItsEnd ? "read to its end" : "the end reported with the click");
        const QString path = dir.filePath(QStringLiteral("2026-12-07_09-0%1-00.mov").arg(readToItsEnd ? 4 : 5));
        ASSERT_TRUE(writeMovingBarMovie(path, readToItsEnd ? 1 : 2, readToItsEnd ? 4 : 0));
        RecordingQuickLook* look = openPlayer(path);
        QMediaPlayer* player = look->player();
        ASSERT_TRUE(player) << look->problem().toStdString();
        auto* slider = look->findChild<QSlider*>();
        const QVideoSink* sink = look->findChild<QVideoWidget*>()->videoSink();
        if (readToItsEnd) {
            // The picture before the late one shows: the file has been read to its end.
            ASSERT_TRUE(waitUntil([&] { return player->position() >= 900; }, 30000));
        } else {
            ASSERT_TRUE(waitUntil([&] { return player->position() >= player->duration() - 100; }, 30000));
            QThread::msleep(300); // the play ends meanwhile
        }
        const qint64 quarter = player->duration() / 4;
        QSignalSpy positions(player, &QMediaPlayer::positionChanged);
        const QPoint at = slider->mapToGlobal(QPoint(slider->width() / 4, slider->height() / 2));
        ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
            QStringLiteral("click"), QStringLiteral("1")}));
        const auto landed = [&] {
            return std::find_if(positions.begin(), positions.end(), [&](const QList<QVariant>& p) {
                return std::abs(p.at(0).toLongLong() - quarter) < player->duration() / 10;
            });
        };
        EXPECT_TRUE(waitUntil(
            [&] {
                return landed() != positions.end() && player->mediaStatus() == QMediaPlayer::EndOfMedia
                    && sink->videoFrame().startTime() >= (player->duration() - 100) * 1000;
            },
            30000))
            << player->playbackState() << " " << player->mediaStatus() << " at " << player->position();
        for (auto p = landed(); p != positions.end(); ++p)
            EXPECT_GE(p->at(0).toLongLong(), quarter - player->duration() / 10) << "played from the start";
        EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
        EXPECT_TRUE(look->findChild<QToolButton*>()->icon().pixmap(16).toImage()
            == Symbols::icon(QStringLiteral("play.fill"), Theme::text()).pixmap(16).toImage())
            << "the play symbol";
        look->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The movie's file was replaced by a named pipe (without a writer: opening it for reading waits
// for ever) before the player opened it; or by a file that is no movie.
TEST_F(MoviePlayerTest, AMovieTurnedIntoAPipeIsNeverWaitedOn)
{
    const QString path = dir.filePath(QStringLiteral("pipe.mov"));
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    QElapsedTimer held;
    held.start();
    RecordingQuickLook* look = RecordingQuickLook::open(path, 4);
    EXPECT_LT(held.elapsed(), 1000);
    QSignalSpy opened(look, &RecordingQuickLook::opened);
    ASSERT_TRUE(opened.wait(5000));
    EXPECT_EQ(look->problem(), QStringLiteral("Die Aufnahme kann nicht abgespielt werden."));
    EXPECT_FALSE(look->player());

    // A regular file that is no movie never reaches a player either.
    const QString text = dir.filePath(QStringLiteral("text.mov"));
    writeFile(text, QByteArray(4096, 'x'));
    look = openPlayer(text);
    EXPECT_EQ(look->problem(), QStringLiteral("Die Aufnahme kann nicht abgespielt werden."));
    EXPECT_FALSE(look->player());
}

// One play of a 4 s recording with sound, then the player closes: the player and its decoding and
// rendering threads are gone. Qt keeps its one connection to the
// sound server for the process. The figures are printed.
TEST_F(MoviePlayerTest, AClosedPlayerLeavesNoThreadsBehind)
{
    PrivateSoundServer server;
    ASSERT_TRUE(server.start());
    qputenv("PULSE_SERVER", server.address());
    ASSERT_TRUE(waitUntil([] { return PulseOutputProbe::hasOutput(std::chrono::milliseconds(300)); }, 10000));
    const QString path = dir.filePath(QStringLiteral("2026-12-07_09-01-00.mov"));
    ASSERT_TRUE(writeMovieWithSound(path, 4));

    const Usage before = usage();
    RecordingQuickLook* look = openPlayer(path);
    QPointer<QMediaPlayer> player = look->player();
    ASSERT_TRUE(player) << look->problem().toStdString();
    EXPECT_TRUE(player->audioOutput());
    ASSERT_TRUE(waitUntil([&] { return player->mediaStatus() == QMediaPlayer::EndOfMedia; }, 15000));
    const Usage playing = usage();
    look->close();
    const auto released = [&] { return !player; };
    ASSERT_TRUE(waitUntil(released, 5000));
    // The decoding and rendering threads end on their own once the player is gone.
    Usage after;
    waitUntil([&] { return (after = usage()).ownThreads() <= before.ownThreads() + 2; }, 5000);
    std::printf(
        "recordings player: %.0f MB, %d threads before; %.0f MB, %d threads playing; %.0f MB, %d threads closed\n",
        before.residentMB, before.ownThreads(), playing.residentMB, playing.ownThreads(), after.residentMB,
        after.ownThreads());
    EXPECT_LE(after.ownThreads(), before.ownThreads() + 2) << after.threads.join(QLatin1Char(' ')).toStdString();

    // The history quick look's player goes with its view.
    auto* view = new VideoQuickLookView(QUrl::fromLocalFile(path));
    QSignalSpy checked(view, &VideoQuickLookView::fileChecked);
    ASSERT_TRUE(checked.wait(5000));
    view->togglePlayback();
    ASSERT_TRUE(checked.wait(5000));
    player = view->player();
    ASSERT_TRUE(player);
    ASSERT_TRUE(waitUntil([&] { return player->position() > 500; }, 10000));
    // Its button offers what a click does: pause while it plays, play once the movie has ended.
    const auto offers = [&](const QString& text, const QString& symbol) {
        const QImage drawn = view->playButton()->icon().pixmap(14, 14).toImage();
        return view->playButton()->text() == text
            && drawn == Symbols::icon(symbol, Theme::text(), {14, 28}).pixmap(14, 14).toImage();
    };
    EXPECT_TRUE(offers(QStringLiteral("Pause"), QStringLiteral("pause.fill")));
    EXPECT_TRUE(waitUntil([&] { return player->mediaStatus() == QMediaPlayer::EndOfMedia; }, 15000));
    EXPECT_TRUE(waitUntil([&] { return offers(QStringLiteral("Play"), QStringLiteral("play.fill")); }, 5000));
    delete view;
    ASSERT_TRUE(waitUntil(released, 5000));
    Usage quickLook;
    waitUntil([&] { return (quickLook = usage()).ownThreads() <= before.ownThreads() + 2; }, 5000);
    std::printf("history quick look: %.0f MB, %d threads closed\n", quickLook.residentMB, quickLook.ownThreads());
    EXPECT_LE(quickLook.ownThreads(), before.ownThreads() + 2)
        << quickLook.threads.join(QLatin1Char(' ')).toStdString();
}

// The sound server goes away while a movie plays (Qt's teardown of its sound output then waits for
// ever): closing the player does not hold the program, and SIGTERM ends it without waiting for its
// deadline, with the player closed first or still open; while the quit's own steps wait for work
// that never ends, the quit is bounded from its start.
TEST_F(MoviePlayerTest, QuitEndsAfterTheSoundServerWentAwayMidPlay)
{
    QString program = qEnvironmentVariable("QUORVEL_PLAYER_QUIT_APP");
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/player_quit_app");
    const QString path = dir.filePath(QStringLiteral("2026-12-07_09-02-00.mov"));
    ASSERT_TRUE(writeMovieWithSound(path, 4));
    enum class Quit { playerClosed, playerOpen, poolBusy };
    for (const Quit quit : {Quit::playerClosed, Quit::playerOpen, Quit::poolBusy}) {
        const bool closeFirst = quit == Quit::playerClosed;
        SCOPED_TRACE(closeFirst            ? "player closed before the quit"
                : quit == Quit::playerOpen ? "player open at the quit"
                                           : "player open and the worker pool busy at the quit");
        PrivateSoundServer server;
        ASSERT_TRUE(server.start());
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PULSE_SERVER"), QString::fromUtf8(server.address()));
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(program, {path});
        QByteArray said;
        const auto saw = [&](const char* line, int timeoutMs) {
            return waitUntil([&] { return (said += app.readAllStandardOutput()).contains(line); }, timeoutMs);
        };
        ASSERT_TRUE(saw("playing sound", 15000)) << said.toStdString();
        server.stop();
        spin(300); // the sound output notices
        if (closeFirst) {
            app.write("close\n");
            EXPECT_TRUE(saw("closed", 30000)) << "closing the player held the program";
        }
        if (quit == Quit::poolBusy) {
            app.write("hold\n");
            ASSERT_TRUE(saw("held", 10000));
        }
        QElapsedTimer quitting;
        quitting.start();
        ::kill(pid_t(app.processId()), SIGTERM);
        EXPECT_TRUE(app.waitForFinished(10000)) << "the quit did not end";
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        std::printf("quit ended after %lld ms\n", static_cast<long long>(quitting.elapsed()));
        // Only work that never ends holds the quit until its deadline; Qt's sound teardown does not.
        said += app.readAll();
        EXPECT_EQ(said.contains("did not end within"), quit == Quit::poolBusy) << said.toStdString();
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(3000);
        }
    }
}
