// Resident memory of the whole program, wired as main() wires it (the X11 screen, the FFmpeg movie
// writer, the Qt media player, a store in a temporary home), on a 3840 x 2160 X screen, after each
// of the big jobs a user runs: 20 full-screen captures, one 5 s screen recording of the screen,
// one play of that movie in the recordings window with the player closed, and 40 open/search
// cycles of the history panel over a store of 10,000 entries. VmRSS is read after each step.
// Aims: at most 150 MB after the captures, at most 200 MB after the recording, the play adds at
// most 20 MB once the player is closed, and the panel's cycles end within 10 MB of its first open.
//
// Without a display of that size it runs itself again under scripts/with-x11 on one. The store is
// filled by a child process first, so the measured process opens an existing store as a user's does.
#include "BenchSupport.h"
#include "app/PlatformServices.h"
#include "app/QuorvelApp.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "gallery/RecordingCard.h"
#include "gallery/RecordingQuickLook.h"
#include "gallery/RecordingsView.h"
#include "gallery/RecordingsWindowManager.h"
#include "history/HistoryView.h"
#include "history/ImageDecoding.h"
#include "history/SearchBar.h"
#include "history/WindowManager.h"
#include "platform/Background.h"
#include "platform/Keychain.h"
#include "platform/MediaPlayback.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/linux/FileKeychain.h"
#include "platform/linux/X11ScreenSource.h"
#include "recording/ScreenRecordingService.h"
#include "store/ModelContainer.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QProcess>
#include <QRandomGenerator>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {

// The program under measurement, once it is made.
QuorvelApp* quorvelApp = nullptr;

constexpr int kCaptures = 20;
constexpr int kRecordMs = 5000;
constexpr int kPanelCycles = 40;
constexpr int kEntries = 10000;

std::map<std::string, double> s_resident;
// The program under measurement (made in main).

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // As the program's event loop does: objects given to deleteLater go (a loop of
        // processEvents outside exec() would keep every one of them).
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(2);
    }
    return true;
}

void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

// Resident memory once the event loop has settled and the workers are idle.
double settledResident(benchmark::State& state, const std::string& step)
{
    Background::waitForAll();
    spin(500);
    const double resident = residentMiB();
    s_resident[step] = resident;
    state.counters["resident_MiB"] = resident;
    return resident;
}

// The child's work: 10,000 entries (texts of 200 to 2,000 characters, every fifth a PNG image with
// its thumbnail), sealed with a key kept in a file beside the store.
int fillStore(const QString& storePath)
{
    FileKeychain keychain(QFileInfo(storePath).path());
    ClipboardCryptoService crypto(keychain);
    crypto.ensureKey();
    QString error;
    auto container = ModelContainer::open(storePath, &error);
    if (!container) {
        std::fprintf(stderr, "bench_memory: store: %s\n", qPrintable(error));
        return 1;
    }
    container->setSealer(crypto);
    ModelContext& context = container->mainContext();
    insertHistoryEntries(context, kEntries);
    return context.save() ? 0 : 1;
}

void BM_Start(benchmark::State& state)
{
    for (auto _ : state)
        settledResident(state, "start");
}

void BM_FullScreenCaptures(benchmark::State& state)
{
    int saved = 0;
    NotificationCenter::shared().observe(
        NotificationNames::screenshotSaved, nullptr, [&saved](const QVariantMap&) { ++saved; });
    for (auto _ : state) {
        for (int i = 0; i < kCaptures; ++i) {
            const int target = saved + 1;
            quorvelApp->captureOverlay().beginFullScreenCapture();
            if (!waitUntil([&] { return saved >= target; }, 20000)) {
                state.SkipWithError("a capture was never stored");
                break;
            }
        }
        settledResident(state, "captures");
    }
    state.counters["captures"] = saved;
}

void BM_ScreenRecording(benchmark::State& state)
{
    ScreenRecordingService& recorder = quorvelApp->recorder();
    bool stopped = false;
    QObject::connect(&recorder, &ScreenRecordingService::stopped, [&stopped] { stopped = true; });
    for (auto _ : state) {
        const QList<ScreenMonitor> monitors = ScreenSource::shared().monitors();
        recorder.startRecording(ScreenRecordingService::DisplayTarget {monitors.first().displayID}, false);
        if (!waitUntil([&] { return recorder.isRecording(); }, 10000)) {
            state.SkipWithError("the recording never started");
            break;
        }
        spin(kRecordMs);
        recorder.stopRecording();
        if (!waitUntil([&] { return stopped && !recorder.isBusy(); }, 60000)) {
            state.SkipWithError("the recording never stopped");
            break;
        }
        settledResident(state, "recording");
    }
}

// The application under measure (set by main()).

void BM_PlayInRecordingsWindow(benchmark::State& state)
{
    for (auto _ : state) {
        quorvelApp->recordingsWindows().showRecordings();
        QWidget* window = quorvelApp->recordingsWindows().window();
        RecordingCard* card = nullptr;
        waitUntil(
            [&] {
                auto* view = window ? window->findChild<RecordingsView*>() : nullptr;
                const auto items = view ? view->items() : std::vector<RecordingItemPtr>();
                card = items.empty() ? nullptr : view->cardFor(items.front()->persistentID);
                return card != nullptr;
            },
            15000);
        if (!card) {
            state.SkipWithError("the recordings window shows no recording");
            break;
        }
        card->play();
        RecordingQuickLook* player = RecordingQuickLook::current();
        // The movie is checked and opened off the main thread: the player comes a moment later.
        if (!player || !waitUntil([&] { return player->player() != nullptr; }, 15000)
            || !waitUntil([&] { return player->player()->duration() > 0 && player->player()->position() > 0; }, 15000)) {
            state.SkipWithError("the movie never played");
            break;
        }
        // To its end (or a little more than the recording's length).
        waitUntil([&] { return player->player()->mediaStatus() == QMediaPlayer::EndOfMedia; }, kRecordMs + 3000);
        player->close();
        window->close();
        waitUntil([] { return !RecordingQuickLook::current(); }, 5000);
        settledResident(state, "played");
    }
}

