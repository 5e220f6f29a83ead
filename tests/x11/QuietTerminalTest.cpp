// The real quorvel binary keeps the terminal quiet while it is used: opening the history, a
// paste into another program and a movie played in the quick look print nothing.
#include "platform/linux/FFmpegMovieWriter.h"

#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <gtest/gtest.h>
#include <signal.h>
#include "TargetApp.h"
#include "X11TestSupport.h"

using namespace x11test;

namespace {

// Two seconds of an orange picture, as the recorder writes a movie.
bool writeOrangeMovie(const QString& path)
{
    FFmpegMovieWriter writer;
    MovieSettings settings;
    settings.size = QSize(320, 240);
    QString error;
    std::unique_ptr<MovieFile> movie = writer.create(path, settings, &error);
    if (!movie)
        return false;
    QImage frame(settings.size, QImage::Format_RGB32);
    frame.fill(QColor(255, 140, 0));
    for (int i = 0; i < 2 * settings.framesPerSecond; ++i)
        if (!movie->appendVideo(frame, i, &error))
            return false;
    return movie->finish(&error);
}

// Pixels of the screen close to the movie's orange.
int orangePixels(const QImage& screen)
{
    int count = 0;
    for (int y = 0; y < screen.height(); y += 2)
        for (int x = 0; x < screen.width(); x += 2) {
            const QColor c = screen.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 100 && c.green() < 180 && c.blue() < 60)
                ++count;
        }
    return count;
}

QString activeWindowName()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
    xdotool.waitForFinished(5000);
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

// The history panel ("Clipboard") opened by its hotkey and holding the keyboard.
bool openHistory()
{
    return xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")})
        && waitUntil([] { return activeWindowName() == QStringLiteral("Clipboard"); }, 20000);
}

// Clicks the quick look's Play button (bottom left of the panel, which never takes the keyboard).
bool clickPlay()
{
    QProcess search;
    search.start(QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
            QStringLiteral("^Quick Look$"), QStringLiteral("getwindowgeometry"), QStringLiteral("--shell")});
    search.waitForFinished(5000);
    QHash<QString, int> geometry;
    for (const QString& line : QString::fromUtf8(search.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QStringList pair = line.split(QLatin1Char('='));
        if (pair.size() == 2)
            geometry.insert(pair[0], pair[1].toInt());
    }
    if (!geometry.contains(QStringLiteral("HEIGHT")))
        return false;
    const int x = geometry.value(QStringLiteral("X")) + 38;
    const int y = geometry.value(QStringLiteral("Y")) + geometry.value(QStringLiteral("HEIGHT")) - 58;
    return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
        QStringLiteral("1")});
}

// libvdpau, a system library, writes this line to the terminal itself when the player tries the
// VDPAU decoder on a machine without a VDPAU driver (this one); no setting of the program reaches it.
QString withoutLibvdpauLine(const QString& printed)
{
    QStringList lines = printed.split(QLatin1Char('\n'));
    lines.removeIf([](const QString& line) { return line.startsWith(QLatin1String("Failed to open VDPAU backend ")); });
    return lines.join(QLatin1Char('\n')).trimmed();
}

bool key(const char* keys)
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QString::fromLatin1(keys)});
}

}

TEST(QuietTerminal, HistoryPasteAndPlayPrintNothing)
{
    const QString binary = qEnvironmentVariable("QUORVEL_BINARY");
    ASSERT_FALSE(binary.isEmpty());
    QTemporaryDir home;
    const QString moviePath = home.filePath(QStringLiteral("clip.mov"));
    ASSERT_TRUE(writeOrangeMovie(moviePath));

    QProcessEnvironment env = freshHomeEnvironment(home.path());
    env.remove("DBUS_SESSION_BUS_ADDRESS"); // no tray host, no Secret Service
    env.remove("QUORVEL_TRACE");
    env.remove("QT_LOGGING_RULES");
    QProcess quorvel;
    quorvel.setProcessEnvironment(env);
    quorvel.start(binary, {});
    ASSERT_TRUE(quorvel.waitForStarted(5000));
    const QString store = home.path() + "/.local/share/Quorvel/Quorvel.store";
    // Monitoring runs once the autostart entry is written.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(home.path() + "/.config/autostart/quorvel.desktop"); }, 20000));

    // Two entries: a text to paste and the movie's file.
    {
        XclipOwner text("quiet paste");
        ASSERT_TRUE(waitUntil([&] { return clipItemCount(store) == 1; }, 20000));
    }
    {
        XclipOwner file(
            QUrl::fromLocalFile(moviePath).toEncoded(), QStringLiteral("clipboard"), QStringLiteral("text/uri-list"));
        ASSERT_TRUE(waitUntil([&] { return clipItemCount(store) == 2; }, 20000));
    }
    TargetApp target;
    ASSERT_TRUE(target.start(QStringLiteral("Quiet target")));
    // What the start printed (the missing tray, the key file) is not part of what is looked at.
    quorvel.readAllStandardOutput();
    quorvel.readAllStandardError();

    // The history opens with the newest entry (the movie) selected; the text below it is pasted.
    ASSERT_TRUE(openHistory());
    ASSERT_TRUE(key("Down"));
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(waitUntil([&] { return target.text() == QStringLiteral("quiet paste"); }, 20000))
        << "field holds: " << target.text().toStdString();

    // The history again, and the movie in the quick look.
    ASSERT_TRUE(openHistory());
    ASSERT_TRUE(key("space"));
    ASSERT_TRUE(waitUntil(clickPlay, 20000)) << "no quick look";
    QImage screen;
    EXPECT_TRUE(waitUntil(
        [&] {
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            return orangePixels(screen) > 2000;
        },
        30000))
        << "the movie did not show";
    screen.save(artifact(QStringLiteral("quiet_terminal_quick_look.png")));

    // Read after the quit: then every line the player printed (it opens the decoder on a thread of
    // its own, around the first picture) has reached the pipe. The quit prints nothing either.
    ::kill(static_cast<pid_t>(quorvel.processId()), SIGTERM);
    EXPECT_TRUE(quorvel.waitForFinished(10000));
    const QString printed = withoutLibvdpauLine(
        QString::fromUtf8(quorvel.readAllStandardOutput() + quorvel.readAllStandardError()));
    EXPECT_EQ(printed, QString()) << printed.toStdString();
}
