// Screen recording at 1920 x 1080 and 30 fps on two cores: Quorvel's pipeline against ffmpeg's
// own command line doing the same work (x11grab, 4:2:0, libx265 ultrafast, 15 Mbit/s, a key frame
// every 60 frames, no B-frames, x265's pools and frame threads as the writer chooses them for two
// cores), and against SimpleScreenRecorder's command line with the same x265 settings (its own
// threads) where it is installed. All are held on the two cores by a cpuset cgroup (x265 sets its
// threads' affinity itself, so `taskset` cannot hold them; where no cpuset can be made, the
// affinity is the fallback and the run says so), and the cores their threads ran on are read from
// /proc while they run (as `ps -L -o psr` shows them). Printed for each: the frames kept (for
// ffmpeg the frames of its movie less the repeats it padded in when it fell behind, "dup=" in its
// stats; for SimpleScreenRecorder the frames of its movie, whose gaps are its drops) and the CPU
// seconds per kept frame. With an X display of at least 1920 x 1080 (xvfb-run -s "-screen 0
// 1920x1080x24") they record that display while a window on the other cores plays a busy
// desktop; without one the pipeline records a fake screen.
// QUORVEL_BENCH_SECONDS sets the recorded span (default 10; the README's figures come from 30),
// QUORVEL_BENCH_CORES the two cores ("6,7"; default the first two this process may use), and
// QUORVEL_BENCH_BUSY other work on them that comes and goes ("1.5,2": busy 1.5 s, idle 2 s).
#include "fakes/FakeScreenSource.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/X11ScreenSource.h"
#include "recording/RecordingPipeline.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <set>
#include <sys/syscall.h>
#include <unistd.h>
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
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sched.h>
#include <sys/resource.h>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

const QSize movieSize(1920, 1080);
double s_ffmpegCpuPerFrame = 0; // the baseline, when measured

double recordSeconds()
{
    const double seconds = qEnvironmentVariable("QUORVEL_BENCH_SECONDS").toDouble();
    return seconds > 0 ? seconds : 10;
}

double cpuSeconds(int who)
{
    struct rusage usage { };
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
    const QStringList wanted = qEnvironmentVariable("QUORVEL_BENCH_CORES").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        const bool chosen = wanted.isEmpty() ? list.size() < 2 : wanted.contains(QString::number(cpu));
        if (chosen) {
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

// A cpuset cgroup (v1) of the two cores, with a cpuacct cgroup beside it that counts the CPU time
// of everything in it, threads that have ended included. Threads and processes inherit the
// cgroups of the thread that starts them, so the main thread joins them to set a recording up
// (and to finish it) and leaves them to play the desktop.
class CoreSet {
public:
    explicit CoreSet(const QString& cores)
    {
        const QString name = QStringLiteral("/quorvel-bench-%1").arg(getpid());
        m_cpuset = QStringLiteral("/sys/fs/cgroup/cpuset") + name;
        m_cpuacct = QStringLiteral("/sys/fs/cgroup/cpuacct") + name;
        m_ok = QDir().mkpath(m_cpuset) && QDir().mkpath(m_cpuacct)
            && write(m_cpuset + QStringLiteral("/cpuset.cpus"), cores.toLatin1())
            && write(
                m_cpuset + QStringLiteral("/cpuset.mems"), read(QStringLiteral("/sys/fs/cgroup/cpuset/cpuset.mems")));
    }
    ~CoreSet()
    {
        QDir().rmdir(m_cpuset);
        QDir().rmdir(m_cpuacct);
    }
    bool ok() const { return m_ok; }
    void enter()
    {
        m_ok = m_ok && write(m_cpuset + QStringLiteral("/tasks"), QByteArray::number(tid()))
            && write(m_cpuacct + QStringLiteral("/tasks"), QByteArray::number(tid()));
    }
    void leave()
    {
        write(QStringLiteral("/sys/fs/cgroup/cpuset/tasks"), QByteArray::number(tid()));
        write(QStringLiteral("/sys/fs/cgroup/cpuacct/tasks"), QByteArray::number(tid()));
    }
    // CPU seconds of everything that ran in the set since the last call.
    double takeCpuSeconds()
    {
        const double total = read(m_cpuacct + QStringLiteral("/cpuacct.usage")).toDouble() / 1e9;
        const double since = total - m_counted;
        m_counted = total;
        return since;
    }

private:
    static long tid() { return syscall(SYS_gettid); }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    }
    static bool write(const QString& path, const QByteArray& value)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(value) == value.size() && file.flush();
    }
    QString m_cpuset;
    QString m_cpuacct;
    double m_counted = 0;
    bool m_ok = false;
};
std::unique_ptr<CoreSet> s_coreSet;
QString s_cores;

