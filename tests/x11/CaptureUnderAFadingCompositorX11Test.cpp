// Live grabs after the capture overlay under a compositing manager that fades windows out
// (xcompmgr -cfF, its fade-out slowed to a second or more, longer than any fixed wait would be), on
// a screen split into two monitors: the self-timer capture and the first frame of an area
// recording show the screen, never the dimmed overlay or its countdown fading out.
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "capture/CaptureToolbarView.h"
#include "platform/Compositing.h"
#include "platform/linux/X11Compositing.h"
#include "platform/linux/X11ScreenSource.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include "X11ScreenSupport.h"

using namespace x11test;

namespace {

QSize rootSize()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return {};
    const QSize size(DisplayWidth(display, DefaultScreen(display)), DisplayHeight(display, DefaultScreen(display)));
    XCloseDisplay(display);
    return size;
}

// The screen (whatever its size) as two monitors side by side, "L" and "R".
void splitInHalves(QSize screen)
{
    const int half = screen.width() / 2;
    const auto geometry = [&](int x) {
        return QStringLiteral("%1/%2x%3/%4+%5+0")
            .arg(half)
            .arg(half / 4)
            .arg(screen.height())
            .arg(screen.height() / 4)
            .arg(x);
    };
    QProcess::execute(QStringLiteral("xrandr"), {"--setmonitor", "L", geometry(0), "screen"});
    QProcess::execute(QStringLiteral("xrandr"), {"--setmonitor", "R", geometry(half), "none"});
}

class FadingCompositorX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Theme::install();
        Symbols::installIconTheme();
        splitInHalves(rootSize());
    }
    static void TearDownTestSuite() { joinScreen(); }

    void SetUp() override
    {
        m_compositor.start(
            QStringLiteral("xcompmgr"), {QStringLiteral("-cfF"), QStringLiteral("-O"), QStringLiteral("0.01")});
        if (!m_compositor.waitForStarted())
            GTEST_SKIP() << "xcompmgr is not installed";
        ASSERT_TRUE(waitUntil([] { return x11CompositingManagerRunning(); }));
        Compositing::setProbe(&x11CompositingManagerRunning);
        rig.capture.onCapture = [this](const CaptureResult& result) { results.append(result); };
    }
    void TearDown() override
    {
        manager.dismissAll();
        rig.capture.onCapture = nullptr;
        Background::waitForAll();
        Compositing::setProbe({});
        m_compositor.terminate();
        m_compositor.waitForFinished(3000);
        spin(50);
    }

    void present(const std::function<void()>& begin)
    {
        bool presented = false;
        const auto connection = QObject::connect(
            &manager, &CaptureOverlayWindowManager::overlaysPresented, [&presented] { presented = true; });
        begin();
        ASSERT_TRUE(waitUntil([&] { return presented; }, 20000));
        QObject::disconnect(connection);
        ASSERT_TRUE(waitUntil([this] { return manager.hasKeyboard(); }, 20000));
        // The overlay has faded in: the screen shows it opaque.
        spin(100);
    }

    void drag(QPoint from, QPoint to)
    {
        xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
        spin(30);
        xdotool({"mousemove", QString::number((from.x() + to.x()) / 2), QString::number((from.y() + to.y()) / 2)});
        spin(30);
        xdotool({"mousemove", QString::number(to.x()), QString::number(to.y())});
        spin(30);
        xdotool({"mouseup", "1"});
        spin(30);
    }

    QProcess m_compositor;
    X11AppServices services;
    X11ScreenSource source;
    CaptureRig rig {{&source, &services.pasteboard, nullptr, &services.registrar}};
    CaptureOverlayWindowManager& manager = rig.overlay;
    QList<CaptureResult> results;
};

}

TEST_F(FadingCompositorX11, TheSelfTimerCaptureHoldsTheScreenNotTheFadingCountdown)
{
    const QSize screen = rootSize();
    const QImage tile = patternTile(7);
    PatternWindow pattern(QRect(QPoint(0, 0), screen), tile, true);
    ASSERT_TRUE(pattern.waitViewable());
    spin(1500); // faded in
    // On the right monitor, the countdown's badge in the middle of the area.
    const QRect area(screen.width() / 2 + 100, 100, 300, 200);
    present([&] { manager.beginAreaSelection(true); });
    drag(area.topLeft(), area.bottomRight() + QPoint(1, 1));
    ASSERT_EQ(manager.selection().phase(), SelectionPhase::reviewing);
    manager.selection().setTimerSeconds(1);
    xdotool({"key", "Return"});
    ASSERT_TRUE(waitUntil([&] { return !results.isEmpty(); }, 20000));
    results[0].image.save(artifact(QStringLiteral("fading_compositor_self_timer_capture.png")));
    EXPECT_TRUE(sameRgb(results[0].image, tiled(tile, screen).copy(area))) << "the screen, not the overlay";
}

TEST_F(FadingCompositorX11, AnAreaRecordingBeginsWithTheScreenNotTheFadingOverlay)
{
    const QSize screen = rootSize();
    const QImage tile = patternTile(12);
    PatternWindow pattern(QRect(QPoint(0, 0), screen), tile, true);
    ASSERT_TRUE(pattern.waitViewable());
    spin(1500);
    const QRect area(screen.width() / 2 + 60, 80, 320, 240);
    present([&] { manager.beginAreaRecording(); });
    QSignalSpy started(&rig.recorder, &ScreenRecordingService::startFinished);
    drag(area.topLeft(), area.bottomRight() + QPoint(1, 1));
    ASSERT_TRUE(!started.isEmpty() || started.wait(20000));
    ASSERT_TRUE(rig.recorder.isRecording());
    std::shared_ptr<FakeMovieWriter::Movie> movie = rig.fakes.writer.lastMovie();
    ASSERT_TRUE(movie);
    ASSERT_TRUE(waitUntil([&] { return rig.recorder.elapsed() >= 1 || movie->firstPixels.size() >= 5; }, 20000));
    QSignalSpy stopped(&rig.recorder, &ScreenRecordingService::stopped);
    rig.recorder.stopRecording();
    ASSERT_TRUE(!stopped.isEmpty() || stopped.wait(20000));
    ASSERT_FALSE(movie->firstPixels.isEmpty());
    // The overlay draws its outline over the area's corner; the screen shows the pattern there.
    const QRgb expected = tiled(tile, screen).pixel(area.topLeft());
    EXPECT_EQ(movie->firstPixels.first() & 0xffffff, expected & 0xffffff);
}
