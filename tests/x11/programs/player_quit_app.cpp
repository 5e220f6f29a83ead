// The recordings player in a process of its own, ended as quorvel ends: plays the movie given as
// the argument with the sound output the sound server in its environment offers, prints "playing
// sound" or "playing silent" once the movie runs, closes the player on "close" from standard input
// (then prints "closed" once the event loop runs on), starts work on the worker pool that never
// ends on "hold" (a movie finishing on a disk that stopped answering; "held" once it runs), and
// quits on SIGTERM, waiting for the worker pool as quorvel does, the whole quit bounded as
// quorvel's is.
#include "app/ExitDeadline.h"
#include "app/TerminationSignals.h"
#include "gallery/RecordingQuickLook.h"
#include "platform/Background.h"
#include "platform/MediaPlayback.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/PulseOutputProbe.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QMediaPlayer>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {
void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    MediaPlayback::chooseBackend();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ExitDeadline::armWhenQuitting(app, std::chrono::seconds(1));
    Theme::install();
    Symbols::installIconTheme();
    MediaPlayback::setSoundOutputProbe([] { return PulseOutputProbe::hasOutput(); });
    MediaPlayback::setMovieProbe(&FFmpegMovieReader::isMovie);

    TerminationSignals::install(app);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char line[64] = {};
        const ssize_t got = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (got <= 0) {
            input.setEnabled(false);
            return;
        }
        if (QByteArray(line).startsWith("hold")) {
            Background::run([] {
                say("held");
                for (;;)
                    std::this_thread::sleep_for(std::chrono::seconds(1));
            });
        }
        if (QByteArray(line).startsWith("close") && RecordingQuickLook::current()) {
            RecordingQuickLook::current()->close();
            // Said once the closed window is gone and the event loop runs on.
            QTimer::singleShot(100, [] { say("closed"); });
        }
    });

    RecordingQuickLook::open(QString::fromLocal8Bit(argv[1]));
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&watch] {
        RecordingQuickLook* look = RecordingQuickLook::current();
        if (!look || !look->player() || look->player()->position() <= 0)
            return;
        say(look->player()->audioOutput() ? "playing sound" : "playing silent");
        watch.stop();
    });
    watch.start(20);
    const int status = app.exec();
    Background::finishAtQuit();
    return status;
}
