// Screen recording at 1920 x 1080 and 30 fps, pinned to two cores (as `taskset -c` would): frames
// dropped and CPU seconds per recorded second for each x265 speed setting, and, where the ffmpeg
// program exists, the same figures for its own command line (x11grab + libx265, same settings) on
// this display as the baseline. QUORVEL_BENCH_SECONDS sets the recorded span (default 10; the
// figures in the README come from 30).
#include "fakes/FakeScreenSource.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "recording/RecordingPipeline.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
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

// The first two cores this process may use, as a taskset list ("0,1").
QString pinToTwoCores()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof(allowed), &allowed);
    cpu_set_t two;
    CPU_ZERO(&two);
    QStringList list;
    for (int cpu = 0; cpu < CPU_SETSIZE && list.size() < 2; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &two);
            list << QString::number(cpu);
        }
    }
    sched_setaffinity(0, sizeof(two), &two);
    return list.join(',');
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

void recordWithPipeline(benchmark::State& state, const char* preset)
{
    const QList<QImage> frames = desktopFrames();
    const double seconds = recordSeconds();
    for (auto _ : state) {
        FakeScreenSource screen;
        screen.setScreen(frames.first());
        QTemporaryDir dir;
        MovieSettings settings;
        settings.size = movieSize;
        settings.preset = QString::fromLatin1(preset);
        FFmpegMovieWriter writer;
        QString error;
        RecordingPipeline::Setup setup;
        setup.movie = writer.create(dir.filePath(QStringLiteral("bench.mov")), settings, &error);
        setup.grabber = screen.rectGrabber(QRect(QPoint(0, 0), movieSize), &error);
        setup.frameSize = movieSize;
        RecordingPipeline pipeline(std::move(setup));
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        pipeline.start({}, &error);
        for (int tick = 0; tick < int(seconds * 30); ++tick) {
            screen.setScreen(frames[tick % frames.size()]); // shares the pixels, costs nothing
            QThread::msleep(33);
        }
        const RecordingPipeline::Summary summary = pipeline.stop();
        const double cpuPerSecond = (cpuSeconds(RUSAGE_SELF) - cpuBefore) / summary.activeSeconds;
        state.counters["frames"] = double(summary.framesCaptured + summary.framesDropped);
        state.counters["dropped"] = double(summary.framesDropped);
        state.counters["cpu_s_per_s"] = cpuPerSecond;
        if (s_ffmpegCpuPerSecond > 0)
            state.counters["cpu_vs_ffmpeg"] = cpuPerSecond / s_ffmpegCpuPerSecond;
    }
}

// ffmpeg's own command line on this display, pinned to the same cores (the baseline).
void recordWithFFmpeg(benchmark::State& state, const QString& cores)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    const QString display = qEnvironmentVariable("DISPLAY");
    if (ffmpeg.isEmpty() || display.isEmpty()) {
        state.SkipWithError("no ffmpeg program or no X display");
        for (auto _ : state) {
        }
        return;
    }
    const double seconds = recordSeconds();
    for (auto _ : state) {
        QTemporaryDir dir;
        QProcess process;
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
        process.waitForFinished(int(seconds * 1000) + 60'000);
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        s_ffmpegCpuPerSecond = cpu / seconds;
        state.counters["cpu_s_per_s"] = s_ffmpegCpuPerSecond;
        state.counters["exit"] = process.exitCode();
    }
}

}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString cores = pinToTwoCores();
    std::printf("recording bench pinned to cores %s, %.0f s per run\n", qPrintable(cores), recordSeconds());
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
    return 0;
}
