// The capture overlay on a real display split into two monitors, driven by xdotool: area, window,
// text, self-timer, last area, Escape, the tool bar and a second begin over a showing overlay.
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "capture/CaptureToolbarView.h"
#include "capture/ScreenshotCaptureService.h"
#include "platform/Background.h"
#include "platform/HotkeyRegistrar.h"
#include "platform/Compositing.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/X11Compositing.h"
#include "platform/linux/X11ScreenSource.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "X11ScreenSupport.h"

using namespace x11test;

namespace {

// A dialog window of another client in one colour: the window manager keeps dialogs at their own
// size (centred), where it would stretch an ordinary window over the whole screen.
class ColourDialog {
public:
    ColourDialog(QSize size, QColor colour, long pid)
        : m_display(XOpenDisplay(nullptr))
    {
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, unsigned(size.width()),
            unsigned(size.height()), 0, 0, colour.rgb() & 0xffffff);
        const long dialog = long(XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DIALOG", False));
        XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
            PropModeReplace, reinterpret_cast<const unsigned char*>(&dialog), 1);
        XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_PID", False), XA_CARDINAL, 32,
            PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XClassHint hint {const_cast<char*>("dialog"), const_cast<char*>("DialogProgram")};
        XSetClassHint(m_display, m_window, &hint);
        XStoreName(m_display, m_window, "dialog");
        XMapRaised(m_display, m_window);
        XSync(m_display, False);
    }
    ~ColourDialog()
    {
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    unsigned long window() const { return m_window; }
    QRect rootFrame() const
    {
        XWindowAttributes attributes;
        XGetWindowAttributes(m_display, m_window, &attributes);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(m_display, m_window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

private:
    Display* m_display;
    Window m_window;
};

class CaptureOverlayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Theme::install();
        Symbols::installIconTheme();
        splitScreenInTwo();
    }
    static void TearDownTestSuite() { joinScreen(); }

    void SetUp() override
    {
        ScreenSource::setShared(&source);
        Pasteboard::setShared(&services.pasteboard);
        TextRecognizer::setShared(&recognizer);
        rig.capture.onCapture = [this](const CaptureResult& result) { results.append(result); };
    }
    void TearDown() override
    {
        manager.dismissAll();
        rig.capture.onCapture = nullptr;
        Background::waitForAll();
        spin(50);
    }

    // Starts a begin operation and waits until its overlays have painted.
    void present(const std::function<void()>& begin)
    {
        bool presented = false;
        const auto connection = QObject::connect(
            &manager, &CaptureOverlayWindowManager::overlaysPresented, [&presented] { presented = true; });
        begin();
        ASSERT_TRUE(waitUntil([&] { return presented; }, 20000));
        QObject::disconnect(connection);
        ASSERT_TRUE(waitUntil([this] { return manager.hasKeyboard(); }, 20000));
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

    void key(const char* name)
    {
        xdotool({"key", name});
        spin(30);
    }

    bool waitForResults(int count)
    {
        return waitUntil([&] { return results.size() >= count; }, 20000);
    }

    X11AppServices services;
    X11ScreenSource source;
    TesseractTextRecognizer recognizer;
    CaptureRig rig {{&source, &services.pasteboard, &recognizer, &services.registrar}};
    CaptureOverlayWindowManager& manager = rig.overlay;
    QList<CaptureResult> results;
};

// The same under a compositing manager that fades windows out (xcompmgr -cfF), its fade-out
// slowed to a second or more: longer than any fixed wait would be.
class CaptureUnderAFadingCompositor : public CaptureOverlayTest {
protected:
    void SetUp() override
    {
        CaptureOverlayTest::SetUp();
        m_compositor.start(QStringLiteral("xcompmgr"), {"-cfF", "-O", "0.01"});
        if (!m_compositor.waitForStarted())
            GTEST_SKIP() << "xcompmgr is not installed";
        ASSERT_TRUE(waitUntil([] { return x11CompositingManagerRunning(); }));
        Compositing::setProbe(&x11CompositingManagerRunning);
    }
    void TearDown() override
    {
        CaptureOverlayTest::TearDown();
        Compositing::setProbe({});
        m_compositor.terminate();
        m_compositor.waitForFinished(3000);
    }

    // A pattern over the whole screen, faded in.
    std::unique_ptr<PatternWindow> showPattern(const QImage& tile)
    {
        auto pattern = std::make_unique<PatternWindow>(QRect(QPoint(0, 0), screenSize()), tile, true);
        const QImage expected = tiled(tile, screenSize()).copy(0, 0, 64, 48);
        EXPECT_TRUE(waitUntil([&] { return sameRgb(source.grabRect(QRect(0, 0, 64, 48)), expected); }, 20000));
        return pattern;
    }
    QSize screenSize() const
    {
        QSize size;
        for (const ScreenMonitor& monitor : const_cast<X11ScreenSource&>(source).monitors())
            size = size.expandedTo(QSize(monitor.frame.right() + 1, monitor.frame.bottom() + 1));
        return size;
    }

    QProcess m_compositor;
};

}

TEST_F(CaptureOverlayTest, ADragCapturesExactlyTheDraggedRectangleOnEitherMonitor)
{
    const QImage tile = patternTile(4);
    PatternWindow pattern(QRect(0, 0, 1280, 800), tile, true);
    ASSERT_TRUE(pattern.waitViewable());
    const QImage screen = tiled(tile, QSize(1280, 800));

    present([&] { manager.beginAreaSelection(false); });
    drag({100, 120}, {301, 271});
    ASSERT_TRUE(waitForResults(1));
    EXPECT_EQ(results[0].kind, CaptureKind::area);
    EXPECT_EQ(results[0].sourceRect, QRectF(100, 120, 201, 151));
    EXPECT_TRUE(sameRgb(results[0].image, screen.copy(100, 120, 201, 151)));

    // On the right monitor: its local rectangle starts at root x - 640.
    present([&] { manager.beginAreaSelection(false); });
    drag({1000, 500}, {800, 400});
    ASSERT_TRUE(waitForResults(2));
    EXPECT_EQ(results[1].sourceRect, QRectF(160, 400, 200, 100));
    EXPECT_TRUE(sameRgb(results[1].image, screen.copy(800, 400, 200, 100)));
    ASSERT_TRUE(manager.lastAreaCapture());
    results[1].image.save(artifact(QStringLiteral("overlay-area-capture-right-monitor.png")));

    // The last area again, grabbed live: the same rectangle of what the screen shows now.
    const QImage other = patternTile(5);
    PatternWindow changed(QRect(0, 0, 1280, 800), other, true);
    ASSERT_TRUE(changed.waitViewable());
    manager.beginLastAreaCapture();
    ASSERT_TRUE(waitForResults(3));
    EXPECT_EQ(results[2].sourceRect, QRectF(160, 400, 200, 100));
    EXPECT_TRUE(sameRgb(results[2].image, tiled(other, QSize(1280, 800)).copy(800, 400, 200, 100)));
}

TEST_F(CaptureOverlayTest, EscapeDismissesAndNothingIsStored)
{
    PatternWindow pattern(QRect(0, 0, 1280, 800), patternTile(1), true);
    ASSERT_TRUE(pattern.waitViewable());
    present([&] { manager.beginAreaSelection(false); });
    EXPECT_EQ(manager.overlayWindows().size(), 2);
    key("Escape");
    EXPECT_TRUE(waitUntil([&] { return !manager.isShowing(); }));
    spin(100);
    EXPECT_TRUE(results.isEmpty());
    EXPECT_FALSE(manager.lastAreaCapture());
}

TEST_F(CaptureOverlayTest, AClickInWindowModePicksTheWindowUnderThePointer)
{
    PatternWindow backdrop(QRect(0, 0, 1280, 800), solidTile(Qt::darkGray), true);
    ASSERT_TRUE(backdrop.waitViewable());
    ColourDialog large(QSize(600, 500), QColor(200, 40, 40), 4242);
    spin(150);
    ColourDialog small(QSize(200, 150), QColor(40, 40, 200), 4343);
    spin(250);
    const QRect outer = large.rootFrame();
    const QRect inner = small.rootFrame();
    ASSERT_EQ(outer.size(), QSize(600, 500));
    ASSERT_TRUE(outer.contains(inner)) << "the window manager centres both";

    const QImage before = source.grabRect(QRect(0, 0, 1280, 800));
    present([&] { manager.beginWindowSelection(); });
    // Over the small one on top: it is picked, not the large one below it.
    xdotool({"mousemove", QString::number(inner.center().x()), QString::number(inner.center().y())});
    ASSERT_TRUE(waitUntil([&] { return manager.selection().hoveredWindow().has_value(); }));
    EXPECT_EQ(manager.selection().hoveredWindow()->windowID, small.window());
    // Beside it, over the large one.
    xdotool({"mousemove", QString::number(outer.left() + 20), QString::number(outer.top() + 20)});
    ASSERT_TRUE(waitUntil([&] {
        return manager.selection().hoveredWindow() && manager.selection().hoveredWindow()->windowID == large.window();
    }));
    spin(100);
    const QImage shown = source.grabRect(QRect(0, 0, 1280, 800));
    shown.save(artifact(QStringLiteral("overlay-window-pick.png")));
    // The highlight is what is captured: the client area shows as it is, in one piece across the
    // monitors' seam, while the window manager's title bar above it stays dimmed. The hint sits
    // once, above the middle of the window.
    ASSERT_TRUE(outer.left() < 640 && outer.right() > 640);
    const QRect inside = outer.adjusted(3, 3, -3, -3);
    int differing = 0;
    for (int y = inside.top(); y <= inside.bottom(); y += 7)
        for (int x = inside.left(); x <= inside.right(); ++x)
            differing += shown.pixel(x, y) != before.pixel(x, y);
    EXPECT_EQ(differing, 0) << "the picked window shows undimmed and unmarked";
    const QRgb titleBar = before.pixel(outer.left() + 30, outer.top() - 8);
    EXPECT_LT(qGray(shown.pixel(outer.left() + 30, outer.top() - 8)), qGray(titleBar) - 30)
        << "the title bar is dimmed";
    EXPECT_LT(qGray(shown.pixel(outer.center().x(), outer.top() - 12)), 50) << "the hint above the middle";
    xdotool({"click", "1"});
    ASSERT_TRUE(waitForResults(1));
    EXPECT_EQ(results[0].kind, CaptureKind::window);
    ASSERT_EQ(results[0].image.size(), outer.size());
    // The window's own pixels, the small one in front of it left out.
    EXPECT_EQ(QColor(results[0].image.pixel(outer.width() / 2, outer.height() / 2)), QColor(200, 40, 40));
}

TEST_F(CaptureOverlayTest, ToolbarReviewLoupeAndModeSwitch)
{
    PatternWindow pattern(QRect(0, 0, 1280, 800), patternTile(2), true);
    ASSERT_TRUE(pattern.waitViewable());
    present([&] { manager.beginAreaSelection(true); });
    drag({200, 150}, {500, 400});
    ASSERT_EQ(manager.selection().phase(), SelectionPhase::reviewing);
    ASSERT_TRUE(waitUntil([&] { return manager.toolbarWindow() && manager.toolbarWindow()->isVisible(); }));
    const QRect bar = manager.toolbarWindow()->geometry();
    EXPECT_EQ(bar.top(), 400 + 12);
    EXPECT_NEAR(bar.center().x(), 350, 1);
    xdotool({"mousemove", "420", "300"}); // the loupe beside the pointer
    spin(150);
    source.grabRect(QRect(0, 0, 1280, 800)).save(artifact(QStringLiteral("overlay-review-toolbar-loupe.png")));
    source.grabRect(bar.adjusted(-4, -4, 4, 4)).save(artifact(QStringLiteral("overlay-toolbar.png")));

    // The OCR button keeps the rectangle; the Window button drops it and picks windows.
    auto* view = manager.toolbarWindow()->findChild<CaptureToolbarView*>();
    ASSERT_TRUE(view);
    const auto click = [&](const char* title) {
        QWidget* button = view->button(QLatin1String(title));
        const QPoint centre = button->mapToGlobal(button->rect().center());
        xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
        spin(80);
    };
    // Over the tool bar the overlay draws no crosshair, read-out or loupe at the old place.
    const QPoint onBar = view->button(QStringLiteral("Timer"))->mapToGlobal(QPoint(2, 2));
    xdotool({"mousemove", QString::number(onBar.x()), QString::number(onBar.y())});
    ASSERT_TRUE(waitUntil([&] { return !manager.selection().cursorGlobalPosition(); }));
    spin(100);
    source.grabRect(QRect(0, 0, 1280, 800)).save(artifact(QStringLiteral("overlay-pointer-on-toolbar.png")));
    click("OCR");
    EXPECT_EQ(manager.selection().terminalAction(), TerminalAction::ocr);
    EXPECT_EQ(manager.selection().phase(), SelectionPhase::reviewing);
    EXPECT_TRUE(manager.isShowing());
    click("Window");
    EXPECT_EQ(manager.selection().paradigm(), SelectionParadigm::windowPick);
    EXPECT_EQ(manager.selection().phase(), SelectionPhase::selecting);
    key("Escape");
    EXPECT_TRUE(waitUntil([&] { return !manager.isShowing(); }));
    EXPECT_TRUE(results.isEmpty());
}

TEST_F(CaptureOverlayTest, TheSelfTimerCapturesLiveAfterItsCount)
{
    PatternWindow before(QRect(0, 0, 1280, 800), patternTile(3), true);
    ASSERT_TRUE(before.waitViewable());
    present([&] { manager.beginAreaSelection(true); });
    drag({50, 50}, {250, 150});
    // The timer from the tool bar's list; the overlay keeps the keyboard after the list closes.
    ASSERT_TRUE(waitUntil([&] { return manager.toolbarWindow() && manager.toolbarWindow()->isVisible(); }));
    auto* bar = manager.toolbarWindow()->findChild<CaptureToolbarView*>();
    ASSERT_TRUE(bar);
    const QPoint timer = bar->button(QStringLiteral("Timer"))->mapToGlobal(QPoint(20, 15));
    xdotool({"mousemove", QString::number(timer.x()), QString::number(timer.y()), "click", "1"});
    ASSERT_TRUE(waitUntil([&] { return bar->timerList() && bar->timerList()->isVisible(); }));
    spin(80);
    source.grabRect(bar->timerList()->geometry().united(manager.toolbarWindow()->geometry()).adjusted(-4, -4, 4, 4))
        .save(artifact(QStringLiteral("overlay-toolbar-timer-list.png")));
    QWidget* oneSecond = bar->timerList()->findChildren<QPushButton*>().at(1);
    const QPoint row = oneSecond->mapToGlobal(oneSecond->rect().center());
    xdotool({"mousemove", QString::number(row.x()), QString::number(row.y()), "click", "1"});
    ASSERT_TRUE(waitUntil([&] { return manager.selection().timerSeconds() == 3; }));
    manager.selection().setTimerSeconds(1); // a shorter wait for the test
    spin(50);
    QElapsedTimer counting;
    counting.start();
    key("Return");
    source.grabRect(QRect(0, 0, 640, 400)).save(artifact(QStringLiteral("overlay-countdown.png")));
    key("Return"); // restarts nothing
    // The screen changes while it counts; the capture shows it as it is at the end.
    PatternWindow after(QRect(0, 0, 1280, 800), patternTile(8), true);
    ASSERT_TRUE(waitForResults(1));
    // Each number of the count shows for a second only, and the press may be handled after any
    // look at it: what stays is when the capture came, no sooner than the count's end (a coarse
    // timer may fire 5 % early).
    EXPECT_GE(counting.elapsed(), 950);
    EXPECT_FALSE(manager.isShowing());
    EXPECT_TRUE(sameRgb(results[0].image, tiled(patternTile(8), QSize(1280, 800)).copy(50, 50, 200, 100)));
    spin(1100);
    EXPECT_EQ(results.size(), 1);
}

TEST_F(CaptureOverlayTest, ASecondHotkeyPressDuringAnOverlayFreezesACleanScreen)
{
    const QImage tile = patternTile(9);
    PatternWindow pattern(QRect(0, 0, 1280, 800), tile, true);
    ASSERT_TRUE(pattern.waitViewable());
    // The area shortcut as the program registers it; while the overlay holds the keyboard the
    // press reaches the overlay, which hands it to the registrar.
    HotkeyRegistrar::setShared(&services.registrar);
    QString error;
    ASSERT_TRUE(services.registrar.registerHotkey(2, kKeyK, kControl | kOption, &error)) << error.toStdString();
    int presses = 0;
    QObject::connect(&services.registrar, &HotkeyRegistrar::hotkeyPressed, &manager, [&](quint32 id) {
        if (id == 2) {
            ++presses;
            manager.beginAreaSelection(false);
        }
    });
    present([&] { xdotool({"key", "ctrl+alt+k"}); });
    present([&] { xdotool({"key", "ctrl+alt+k"}); });
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(manager.overlayWindows().size(), 2);
    drag({600, 300}, {700, 500}); // across both monitors: the larger part wins
    ASSERT_TRUE(waitForResults(1));
    EXPECT_TRUE(sameRgb(results[0].image, tiled(tile, QSize(1280, 800)).copy(640, 300, 60, 200)));
    services.registrar.unregisterHotkey(2);
    HotkeyRegistrar::setShared(nullptr);
}

TEST_F(CaptureOverlayTest, TextCapturePutsTheWordsOnTheClipboard)
{
    PatternWindow backdrop(QRect(0, 0, 1280, 800), solidTile(Qt::white), true);
    ASSERT_TRUE(backdrop.waitViewable());
    QLabel paragraph(QStringLiteral("Quorvel reads this paragraph\nand copies every word"));
    paragraph.setWindowFlag(Qt::X11BypassWindowManagerHint);
    paragraph.setStyleSheet(QStringLiteral("background: white; color: black; font-size: 28px; padding: 20px;"));
    paragraph.setGeometry(100, 100, 560, 160);
    paragraph.show();
    ASSERT_TRUE(waitUntil([&] { return paragraph.isVisible(); }));
    spin(150);
    present([&] { manager.beginTextSelection(); });
    drag({100, 100}, {630, 260});
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto text = services.pasteboard.data(PasteboardTypes::utf8PlainText, 1 << 20);
            return text && text->contains("paragraph");
        },
        15000));
    const QString text = QString::fromUtf8(*services.pasteboard.data(PasteboardTypes::utf8PlainText, 1 << 20));
    for (const char* word : {"Quorvel", "reads", "paragraph", "copies", "every", "word"})
        EXPECT_TRUE(text.contains(QLatin1String(word))) << word << " in " << text.toStdString();
    EXPECT_TRUE(results.isEmpty()); // no screenshot record
}