// Holds the calling thread (and what it starts) on the two cores, or lets it go.
void holdOnRecordingCores(bool hold)
{
    if (hold) {
        if (s_coreSet)
            s_coreSet->enter();
        mainThreadOn(s_recordingCores);
    } else {
        if (s_coreSet)
            s_coreSet->leave();
        mainThreadOn(s_otherCores);
    }
}

// The cores the threads of process `pid` in the bench's cpuset (all of them when there is none)
// last ran on: field 39 of /proc/<pid>/task/<tid>/stat.
void noteCores(qint64 pid, std::set<int>& seen)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cpuset(tasks.filePath(tid + QStringLiteral("/cpuset")));
        if (s_coreSet && (!cpuset.open(QIODevice::ReadOnly) || !cpuset.readAll().contains("quorvel-bench")))
            continue;
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 36)
            seen.insert(fields[36].toInt()); // field 39 counted from the pid
    }
}

QString coreList(const std::set<int>& cores)
{
    QStringList list;
    for (int core : cores)
        list << QString::number(core);
    return list.join(',');
}

// Other programs' work on the two cores that comes and goes (QUORVEL_BENCH_BUSY="1.5,2": busy for
// 1.5 s, then idle for 2 s, on both cores at once): one process per core, each in a session of its
// own, so that the scheduler shares each core between it and the recorder as between two programs.
// They stay out of the bench's cgroups, so their time is not counted.
class CompetingLoad {
public:
    CompetingLoad(const cpu_set_t& cores, double busy, double idle)
    {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (!CPU_ISSET(cpu, &cores))
                continue;
            const pid_t pid = fork();
            if (pid == 0)
                run(cpu, busy, idle);
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~CompetingLoad()
    {
        for (const pid_t pid : m_pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    // Only calls that are safe in the child of a process with threads.
    [[noreturn]] static void run(int cpu, double busy, double idle)
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setsid();
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        sched_setaffinity(0, sizeof(one), &one);
        const double period = busy + idle;
        for (;;) {
            timespec now {};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const double phase = std::fmod(double(now.tv_sec) + double(now.tv_nsec) / 1e9, period);
            if (phase < busy)
                continue; // busy
            const double rest = period - phase;
            const timespec pause {time_t(rest), long((rest - double(time_t(rest))) * 1e9)};
            nanosleep(&pause, nullptr);
        }
    }
    std::vector<pid_t> m_pids;
};

// The frames ffmpeg padded in as repeats of the one before, from the last "dup=" of its stats.
int paddedRepeats(const QByteArray& log)
{
    const int at = log.lastIndexOf("dup=");
    return at < 0 ? 0 : log.mid(at + 4, 12).trimmed().split(' ').value(0).toInt();
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

// The sound track alone: 60 s of a stereo tone handed over in 10 ms blocks (as the sound server
// delivers them), with one 250 ms gap the writer fills with silence; CPU microseconds per second
// of sound, queueing and AAC encoding together.
void encodeAudioOnly(benchmark::State& state)
{
    const int rate = 48'000;
    const int block = rate / 100;
    std::vector<float> sound(size_t(2 * block));
    for (auto _ : state) {
        QTemporaryDir dir;
        MovieSettings settings;
        settings.size = QSize(64, 64);
        settings.audio = true;
        FFmpegMovieWriter writer;
        QString error;
        auto movie = writer.create(dir.filePath(QStringLiteral("bench.mov")), settings, &error);
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        qint64 at = 0;
        for (int b = 0; b < 6000; ++b) {
            for (int s = 0; s < block; ++s)
                sound[size_t(2 * s)] = sound[size_t(2 * s + 1)] = 0.5f
                    * float(std::sin(2 * M_PI * 440 * double(at + s) / rate));
            movie->appendAudio(sound.data(), block, at, &error);
            at += block + (b == 3000 ? rate / 4 : 0);
        }
        QImage picture(64, 64, QImage::Format_RGB32);
        picture.fill(Qt::black);
        movie->appendVideo(picture, 0, &error);
        movie->finish(&error);
        state.counters["cpu_us_per_audio_s"] = (cpuSeconds(RUSAGE_SELF) - cpuBefore) * 1e6 / (double(at) / rate);
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

// The hand-off as it was: the grab copied out of the shared memory, then copied again to crop,
// before the conversion.
class CopyingGrabber : public FrameGrabber {
public:
    explicit CopyingGrabber(std::unique_ptr<FrameGrabber> inner)
        : m_inner(std::move(inner))
    {
    }
    QImage grab(QString* error) override { return m_inner->grab(error).copy().copy(QRect(QPoint(0, 0), movieSize)); }
    QSize frameSize() const override { return m_inner->frameSize(); }

private:
    std::unique_ptr<FrameGrabber> m_inner;
};

// `queue`: the frames that may wait for the encoder; 0 for the recorder's own rule.
void recordWithPipeline(benchmark::State& state, const char* preset, bool copying, int queue)
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
        holdOnRecordingCores(true); // the encoder's threads start here
        setup.movie = writer.create(dir.filePath(QStringLiteral("bench.mov")), settings, &error);
        setup.grabber = source.rectGrabber(QRect(QPoint(0, 0), movieSize), &error);
        if (copying)
            setup.grabber = std::make_unique<CopyingGrabber>(std::move(setup.grabber));
        setup.pointerSource = s_display ? &source : nullptr;
        setup.frameSize = movieSize;
        setup.queueCapacity = queue > 0 ? queue : RecordingPipeline::queueCapacityFor(movieSize);
        const int capacity = setup.queueCapacity;
        RecordingPipeline pipeline(std::move(setup));
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        const double mainBefore = threadCpuSeconds();
        if (s_coreSet)
            s_coreSet->takeCpuSeconds();
        pipeline.start({}, &error);
        holdOnRecordingCores(false);
        std::set<int> cores;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000) {
            if (s_display) {
                play(0.25);
            } else {
                screen.setScreen(frames[int(clock.elapsed() / 33) % frames.size()]); // shares the pixels
                QThread::msleep(33);
            }
            noteCores(getpid(), cores);
        }
        holdOnRecordingCores(true); // finishing the movie counts too
        const RecordingPipeline::Summary summary = pipeline.stop();
        // Everything in the cpuset; without one, the process less the thread playing the desktop.
        const double recordingCpu = s_coreSet ? s_coreSet->takeCpuSeconds()
                                              : cpuSeconds(RUSAGE_SELF) - cpuBefore - (threadCpuSeconds() - mainBefore);
        holdOnRecordingCores(false);
        const double cpuPerFrame = recordingCpu / double(std::max<qint64>(1, summary.framesCaptured));
        state.counters["frames_kept"] = double(summary.framesCaptured);
        state.counters["dropped"] = double(summary.framesDropped);
        state.counters["cpu_ms_per_frame"] = cpuPerFrame * 1000;
        state.counters["cpu_s_per_s"] = recordingCpu / summary.activeSeconds;
        if (s_ffmpegCpuPerFrame > 0)
            state.counters["cpu_per_frame_vs_ffmpeg"] = cpuPerFrame / s_ffmpegCpuPerFrame;
        std::printf(
            "quorvel %s%s, queue of %d: %lld frames kept, %lld dropped, %.1f CPU ms per kept frame, threads ran "
            "on cores %s\n",
            preset, copying ? " (two copies per grab)" : "", capacity, qint64(summary.framesCaptured),
            qint64(summary.framesDropped), cpuPerFrame * 1000, qPrintable(coreList(cores)));
    }
}

// One X11 grab of 1920 x 1080 (MIT-SHM) with the pointer drawn in, while the desktop plays.
void grabOnly(benchmark::State& state)
{
    if (!s_display) {
        state.SkipWithError("no X display of 1920 x 1080");
        for (auto _ : state) { }
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

// ffmpeg's own command line on this display, held on the same cores, doing the same work (the
// baseline): 4:2:0, the same preset, bit rate, key frames, x265 threads as the writer chooses for
// two cores, and fragments of 10 s.
void recordWithFFmpeg(benchmark::State& state)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    const QString display = qEnvironmentVariable("DISPLAY");
    if (ffmpeg.isEmpty() || !s_display) {
        state.SkipWithError("no ffmpeg program or no X display of 1920 x 1080");
        for (auto _ : state) { }
        return;
    }
    const double seconds = recordSeconds();
    for (auto _ : state) {
        QTemporaryDir dir;
        QProcess process;
        const QString movie = dir.filePath(QStringLiteral("ffmpeg.mov"));
        holdOnRecordingCores(true); // ffmpeg starts in the cpuset
        if (s_coreSet)
            s_coreSet->takeCpuSeconds();
        process.start(QStringLiteral("taskset"),
            {QStringLiteral("-c"), s_cores, ffmpeg, QStringLiteral("-loglevel"), QStringLiteral("info"),
                QStringLiteral("-stats"), QStringLiteral("-f"), QStringLiteral("x11grab"),
                QStringLiteral("-draw_mouse"), QStringLiteral("1"), QStringLiteral("-framerate"), QStringLiteral("30"),
                QStringLiteral("-video_size"), QStringLiteral("%1x%2").arg(movieSize.width()).arg(movieSize.height()),
                QStringLiteral("-i"), display, QStringLiteral("-t"), QString::number(seconds),
                QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                QStringLiteral("libx265"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                QStringLiteral("-b:v"), QStringLiteral("15M"), QStringLiteral("-x265-params"),
                QStringLiteral("log-level=error:%1:bframes=0:keyint=60:min-keyint=60:scenecut=0")
                    .arg(QString::fromLatin1(x265ThreadParams(CPU_COUNT(&s_recordingCores)))),
                QStringLiteral("-tag:v"), QStringLiteral("hvc1"), QStringLiteral("-movflags"),
                QStringLiteral("empty_moov"), QStringLiteral("-frag_duration"), QStringLiteral("10000000"), movie});
        process.waitForStarted();
        holdOnRecordingCores(false);
        std::set<int> cores;
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < seconds * 1000 + 60'000) {
            play(0.25);
            noteCores(process.processId(), cores);
        }
        const double cpu = s_coreSet ? s_coreSet->takeCpuSeconds() : cpuSeconds(RUSAGE_CHILDREN);
        FFmpegMovieReader reader;
        int all = 0;
        if (reader.open(movie, nullptr))
            reader.readVideo(
                0, QSize(64, 36), [&all](const QImage&, double) { return ++all, true; }, nullptr);
        const int kept = all - paddedRepeats(process.readAllStandardError());
        s_ffmpegCpuPerFrame = cpu / std::max(1, kept);
        state.counters["frames_kept"] = kept;
        state.counters["frames_in_movie"] = all;
        state.counters["cpu_ms_per_frame"] = s_ffmpegCpuPerFrame * 1000;
        state.counters["wall_s"] = double(clock.elapsed()) / 1000.0;
        state.counters["exit"] = process.exitCode();
        std::printf("ffmpeg: %d distinct frames kept of %d in its movie (the rest padded repeats), %.1f CPU ms per "
                    "kept frame, %.1f s of wall "
                    "time, threads ran on cores %s\n",
            kept, all, s_ffmpegCpuPerFrame * 1000, double(clock.elapsed()) / 1000.0, qPrintable(coreList(cores)));
    }
}

}

// SimpleScreenRecorder's command line on this display, held on the same cores, with the same x265
// settings as the others, run only where it is installed. Its threads are its own choice: it asks
// for as many frame threads as the machine has cores online (eight here, the cpuset of two
// notwithstanding), and x265 makes a pool as large. It skips the frames it cannot take (frame
// skipping on, so it pads nothing), which leaves gaps in its movie's timestamps: its drops are the
// ticks of a 30 fps clock over the span of its movie that have no frame.
void recordWithSimpleScreenRecorder(benchmark::State& state)
{
    const QString ssr = QStandardPaths::findExecutable(QStringLiteral("simplescreenrecorder"));
    if (ssr.isEmpty() || !s_display) {
        state.SkipWithError("no simplescreenrecorder program or no X display of 1920 x 1080");
        for (auto _ : state) { }
        return;
    }
    const double seconds = recordSeconds();
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString movie = dir.filePath(QStringLiteral("ssr.mov"));
        QFile settings(dir.filePath(QStringLiteral("settings.conf")));
        if (!settings.open(QIODevice::WriteOnly))
            return state.SkipWithError("the settings of simplescreenrecorder cannot be written");
        settings.write(QStringLiteral(
            "[input]\naudio_enabled=false\nvideo_area=fixed\nvideo_area_follow_fullscreen=false\n"
            "video_x=0\nvideo_y=0\nvideo_w=%1\nvideo_h=%2\nvideo_frame_rate=30\nvideo_record_cursor=true\n"
            "video_scale=false\n\n[output]\nfile=%3\nadd_timestamp=false\nseparate_files=false\n"
            "container=other\ncontainer_av=mov\nvideo_codec=other\nvideo_codec_av=libx265\n"
            "video_kbit_rate=15000\nvideo_options=\"preset=ultrafast,keyint=60,"
            "x265-params=log-level=error:bframes=0:keyint=60:min-keyint=60:scenecut=0\"\n"
            "video_allow_frame_skipping=true\n\n[welcome]\nskip_page=true\n")
                           .arg(movieSize.width())
                           .arg(movieSize.height())
                           .arg(movie)
                           .toUtf8());
        settings.close();
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!environment.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")))
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                QStringLiteral("disabled:")); // no bus launched that outlives it
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice()); // its log is in log.txt
        process.setStandardErrorFile(QProcess::nullDevice());
        holdOnRecordingCores(true); // it starts in the cpuset
        if (s_coreSet)
            s_coreSet->takeCpuSeconds();
        process.start(QStringLiteral("taskset"),
            {QStringLiteral("-c"), s_cores, ssr, QStringLiteral("--settingsfile=") + settings.fileName(),
                QStringLiteral("--logfile=") + dir.filePath(QStringLiteral("log.txt")),
                QStringLiteral("--statsfile=") + dir.filePath(QStringLiteral("stats")), QStringLiteral("--no-systray"),
                QStringLiteral("--start-hidden"), QStringLiteral("--start-recording")});
        process.waitForStarted();
        holdOnRecordingCores(false);
        std::set<int> cores;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000) {
            play(0.25);
            noteCores(process.processId(), cores);
        }
        process.write("record-save\nquit\n"); // the movie is finished before the next command is read
        while (process.state() != QProcess::NotRunning && clock.elapsed() < seconds * 1000 + 60'000)
            play(0.25);
        const double cpu = s_coreSet ? s_coreSet->takeCpuSeconds() : cpuSeconds(RUSAGE_CHILDREN);
        FFmpegMovieReader reader;
        int kept = 0;
        double first = -1;
        double last = 0;
        if (reader.open(movie, nullptr)) {
            reader.readVideo(
                0, QSize(64, 36),
                [&](const QImage&, double at) {
                    first = first < 0 ? at : first;
                    last = at;
                    return ++kept, true;
                },
                nullptr);
        }
        const int ticks = kept > 0 ? int(std::lround((last - first) * 30)) + 1 : 0;
        const double cpuPerFrame = cpu / std::max(1, kept);
        state.counters["frames_kept"] = kept;
        state.counters["dropped"] = ticks - kept;
        state.counters["cpu_ms_per_frame"] = cpuPerFrame * 1000;
        if (s_ffmpegCpuPerFrame > 0)
            state.counters["cpu_per_frame_vs_ffmpeg"] = cpuPerFrame / s_ffmpegCpuPerFrame;
        state.counters["exit"] = process.exitCode();
        std::printf("simplescreenrecorder: %d frames kept, %d dropped (of %d ticks over %.1f s of movie), %.1f CPU ms "
                    "per kept frame, threads "
                    "ran on cores %s\n",
            kept, ticks - kept, ticks, last - first, cpuPerFrame * 1000, qPrintable(coreList(cores)));
    }
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    s_cores = chooseTwoCores();
    s_coreSet = std::make_unique<CoreSet>(s_cores);
    if (!s_coreSet->ok()) {
        std::printf("no cpuset cgroup could be made: held by affinity only, which x265's threads leave\n");
        s_coreSet.reset();
    }
    std::unique_ptr<CompetingLoad> load;
    const QStringList busy = qEnvironmentVariable("QUORVEL_BENCH_BUSY").split(QLatin1Char(','));
    if (busy.size() == 2 && busy[0].toDouble() > 0 && busy[1].toDouble() > 0) {
        load = std::make_unique<CompetingLoad>(s_recordingCores, busy[0].toDouble(), busy[1].toDouble());
        std::printf("other work on the cores: busy for %.1f s of every %.1f s\n", busy[0].toDouble(),
            busy[0].toDouble() + busy[1].toDouble());
    }
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
    std::printf("recording bench held on cores %s (%s), %.0f s per run\n", qPrintable(s_cores),
        s_coreSet ? "cpuset" : "affinity", recordSeconds());
    benchmark::RegisterBenchmark("grab_1920x1080_with_pointer", grabOnly)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("encode_audio_only_aac", encodeAudioOnly)->Iterations(3)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ffmpeg_cli_x11grab_libx265", recordWithFFmpeg)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("simplescreenrecorder_cli_libx265", recordWithSimpleScreenRecorder)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
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
        benchmark::RegisterBenchmark(
            (std::string("quorvel_pipeline_") + preset).c_str(), recordWithPipeline, preset, false, 0)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    }
    // The queue of 8 frames the recorder had before, for comparison in the same run.
    benchmark::RegisterBenchmark("quorvel_pipeline_ultrafast_queue_8", recordWithPipeline, "ultrafast", false, 8)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("quorvel_pipeline_ultrafast_two_copies", recordWithPipeline, "ultrafast", true, 0)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s_desktop.reset();
    s_display.reset();
    s_coreSet.reset();
    load.reset();
    return 0;
}