void BM_HistoryPanelCycles(benchmark::State& state)
{
    WindowManager& windows = quorvelApp->historyWindows();
    static const QStringList searches {QStringLiteral("invoice"), QStringLiteral("meeting notes"),
        QStringLiteral("Straße"), QStringLiteral("zzz"), QStringLiteral("a")};
    for (auto _ : state) {
        for (int cycle = 0; cycle < kPanelCycles; ++cycle) {
            windows.showHistoryWindow();
            HistoryView* view = windows.historyPanel() ? windows.historyPanel()->findChild<HistoryView*>() : nullptr;
            if (!view) {
                state.SkipWithError("no history panel");
                return;
            }
            spin(100);
            ImageDecoding::waitForDecodes();
            if (cycle == 0)
                settledResident(state, "panel_first_open");
            const QString text = searches.at(cycle % searches.size());
            view->searchBar()->setText(text);
            emit view->searchBar()->textChanged(text);
            spin(250);
            ImageDecoding::waitForDecodes();
            windows.hideHistoryWindow();
            spin(50);
        }
        settledResident(state, "panel_cycles");
    }
}

// Runs this program again on a private 3840 x 2160 Xvfb display.
int runOnBigScreen(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("QUORVEL_BENCH_MEMORY_RERUN")) {
        std::fprintf(stderr, "bench_memory needs a 3840 x 2160 X screen\n");
        return 1;
    }
    const QByteArray script = QByteArray(QUORVEL_SOURCE_DIR) + "/scripts/with-x11";
    std::vector<char*> args {const_cast<char*>(script.constData())};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    qputenv("QUORVEL_BENCH_MEMORY_RERUN", "1");
    qputenv("QUORVEL_X11_SCREEN", "3840x2160x24");
    execv(script.constData(), args.data());
    std::perror("bench_memory: scripts/with-x11");
    return 1;
}

bool onBigScreen()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    X11ScreenSource probe;
    QRect bounds;
    for (const ScreenMonitor& monitor : probe.monitors())
        bounds = bounds.united(monitor.frame);
    return bounds.width() >= 3840 && bounds.height() >= 2160;
}

void printSummary()
{
    auto at = [](const char* step) { return s_resident.count(step) ? s_resident[step] : -1.0; };
    std::printf("\nResident memory (VmRSS, MiB):\n");
    std::printf("  at start                                %7.1f\n", at("start"));
    std::printf("  after %d full-screen captures           %7.1f   aim: at most 150 MB (143 MiB)\n", kCaptures,
        at("captures"));
    std::printf("  after one 5 s screen recording          %7.1f   aim: at most 200 MB (191 MiB)\n", at("recording"));
    std::printf("  after one play, player closed           %7.1f   %+.1f; aim: at most +20 MB (19 MiB)\n",
        at("played"), at("played") - at("recording"));
    std::printf("  history panel, first open               %7.1f\n", at("panel_first_open"));
    std::printf("  after %d open/search cycles             %7.1f   %+.1f; aim: within 10 MB (9.5 MiB)\n",
        kPanelCycles, at("panel_cycles"), at("panel_cycles") - at("panel_first_open"));
}

}

BENCHMARK(BM_Start)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullScreenCaptures)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScreenRecording)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayInRecordingsWindow)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryPanelCycles)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--fill-store") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return fillStore(QString::fromLocal8Bit(argv[2]));
    }
    if (!onBigScreen())
        return runOnBigScreen(argc, argv);

    // A home of its own: preferences, key file, store and movies stay out of the user's.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QDir(home.path()).filePath(QString::fromLatin1(variable)).toLocal8Bit());
    const QString storePath = QDir(home.path()).filePath(QStringLiteral("Quorvel.store"));
    {
        QProcess filler;
        filler.setProcessChannelMode(QProcess::ForwardedChannels);
        filler.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--fill-store"), storePath});
        if (!filler.waitForFinished(600000) || filler.exitCode() != 0) {
            std::fprintf(stderr, "bench_memory: filling the store failed\n");
            return 1;
        }
    }

    PlatformServices::prepareEnvironment();
    MediaPlayback::chooseBackend();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setQuitOnLastWindowClosed(false);
    Theme::install();
    Symbols::installIconTheme();
    PlatformServices::installLinux();
    // The key in a file beside the store, as the filling child wrote it (no keyring prompts).
    Keychain::setShared(new FileKeychain(home.path()));
    QString error;
    auto quorvel = QuorvelApp::create(Platform::wired(), storePath, &error);
    if (!quorvel) {
        std::fprintf(stderr, "bench_memory: %s\n", qPrintable(error));
        return 1;
    }
    quorvelApp = quorvel.get();
    quorvel->appDelegate().applicationDidFinishLaunching();
    spin(1000);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary();
    benchmark::Shutdown();
    Background::waitForAll();
    quorvel->appDelegate().applicationWillTerminate();
    return 0;
}
