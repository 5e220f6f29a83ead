// From the begin call of an area capture to every overlay painted with its frozen snapshot, for two
// 1920 x 1080 monitors and for one 3840 x 2160 monitor, against grabbing the same pixels alone in the
// same run; with the growth of the resident memory while the overlay shows.
//
// Needs a real X screen of 3840 x 2160:
//   QUORVEL_X11_SCREEN=3840x2160x24 scripts/with-x11 build/bench/bench_overlay
#include "BenchSupport.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "platform/Background.h"
#include "platform/linux/X11ScreenSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <cstdio>

namespace {

X11ScreenSource* source = nullptr;
// The capture area over the X screen, the rest on fakes.
CaptureRig* capture = nullptr;

bool xrandr(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xrandr"), args) == 0;
}

// Two 1920 x 1080 monitors side by side, or the whole screen as one.
void layMonitors(bool split)
{
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("xrandr --delmonitor B; xrandr --delmonitor A") + QStringLiteral(" 2>/dev/null")});
    if (split) {
        xrandr({QStringLiteral("--setmonitor"), QStringLiteral("A"), QStringLiteral("1920/508x1080/286+0+0"),
            QStringLiteral("screen")});
        xrandr({QStringLiteral("--setmonitor"), QStringLiteral("B"), QStringLiteral("1920/508x1080/286+1920+0"),
            QStringLiteral("none")});
    }
    QThread::msleep(100);
    QCoreApplication::processEvents();
}

void waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_BeginToOverlaysPainted(benchmark::State& state)
{
    layMonitors(state.range(0) == 2);
    CaptureOverlayWindowManager& manager = capture->overlay;
    double growth = 0;
    for (auto _ : state) {
        bool presented = false;
        const QMetaObject::Connection c = QObject::connect(
            &manager, &CaptureOverlayWindowManager::overlaysPresented, [&presented] { presented = true; });
        const double before = residentMiB();
        manager.beginAreaSelection(false);
        waitUntil([&] { return presented; });
        state.PauseTiming();
        growth = std::max(growth, residentMiB() - before);
        QObject::disconnect(c);
        if (!presented)
            state.SkipWithError("the overlays never painted");
        manager.dismissAll();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.ResumeTiming();
    }
    state.counters["monitors"] = double(source->monitors().size());
    state.counters["memory_growth_MiB"] = growth;
}

void BM_GrabSamePixels(benchmark::State& state)
{
    layMonitors(state.range(0) == 2);
    const QList<ScreenMonitor> monitors = source->monitors();
    for (auto _ : state) {
        for (const ScreenMonitor& monitor : monitors)
            benchmark::DoNotOptimize(source->grabRect(monitor.frame));
    }
    state.counters["monitors"] = double(monitors.size());
}

}

BENCHMARK(BM_GrabSamePixels)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_BeginToOverlaysPainted)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    X11ScreenSource screen;
    source = &screen;
    ScreenSource::setShared(&screen);
    CaptureRig rig({&screen, nullptr, nullptr, nullptr});
    capture = &rig;
    const QList<ScreenMonitor> monitors = screen.monitors();
    QRect bounds;
    for (const ScreenMonitor& monitor : monitors)
        bounds = bounds.united(monitor.frame);
    if (bounds.width() < 3840 || bounds.height() < 2160) {
        std::fprintf(stderr, "bench_overlay needs a 3840 x 2160 X screen (QUORVEL_X11_SCREEN=3840x2160x24 "
                             "scripts/with-x11 ...)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* arg : {"2", "1"}) {
        const double overlay = reporter.times["BM_BeginToOverlaysPainted/" + std::string(arg) + "/iterations:20"];
        const double grab = reporter.times["BM_GrabSamePixels/" + std::string(arg) + "/iterations:20"];
        if (grab > 0)
            std::printf("%s monitor(s): overlay painted in %.1f ms, %.2f x the grab alone (%.1f ms); aim: 100 ms "
                        "and 2 x\n",
                arg, overlay, overlay / grab, grab);
    }
    layMonitors(false);
    benchmark::Shutdown();
    return 0;
}