TEST_F(CaptureOverlayTest, FullScreenWithTwoMonitorsAsksWhichOneInAMenu)
{
    const QImage tile = patternTile(10);
    PatternWindow pattern(QRect(0, 0, 1280, 800), tile, true);
    ASSERT_TRUE(pattern.waitViewable());
    manager.beginFullScreenCapture();
    ASSERT_TRUE(waitUntil([&] { return manager.displayMenu() && manager.displayMenu()->isVisible(); }));
    auto* menu = qobject_cast<QMenu*>(manager.displayMenu());
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("R"));
    menu->actions()[1]->trigger();
    menu->close();
    ASSERT_TRUE(waitForResults(1));
    EXPECT_EQ(results[0].sourceRect, QRectF(0, 0, 640, 800));
    EXPECT_TRUE(sameRgb(results[0].image, tiled(tile, QSize(1280, 800)).copy(640, 0, 640, 800)));
    EXPECT_FALSE(manager.isShowing());
}

TEST_F(CaptureOverlayTest, FullScreenAndLastAreaOverTheAreaOverlayTakeTheScreenNotTheOverlay)
{
    const QImage tile = patternTile(11);
    PatternWindow pattern(QRect(0, 0, 1280, 800), tile, true);
    ASSERT_TRUE(pattern.waitViewable());
    const QImage screen = tiled(tile, QSize(1280, 800));
    present([&] { manager.beginAreaSelection(false); });
    drag({100, 120}, {300, 270});
    ASSERT_TRUE(waitForResults(1));

    // The last area while the overlay shows: the overlay leaves first, the grab shows the screen.
    present([&] { manager.beginAreaSelection(false); });
    manager.beginLastAreaCapture();
    ASSERT_TRUE(waitForResults(2));
    EXPECT_FALSE(manager.isShowing());
    EXPECT_TRUE(sameRgb(results[1].image, screen.copy(100, 120, 200, 150)));

    // The full screen while the overlay shows: the display menu comes once the overlay is gone.
    present([&] { manager.beginAreaSelection(false); });
    manager.beginFullScreenCapture();
    ASSERT_TRUE(waitUntil([&] { return manager.displayMenu() && manager.displayMenu()->isVisible(); }));
    EXPECT_FALSE(manager.isShowing());
    auto* menu = qobject_cast<QMenu*>(manager.displayMenu());
    ASSERT_TRUE(menu);
    menu->actions()[0]->trigger();
    menu->close();
    ASSERT_TRUE(waitForResults(3));
    results[2].image.save(artifact(QStringLiteral("overlay-full-screen-over-overlay.png")));
    EXPECT_TRUE(sameRgb(results[2].image, screen.copy(0, 0, 640, 800)))
        << "the screen's pixels, not the dimmed overlay";
    EXPECT_FALSE(manager.isShowing());
}

