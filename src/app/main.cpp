// Quorvel: a clipboard history, screenshot and screen recording utility for the X11 desktop.
#include "app/ExitDeadline.h"
#include "app/InstanceChannel.h"
#include "app/InstanceLock.h"
#include "app/PlatformServices.h"
#include "app/QuorvelApp.h"
#include "app/TerminationSignals.h"
#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/MediaPlayback.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "store/ModelContainer.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    // Before anything opens a file or a connection: closed standard descriptors are opened onto
    // /dev/null, and what anyone writes to stderr holds no thread and never ends the process.
    Console::ownStandardStreams();

    // One instance per user and store: a second one would store every copy again. Checked before
    // anything connects to the display or opens the store.
    InstanceLock instanceLock;
    QString lockError;
    switch (instanceLock.acquire(InstanceLock::defaultPath(), &lockError)) {
    case InstanceLock::Result::HeldByAnother: {
        // The running one opens its settings window, so a second start always leads somewhere
        // (also where no tray shows the icon).
        QCoreApplication probe(argc, argv);
        if (InstanceChannel::askRunningInstance(InstanceLock::defaultPath()))
            std::fprintf(stderr, "Quorvel is already running; its settings window opens\n");
        else
            std::fprintf(stderr, "Quorvel is already running\n");
        return 0;
    }
    case InstanceLock::Result::Unavailable:
        std::fprintf(
            stderr, "InstanceLock: %s; starting without the single-instance check\n", lockError.toUtf8().constData());
        break;
    case InstanceLock::Result::Acquired:
        break;
    }

    PlatformServices::prepareEnvironment();
    // Before the application object: Qt reads the media backend once, at its first player.
    MediaPlayback::chooseBackend();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    // A tray-only program: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    // The quit ends within 5 s of its request, whatever a step of it waits for (a movie finishing
    // on a disk that stopped answering, Qt's teardown of a sound output whose server went away),
    // and also when a signal asks for it while the main thread is stuck.
    ExitDeadline::armWhenQuitting(app, std::chrono::seconds(5));
    Theme::install();
    Symbols::installIconTheme();

    PlatformServices::installLinux();

    QString error;
    const Platform platform = Platform::wired();
    // A store that cannot be opened ends the start (said on the console and in a notification).
    auto quorvel = QuorvelApp::create(platform, ModelContainer::defaultStorePath(), &error);
    if (!quorvel)
        return 1;

    TerminationSignals::install(app);
    QObject::connect(
        &app, &QCoreApplication::aboutToQuit, &app, [&quorvel] { quorvel->appDelegate().applicationWillTerminate(); });
    quorvel->showStatusItem();
    if (instanceLock.isHeld())
        quorvel->listenForSecondStart(InstanceLock::defaultPath());
    QTimer::singleShot(0, &app, [&quorvel] { quorvel->appDelegate().applicationDidFinishLaunching(); });
    const int status = app.exec();
    quorvel->appDelegate().applicationWillTerminate();
    // Content we still own on the clipboard (a paste, a copy from the history) would go with us:
    // the desktop's clipboard manager, when one runs, takes it over.
    platform.pasteboard.handOverToClipboardManager();
    // Pool work still running (text-line detections, decodes, encodes) ends before the process
    // does, while the objects its results reach still exist.
    Background::finishAtQuit();
    return status;
}
