// Recordings of this display through the X11 screen source and FFmpeg, checked by decoding the
// movie: a test pattern that changes colour every second of the recording, areas and windows at
// their rounded sizes, pause without a gap, the stored record and its thumbnail. What is checked
// holds at any speed of the machine: the movie against what was listed and against when the
// pattern changed, not against wall-clock margins.
#include "../recording/RecordingTestSupport.h"
#include "platform/linux/FFmpegMovieReader.h"
#include "platform/linux/FFmpegMovieThumbnailer.h"
#include "platform/linux/FFmpegMovieWriter.h"
#include "platform/linux/X11ScreenSource.h"

#include <QElapsedTimer>
#include <QSet>
#include <QWidget>

#include "X11TestSupport.h"

using x11test::spin;
using x11test::waitUntil;

namespace {

const QList<QColor> pattern = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan};

// The colour of a decoded picture's centre: its index in `pattern`, or -1 when none is near.
int patternIndex(const QImage& frame)
{
    const QColor c = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    for (int i = 0; i < pattern.size(); ++i) {
        if (std::abs(c.red() - pattern[i].red()) < 50 && std::abs(c.green() - pattern[i].green()) < 50
            && std::abs(c.blue() - pattern[i].blue()) < 50)
            return i;
    }
    return -1;
}

// A window without a frame over the whole screen, filled with one colour of `pattern`.
class PatternWindow : public QWidget {
public:
    PatternWindow()
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setGeometry(0, 0, 1280, 800);
        setAutoFillBackground(true);
        show(0);
        QWidget::show();
    }
    void show(int index)
    {
        QPalette palette;
        palette.setColor(QPalette::Window, pattern[index % pattern.size()]);
        setPalette(palette);
        update();
    }
};

// The display as the recorder grabs it, telling which colour of the pattern its last frame grab
// showed: a grab is always handed to the encoder, so that colour is in the movie.
class WatchedScreen : public ScreenSource {
public:
    X11ScreenSource display;
    std::atomic<int> grabbed {-1};

    QList<ScreenMonitor> monitors() override { return display.monitors(); }
    QList<ScreenWindow> windows(QString* error) override { return display.windows(error); }
    QImage grabRect(const QRect& rect, QString* error) override { return display.grabRect(rect, error); }
    QImage grabWindow(quint64 windowID, QString* error) override { return display.grabWindow(windowID, error); }
    std::unique_ptr<FrameGrabber> rectGrabber(const QRect& rect, QString* error) override
    {
        return watched(display.rectGrabber(rect, error));
    }
    std::unique_ptr<FrameGrabber> windowGrabber(quint64 windowID, QString* error) override
    {
        return watched(display.windowGrabber(windowID, error));
    }
    std::optional<CursorImage> cursor() override { return display.cursor(); }

private:
    class Grabber : public FrameGrabber {
    public:
        Grabber(std::unique_ptr<FrameGrabber> inner, std::atomic<int>& grabbed)
            : m_inner(std::move(inner))
            , m_grabbed(grabbed)
        {
        }
        QImage grab(QString* error) override
        {
            QImage frame = m_inner->grab(error);
            if (!frame.isNull())
                m_grabbed = patternIndex(frame);
            return frame;
        }
        QSize frameSize() const override { return m_inner->frameSize(); }

    private:
        std::unique_ptr<FrameGrabber> m_inner;
        std::atomic<int>& m_grabbed;
    };
    std::unique_ptr<FrameGrabber> watched(std::unique_ptr<FrameGrabber> inner)
    {
        return inner ? std::make_unique<Grabber>(std::move(inner), grabbed) : nullptr;
    }
};

// A recorder on the real display and FFmpeg; the inhibitor, audio and notifications are fakes.
struct X11Recorder {
    WatchedScreen source;
    FFmpegMovieWriter writer;
    FFmpegMovieThumbnailer thumbnailer;
    RecordingHarness h;
    X11Recorder()
    {
        h.service = std::make_unique<ScreenRecordingService>(ScreenRecordingService::Needs {
            source, writer, thumbnailer, h.inhibitor, h.audio, h.notifier, h.permissions});
        h.service->setRecordingsDirectory(h.folder.path());
        h.service->setModelContainer(h.store.container);
        x11test::xdotool({QStringLiteral("mousemove"), QStringLiteral("1279"), QStringLiteral("799")});
    }
    quint32 displayID() { return source.monitors().value(0).displayID; }
    // Waits until the recording's own clock has passed `seconds`.
    bool reach(double seconds)
    {
        return waitUntil([&] { return h.service->elapsed() >= seconds; }, 60000);
    }
    // Waits until the screen shows the pattern's colour `index` in its middle.
    bool shows(int index)
    {
        return waitUntil([&] { return patternIndex(source.grabRect(QRect(639, 399, 3, 3), nullptr)) == index; }, 30000);
    }
    // Waits until the recording has grabbed a frame of the pattern's colour `index`.
    bool recorded(int index)
    {
        return waitUntil([&] { return source.grabbed == index; }, 120000);
    }
    // The movie of the last recording, and its record.
    QString moviePath() { return QDir(h.folder.path()).filePath(h.service->currentFileName()); }
    RecordingItemPtr lastRecord()
    {
        for (const RecordingItemPtr& item : h.records()) {
            if (item->fileName == h.service->currentFileName())
                return item;
        }
        return nullptr;
    }
};