// The self-timer's live capture, with its countdown badge in the middle of the area on the right
// monitor: the screen, not the overlay fading out.
TEST_F(CaptureUnderAFadingCompositor, TheSelfTimerCaptureHoldsTheScreenNotTheFadingCountdown)
{
    const QImage tile = patternTile(7);
    const auto pattern = showPattern(tile);
    const QRect area(screenSize().width() / 2 + 100, 100, 300, 200);
    present([&] { manager.beginAreaSelection(true); });
    drag(area.topLeft(), area.bottomRight() + QPoint(1, 1));
    ASSERT_EQ(manager.selection().phase(), SelectionPhase::reviewing);
    manager.selection().setTimerSeconds(1);
    key("Return");
    ASSERT_TRUE(waitForResults(1));
    results[0].image.save(artifact(QStringLiteral("fading_compositor_self_timer_capture.png")));
    EXPECT_TRUE(sameRgb(results[0].image, tiled(tile, screenSize()).copy(area)));
}

// The first frame of an area recording: the overlay draws its outline over the area's corner,
// the screen shows the pattern there.
TEST_F(CaptureUnderAFadingCompositor, AnAreaRecordingBeginsWithTheScreenNotTheFadingOverlay)
{
    const QImage tile = patternTile(12);
    const auto pattern = showPattern(tile);
    const QRect area(screenSize().width() / 2 + 60, 80, 320, 240);
    present([&] { manager.beginAreaRecording(); });
    QSignalSpy started(&rig.recorder, &ScreenRecordingService::startFinished);
    drag(area.topLeft(), area.bottomRight() + QPoint(1, 1));
    ASSERT_TRUE(!started.isEmpty() || started.wait(20000));
    ASSERT_TRUE(rig.recorder.isRecording());
    const std::shared_ptr<FakeMovieWriter::Movie> movie = rig.fakes.writer.lastMovie();
    ASSERT_TRUE(waitUntil([&] { return !movie->firstPixels.isEmpty(); }, 20000));
    QSignalSpy stopped(&rig.recorder, &ScreenRecordingService::stopped);
    rig.recorder.stopRecording();
    ASSERT_TRUE(!stopped.isEmpty() || stopped.wait(20000));
    EXPECT_EQ(movie->firstPixels.first() & 0xffffff, tiled(tile, screenSize()).pixel(area.topLeft()) & 0xffffff);
}
