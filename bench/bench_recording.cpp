// Screen recording at 1920 x 1080 and 30 fps, pinned to two cores (`taskset -c`): frames
// dropped and CPU seconds per recorded second for each x265 speed setting, and, where the ffmpeg
// program exists, the same figures for its own command line (x11grab + libx265, same settings) as
// the baseline. With an X display of at least 1920 x 1080 (xvfb-run -s "-screen 0 1920x1080x24")
// both record that display through X11 while a window plays the same busy desktop on it; without
// one the pipeline records a fake screen. QUORVEL_BENCH_SECONDS sets the recorded span (default
// 10; the figures in the README come from 30).
#include "fakes/FakeScreenSource.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/X11ScreenSource.h"
#include "recording/RecordingPipeline.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

const QSize movieSize(1920, 1080);
double s_ffmpegCpuPerSecond = 0; // the baseline, when measured

double recordSeconds()
{
    const double seconds = qEnvironmentVariable("QUORVEL_BENCH_SECONDS").toDouble();
    return seconds > 0 ? seconds : 10;
}

double cpuSeconds(int who)
{
    struct rusage usage { };
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

cpu_set_t s_recordingCores; // the two cores of the recording
cpu_set_t s_otherCores;     // the rest, for the desktop playing in the main thread

// Picks the first two cores this process may use for the recording; returns them as a taskset
// list ("0,1"). Threads inherit the affinity of the thread that starts them, so the recording is
// set up while the main thread is on those cores, and the main thread moves off them to play.
QString chooseTwoCores()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof(allowed), &allowed);
    CPU_ZERO(&s_recordingCores);
    CPU_ZERO(&s_otherCores);
    QStringList list;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        if (list.size() < 2) {
            CPU_SET(cpu, &s_recordingCores);
            list << QString::number(cpu);
        } else {
            CPU_SET(cpu, &s_otherCores);
        }
    }
    if (CPU_COUNT(&s_otherCores) == 0)
        s_otherCores = s_recordingCores;
    return list.join(',');
}

void mainThreadOn(const cpu_set_t& cores)
{
    sched_setaffinity(0, sizeof(cores), &cores);
}

// A second of a working desktop: windows with text, and a 640 x 360 video playing in one of them.
QList<QImage> desktopFrames()
{
    QImage desktop(movieSize, QImage::Format_RGB32);
    desktop.fill(QColor(40, 60, 90));
    QPainter painter(&desktop);
    painter.setFont(QFont(QStringLiteral("Sans"), 11));
    for (int w = 0; w < 4; ++w) {
        const QRect window(80 + w * 420, 80 + w * 120, 760, 560);
        painter.fillRect(window, QColor(245, 245, 245));
        painter.fillRect(window.adjusted(0, 0, 0, -530), QColor(210, 210, 215));
        painter.setPen(Qt::black);
        for (int line = 0; line < 24; ++line)
            painter.drawText(window.left() + 12, window.top() + 50 + line * 20,
                QStringLiteral("line %1 of a document that is being recorded, with some words in it").arg(line));
    }
    painter.end();
    QList<QImage> frames;
    for (int f = 0; f < 30; ++f) {
        QImage frame = desktop;
        QPainter video(&frame);
        for (int y = 0; y < 360; y += 8) {
            for (int x = 0; x < 640; x += 8)
                video.fillRect(1100 + x, 500 + y, 8, 8, QColor::fromHsv((x + y * 2 + f * 12) % 360, 200, 220));
        }
        frames.append(frame);
    }
    return frames;
}

// The encoder alone, as fast as it goes: frames per second of wall time on the two cores.
void encodeOnly(benchmark::State& state, const char* preset, const char* tune)
{
    const QList<QImage> frames = desktopFrames();
    for (auto _ : state) {
        QTemporaryDir dir;
        MovieSettings settings;
        settings.size = movieSize;
        settings.preset = QString::fromLatin1(preset);
        settings.tune = QString::fromLatin1(tune);
        FFmpegMovieWriter writer;
        QString error;
        auto movie = writer.create(dir.filePath(QStringLiteral("bench.mov")), settings, &error);
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        const int count = 150;
        for (int i = 0; i < count; ++i)
            movie->appendVideo(frames[i % frames.size()], i, &error);
        movie->finish(&error);
        state.counters["fps"] = count / (clock.nsecsElapsed() / 1e9);
        state.counters["cpu_s_per_s"] = (cpuSeconds(RUSAGE_SELF) - cpuBefore) / (count / 30.0);
    }
}