// Every decoded frame's time and pattern index.
QList<QPair<double, int>> decode(const QString& path, MovieStreamInfo* video = nullptr, double* duration = nullptr)
{
    FFmpegMovieReader reader;
    QString error;
    EXPECT_TRUE(reader.open(path, &error)) << error.toStdString();
    if (video && !reader.streams().isEmpty())
        *video = reader.streams().first();
    if (duration)
        *duration = reader.durationSeconds();
    QList<QPair<double, int>> frames;
    reader.readVideo(
        0, QSize(),
        [&](const QImage& frame, double seconds) {
            frames.append({seconds, patternIndex(frame)});
            return true;
        },
        &error);
    return frames;
}

}

TEST(ScreenRecordingX11, FiveSecondsOfAChangingPatternDecodeInOrder)
{
    PatternWindow window;
    X11Recorder r;
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
    ASSERT_TRUE(r.shows(0));
    r.h.start(ScreenRecordingService::DisplayTarget {r.displayID()});
    ASSERT_TRUE(r.h.service->isRecording());
    // The pattern changes once each second of the recording has passed, and stays until the
    // recording has a frame of it, however long the machine takes.
    for (int second = 1; second < 5; ++second) {
        ASSERT_TRUE(r.reach(second));
        window.show(second);
        ASSERT_TRUE(r.recorded(second));
    }
    ASSERT_TRUE(r.reach(5));
    r.h.stop();

    ASSERT_EQ(r.h.records().size(), 1u);
    const RecordingItemPtr item = r.h.records().front();
    EXPECT_EQ(item->recordingKind, QStringLiteral("display"));
    EXPECT_GE(item->durationSeconds, 5.0);
    EXPECT_EQ(item->fileSizeBytes, QFileInfo(r.moviePath()).size());
    ASSERT_TRUE(item->thumbnailData);
    const QImage thumbnail = QImage::fromData(*item->thumbnailData);
    EXPECT_EQ(thumbnail.size(), QSize(400, 250));
    EXPECT_LE(patternIndex(thumbnail), 1); // the frame at 1 s: the first or the second colour
    EXPECT_GE(patternIndex(thumbnail), 0);

    MovieStreamInfo video;
    double duration = 0;
    const auto frames = decode(r.moviePath(), &video, &duration);
    EXPECT_EQ(video.codecName, QStringLiteral("hevc"));
    EXPECT_EQ(video.codecTag, QStringLiteral("hvc1"));
    EXPECT_EQ(video.size, QSize(1280, 800));
    ASSERT_FALSE(frames.isEmpty());
    // Listed as long as it plays; every tick of the clock is a frame or counted as dropped.
    EXPECT_NEAR(frames.last().first + 1.0 / 30, item->durationSeconds, 1e-3);
    EXPECT_NEAR(duration, item->durationSeconds, 0.05);
    EXPECT_NEAR(frames.first().first, 0, 1e-6);
    EXPECT_EQ(frames.size() + r.h.service->lastFramesDropped(), std::llround(frames.last().first * 30) + 1);
    // Every colour in its turn, none before its second.
    int previous = 0;
    for (const auto& [seconds, index] : frames) {
        EXPECT_GE(index, previous) << "at " << seconds << " s";
        EXPECT_LE(index, int(std::floor(seconds + 1.0 / 60 + 1e-6))) << "at " << seconds << " s";
        previous = std::max(previous, index);
    }
    QSet<int> seen;
    for (const auto& frame : frames)
        seen.insert(frame.second);
    EXPECT_EQ(seen, QSet<int>({0, 1, 2, 3, 4}));
}

TEST(ScreenRecordingX11, AreasAndWindowsRecordAtTheirRoundedSizes)
{
    PatternWindow window;
    window.show(2);
    X11Recorder r;
    spin(300);
    // The pointer's hotspot 20 pixels into the area, both ways.
    x11test::xdotool({QStringLiteral("mousemove"), QStringLiteral("120"), QStringLiteral("70")});
    spin(100);
    r.h.start(ScreenRecordingService::AreaTarget {r.displayID(), QRectF(100.5, 50, 301.5, 201), 1.0});
    spin(700);
    r.h.stop();
    MovieStreamInfo video;
    auto frames = decode(r.moviePath(), &video);
    EXPECT_EQ(video.size, QSize(300, 200));
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(frames.last().second, 2);
    // The pointer is drawn in: pixels around its hotspot are not the pattern's blue.
    FFmpegMovieReader reader;
    ASSERT_TRUE(reader.open(r.moviePath(), nullptr));
    QImage last;
    reader.readVideo(
        0, QSize(),
        [&](const QImage& frame, double) {
            last = frame;
            return true;
        },
        nullptr);
    int pointerPixels = 0;
    for (int y = 12; y < 36; ++y) {
        for (int x = 12; x < 36; ++x)
            pointerPixels += qBlue(last.pixel(x, y)) < 128;
    }
    EXPECT_GT(pointerPixels, 10);
    EXPECT_GT(qBlue(last.pixel(200, 150)), 200); // far from the pointer: the pattern

    // A window of 401 x 301 pixels (the pattern's fourth colour) records 400 x 300.
    QWidget other(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    other.setWindowTitle(QStringLiteral("recorded window"));
    other.setGeometry(500, 300, 401, 301);
    other.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, pattern[3]);
    other.setPalette(palette);
    other.show();
    ASSERT_TRUE(waitUntil([&] { return other.isVisible(); }));
    spin(300);
    ScreenWindow target;
    target.windowID = other.winId();
    target.frame = other.geometry();
    r.h.start(ScreenRecordingService::WindowTarget {target});
    ASSERT_TRUE(r.h.service->isRecording())
        << r.h.service->lastError().value_or(ScreenRecordingService::RecordingError {}).message.toStdString();
    spin(700);
    r.h.stop();
    ASSERT_EQ(r.h.records().size(), 2u);
    ASSERT_TRUE(r.lastRecord());
    EXPECT_EQ(r.lastRecord()->recordingKind, QStringLiteral("window"));
    frames = decode(r.moviePath(), &video);
    EXPECT_EQ(video.size, QSize(400, 300));
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(frames.last().second, 3);
}

TEST(ScreenRecordingX11, PauseLeavesNoGapAndIsNotCounted)
{
    PatternWindow window;
    X11Recorder r;
    ASSERT_TRUE(r.shows(0));
    QElapsedTimer outer; // from before the start to after the stop
    outer.start();
    r.h.start(ScreenRecordingService::DisplayTarget {r.displayID()});
    QElapsedTimer inner; // from after the start to before the stop
    inner.start();
    ASSERT_TRUE(r.reach(1));
    QElapsedTimer pausedOuter;
    pausedOuter.start();
    r.h.service->pauseRecording();
    QElapsedTimer pausedInner;
    pausedInner.start();
    window.show(1); // shown only while paused: never in the movie
    ASSERT_TRUE(r.shows(1));
    spin(500);
    window.show(2);
    ASSERT_TRUE(r.shows(2));
    const qint64 pausedAtMost = pausedInner.elapsed();
    r.h.service->resumeRecording();
    const qint64 pausedAtLeast = pausedOuter.elapsed();
    ASSERT_TRUE(r.reach(2));
    const qint64 recordedAtLeast = inner.elapsed();
    r.h.stop();
    const qint64 recordedAtMost = outer.elapsed();

    ASSERT_EQ(r.h.records().size(), 1u);
    const double listed = r.h.records().front()->durationSeconds;
    double duration = 0;
    const auto frames = decode(r.moviePath(), nullptr, &duration);
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_NEAR(frames.last().first + 1.0 / 30, listed, 1e-3);
    // The paused span is not counted: the movie lasts the time recorded less the pause.
    EXPECT_GE(listed, (recordedAtLeast - pausedAtLeast) / 1000.0 - 1.0 / 30);
    EXPECT_LE(listed, (recordedAtMost - pausedAtMost) / 1000.0 + 1.0 / 30);
    // No hole in the time line but for ticks the capture missed, which it counts as dropped.
    qint64 missed = 0;
    for (int i = 1; i < frames.size(); ++i)
        missed += std::llround((frames[i].first - frames[i - 1].first) * 30) - 1;
    EXPECT_EQ(missed, r.h.service->lastFramesDropped());
    for (const auto& [seconds, index] : frames)
        EXPECT_NE(index, 1) << "a paused picture at " << seconds << " s";
    EXPECT_EQ(frames.first().second, 0);
    EXPECT_EQ(frames.last().second, 2);
}