// The desktop frames played at 30 fps in a window over the top-left 1920 x 1080 of the display.
class DesktopWindow : public QRasterWindow {
public:
    explicit DesktopWindow(const QList<QImage>& frames)
        : m_frames(frames)
    {
        setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(QRect(QPoint(0, 0), movieSize));
        show();
        m_timer.setInterval(33);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            ++m_tick;
            update();
        });
        m_timer.start();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, m_frames[m_tick % m_frames.size()]); }

private:
    const QList<QImage>& m_frames;
    QTimer m_timer;
    int m_tick = 0;
};

// CPU seconds of the calling thread (the main thread plays the desktop, which is no part of
// the recording).
double threadCpuSeconds()
{
    return cpuSeconds(RUSAGE_THREAD);
}

// Runs the event loop (the desktop plays) for `seconds`.
void play(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::unique_ptr<X11ScreenSource> s_display; // set when a display of the bench's size exists
std::unique_ptr<DesktopWindow> s_desktop;

void recordWithPipeline(benchmark::State& state, const char* preset)
{
    const QList<QImage> frames = desktopFrames();
    const double seconds = recordSeconds();
    for (auto _ : state) {
        FakeScreenSource screen;
        screen.setScreen(frames.first());
        ScreenSource& source = s_display ? static_cast<ScreenSource&>(*s_display) : screen;
        QTemporaryDir dir;
        MovieSettings settings;
        settings.size = movieSize;
        settings.preset = QString::fromLatin1(preset);
        FFmpegMovieWriter writer;
        QString error;
        RecordingPipeline::Setup setup;
        mainThreadOn(s_recordingCores); // the encoder's threads start here
        setup.movie = writer.create(dir.filePath(QStringLiteral("bench.mov")), settings, &error);
        setup.grabber = source.rectGrabber(QRect(QPoint(0, 0), movieSize), &error);
        setup.pointerSource = s_display ? &source : nullptr;
        setup.frameSize = movieSize;
        RecordingPipeline pipeline(std::move(setup));
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        const double mainBefore = threadCpuSeconds();
        pipeline.start({}, &error);
        if (s_display) {
            mainThreadOn(s_otherCores);
            play(seconds);
            mainThreadOn(s_recordingCores);
        } else {
            for (int tick = 0; tick < int(seconds * 30); ++tick) {
                screen.setScreen(frames[tick % frames.size()]); // shares the pixels, costs nothing
                QThread::msleep(33);
            }
        }
        const RecordingPipeline::Summary summary = pipeline.stop();
        const double recordingCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore - (threadCpuSeconds() - mainBefore);
        const double cpuPerSecond = recordingCpu / summary.activeSeconds;
        state.counters["frames"] = double(summary.framesCaptured + summary.framesDropped);
        state.counters["dropped"] = double(summary.framesDropped);
        state.counters["cpu_s_per_s"] = cpuPerSecond;
        if (s_ffmpegCpuPerSecond > 0)
            state.counters["cpu_vs_ffmpeg"] = cpuPerSecond / s_ffmpegCpuPerSecond;
    }
}

// One X11 grab of 1920 x 1080 (MIT-SHM) with the pointer drawn in, while the desktop plays.
void grabOnly(benchmark::State& state)
{
    if (!s_display) {
        state.SkipWithError("no X display of 1920 x 1080");
        for (auto _ : state) {
        }
        return;
    }
    QString error;
    auto grabber = s_display->rectGrabber(QRect(QPoint(0, 0), movieSize), &error);
    for (auto _ : state) {
        QImage frame = grabber->grab(&error).copy();
        if (const auto cursor = s_display->cursor())
            RecordingPipeline::drawPointer(frame, *cursor, QPoint(0, 0));
        benchmark::DoNotOptimize(frame.constBits());
        QCoreApplication::processEvents();
    }
}

// ffmpeg's own command line on this display, pinned to the same cores (the baseline).
void recordWithFFmpeg(benchmark::State& state, const QString& cores)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    const QString display = qEnvironmentVariable("DISPLAY");
    if (ffmpeg.isEmpty() || !s_display) {
        state.SkipWithError("no ffmpeg program or no X display of 1920 x 1080");
        for (auto _ : state) {
        }
        return;
    }
    const double seconds = recordSeconds();
    for (auto _ : state) {
        QTemporaryDir dir;
        QProcess process;
        mainThreadOn(s_otherCores);
        process.start(QStringLiteral("taskset"), {QStringLiteral("-c"), cores, ffmpeg, QStringLiteral("-loglevel"),
            QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("x11grab"), QStringLiteral("-draw_mouse"),
            QStringLiteral("1"), QStringLiteral("-framerate"), QStringLiteral("30"), QStringLiteral("-video_size"),
            QStringLiteral("%1x%2").arg(movieSize.width()).arg(movieSize.height()), QStringLiteral("-i"), display,
            QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:v"), QStringLiteral("libx265"),
            QStringLiteral("-preset"), QStringLiteral("ultrafast"), 
            QStringLiteral("-b:v"), QStringLiteral("15M"), QStringLiteral("-x265-params"),
            QStringLiteral("log-level=error:frame-threads=2:bframes=0:keyint=60:min-keyint=60:scenecut=0"), QStringLiteral("-tag:v"),
            QStringLiteral("hvc1"), QStringLiteral("-movflags"), QStringLiteral("empty_moov+frag_keyframe"),
            dir.filePath(QStringLiteral("ffmpeg.mov"))});
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < seconds * 1000 + 60'000)
            play(0.05);
        mainThreadOn(s_recordingCores);
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        s_ffmpegCpuPerSecond = cpu / seconds;
        state.counters["cpu_s_per_s"] = s_ffmpegCpuPerSecond;
        state.counters["exit"] = process.exitCode();
    }
}

}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString cores = chooseTwoCores();
    mainThreadOn(s_recordingCores);
    const QList<QImage> frames = desktopFrames();
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        auto display = std::make_unique<X11ScreenSource>();
        const QList<ScreenMonitor> monitors = display->monitors();
        if (!monitors.isEmpty() && monitors.first().frame.width() >= movieSize.width()
            && monitors.first().frame.height() >= movieSize.height()) {
            s_display = std::move(display);
            mainThreadOn(s_otherCores);
            s_desktop = std::make_unique<DesktopWindow>(frames);
            play(0.5);
            mainThreadOn(s_recordingCores);
        }
    }
    std::printf("recording %s\n", s_display ? "the X display with a busy desktop playing" : "a fake screen");
    std::printf("recording bench pinned to cores %s, %.0f s per run\n", qPrintable(cores), recordSeconds());
    benchmark::RegisterBenchmark("grab_1920x1080_with_pointer", grabOnly)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ffmpeg_cli_x11grab_libx265", recordWithFFmpeg, cores)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
    for (const char* tune : {"zerolatency", ""}) {
        for (const char* preset : {"ultrafast", "superfast", "veryfast"}) {
            benchmark::RegisterBenchmark(
                (std::string("encode_only_") + preset + (*tune ? "_" : "") + tune).c_str(), encodeOnly, preset, tune)
                ->Iterations(1)
                ->UseRealTime()
                ->Unit(benchmark::kSecond);
        }
    }
    for (const char* preset : {"ultrafast", "superfast"}) {
        benchmark::RegisterBenchmark((std::string("quorvel_pipeline_") + preset).c_str(), recordWithPipeline, preset)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s_desktop.reset();
    s_display.reset();
    return 0;
}
