// Captures on a real display split into two monitors: the capture service over the X11 screen
// source and clipboard, the result handler with a store, and the quick action's space bar.
#include "app/CaptureResultHandler.h"
#include "capture/PostCaptureQuickActionController.h"
#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationWindowManager.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/ManualQueue.h"
#include "platform/Dispatch.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/X11ScreenSource.h"
#include "store/ModelContext.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

#include "X11ScreenSupport.h"

using namespace x11test;

namespace {

class CaptureEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { splitScreenInTwo(); }
    static void TearDownTestSuite() { joinScreen(); }

    X11AppServices services;
    X11ScreenSource source;
    ClipboardSuspension suspension;
    FakeTextRecognizer noText;
    FakePreferences preferences;
    AnnotationWindowManager editors {{{preferences, services.pasteboard, suspension, {}}, nullptr}};
    // The offer's time: it ends only when the test moves this clock on.
    ManualQueue offerTime;
    PostCaptureQuickActionController quickAction {
        {services.registrar, source, offerTime, [this](const QImage& image, QScreen* screen) {
             editors.present(image, nullptr, screen);
         }}};
    ScreenshotCaptureService service {{source, services.pasteboard, noText, suspension, DispatchQueue::main(),
        [this] { return quickAction.removeHintAtOnce(); }, {}}};

    ScreenMonitor monitor(int index)
    {
        const QList<ScreenMonitor> monitors = source.monitors();
        EXPECT_EQ(monitors.size(), 2);
        return monitors.value(index);
    }

    QImage grabArea(quint32 display, QRectF local)
    {
        QImage out;
        bool done = false;
        service.grabAreaImage(display, local, 1.0, nullptr, [&](QImage image) {
            out = image;
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return out;
    }

    QImage grabWindow(const ScreenWindow& window)
    {
        QImage out;
        bool done = false;
        service.grabWindowImage(window, 1.0, nullptr, [&](QImage image) {
            out = image;
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return out;
    }

    // The clipboard's bytes for one target, as another program reads them.
    QByteArray clipboard(const QString& target)
    {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
            {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), target,
                QStringLiteral("-o")});
        EXPECT_TRUE(waitUntil([&] { return xclip.state() == QProcess::NotRunning; }));
        return xclip.readAllStandardOutput();
    }
};

}

TEST_F(CaptureEndToEndTest, DisplayAndAreaCapturesEqualTheRootPixelsOfEitherMonitor)
{
    const QImage tile = patternTile(2);
    PatternWindow left(QRect(40, 60, 300, 200), tile, true);
    PatternWindow right(QRect(900, 300, 130, 90), tile, true);
    ASSERT_TRUE(left.waitViewable() && right.waitViewable());

    for (int index : {0, 1}) {
        const ScreenMonitor shown = monitor(index);
        const QImage display = grabArea(shown.displayID, QRectF(0, 0, 640, 800));
        ASSERT_EQ(display.size(), QSize(640, 800));
        EXPECT_TRUE(sameRgb(display, source.grabRect(shown.frame))) << "monitor " << index;
    }
    EXPECT_TRUE(sameRgb(grabArea(monitor(0).displayID, QRectF(40, 60, 300, 200)), tiled(tile, QSize(300, 200))));
    // The second monitor's local rectangle (260, 300) is the root's (900, 300).
    const QImage area = grabArea(monitor(1).displayID, QRectF(260, 300, 130, 90));
    EXPECT_TRUE(sameRgb(area, tiled(tile, QSize(130, 90))));
    QImage(area).save(artifact(QStringLiteral("capture-area-second-monitor.png")));
}

TEST_F(CaptureEndToEndTest, ACoveredWindowIsListedAndCapturedAsItIsWhileOurWindowsAreNot)
{
    const QImage tile = patternTile(3);
    PatternWindow covered(QRect(100, 100, 400, 300), tile, false, 6161);
    ASSERT_TRUE(covered.waitViewable());
    QWidget own;
    own.setWindowFlag(Qt::X11BypassWindowManagerHint);
    own.setStyleSheet(QStringLiteral("background: yellow"));
    own.setGeometry(covered.rootFrame().adjusted(30, 30, -30, -30));
    own.show();
    ASSERT_TRUE(waitUntil([&] { return own.isVisible(); }));
    QWidget ownManaged;
    ownManaged.resize(300, 300);
    ownManaged.show();
    spin(150);

    QList<ScreenWindow> windows;
    bool listed = false;
    service.availableWindows(nullptr, [&](QList<ScreenWindow> found) {
        windows = found;
        listed = true;
    });
    ASSERT_TRUE(waitUntil([&] { return listed; }));
    const auto it = std::find_if(
        windows.begin(), windows.end(), [&](const ScreenWindow& w) { return w.windowID == covered.window(); });
    ASSERT_NE(it, windows.end());
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](const ScreenWindow& w) { return w.isOwnWindow; }));

    const QImage grabbed = grabWindow(*it);
    EXPECT_TRUE(sameRgb(grabbed, tiled(tile, covered.rootFrame().size())));
    QImage(grabbed).save(artifact(QStringLiteral("capture-covered-window.png")));
}

TEST_F(CaptureEndToEndTest, TheClipboardOffersThePNGThatIsStored)
{
    TempStore store;
    NotificationCenter notifications;
    int announced = 0;
    QObject observer;
    notifications.observe(NotificationNames::screenshotSaved, &observer, [&](const QVariantMap&) { ++announced; });
    QList<quint32> offers;
    service.onCapture = makeCaptureResultHandler(
        store.container, notifications, [&](const QImage&, quint32 display) { offers.append(display); });

    PatternWindow painted(QRect(700, 100, 200, 120), patternTile(4), true);
    ASSERT_TRUE(painted.waitViewable());
    const QRectF local(60, 100, 200, 120);
    const QImage image = grabArea(monitor(1).displayID, local);
    std::optional<CaptureResult> result;
    service.finish(image, local, monitor(1).displayID, CaptureKind::area, nullptr,
        [&](std::optional<CaptureResult> r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return announced == 1; }));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(suspension.isSuspended());
    EXPECT_EQ(offers, QList<quint32> {monitor(1).displayID});

    const auto items = store.container->mainContext().fetchScreenshotItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->captureKind, QStringLiteral("area"));
    EXPECT_EQ(clipboard(QStringLiteral("image/png")), items[0]->pngData);
    EXPECT_EQ(items[0]->sourceImageData, items[0]->pngData);
    EXPECT_TRUE(sameRgb(QImage::fromData(items[0]->pngData), tiled(patternTile(4), QSize(200, 120))));
    const QByteArray targets = clipboard(QStringLiteral("TARGETS"));
    EXPECT_TRUE(targets.contains("image/png"));
    EXPECT_FALSE(targets.contains("text/plain"));
    // The monitor is held off for 0.6 s only.
    EXPECT_TRUE(waitUntil([&] { return !suspension.isSuspended(); }, 1500));
}

TEST_F(CaptureEndToEndTest, SpaceOpensTheEditorWithinTheOfferAndReachesTheFocusedProgramAfterIt)
{
    ASSERT_TRUE(services.registrar.isAvailable());
    TempStore store;
    editors.setModelContainer(store.container);

    // A program of its own that has the keyboard focus and counts its key presses.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_TRUE(other);
    const Window target = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 300, 200, 0, 0, 0xffffff);
    XSelectInput(other, target, KeyPressMask);
    XMapRaised(other, target);
    XSync(other, False);
    ASSERT_TRUE(waitUntil([&] {
        XWindowAttributes attributes;
        return XGetWindowAttributes(other, target, &attributes) && attributes.map_state == IsViewable;
    }));
    auto focusAndCountPresses = [&](int waitMs) {
        XSetInputFocus(other, target, RevertToParent, CurrentTime);
        XSync(other, False);
        xdotool({QStringLiteral("key"), QStringLiteral("space")});
        int presses = 0;
        QDeadlineTimer deadline(waitMs);
        while (!deadline.hasExpired()) {
            handlePendingEvents(other, [&](const XEvent& event) { presses += event.type == KeyPress; });
            QCoreApplication::processEvents();
        }
        return presses;
    };

    QImage captured(320, 200, QImage::Format_RGB32);
    captured.fill(QColor(30, 140, 200));
    // After the offer's 1.6 s the space bar belongs to the focused program again.
    quickAction.offer(captured, monitor(1).displayID);
    offerTime.advance(PostCaptureQuickActionController::offerMs);
    EXPECT_FALSE(quickAction.isPending());
    EXPECT_EQ(focusAndCountPresses(300), 1);
    EXPECT_EQ(editors.window(), nullptr);

    // Within the offer it opens the editor with the capture, and the program sees nothing.
    quickAction.offer(captured, monitor(1).displayID);
    spin(200);
    QWidget* hint = quickAction.hintWindow();
    ASSERT_TRUE(hint && hint->isVisible());
    // Centred on the second monitor, its bottom edge 90 points above the monitor's bottom.
    EXPECT_NEAR(hint->frameGeometry().x() + hint->frameGeometry().width() / 2.0, 960, 0.5);
    EXPECT_EQ(hint->frameGeometry().bottom() + 1, 800 - 90);
    source.grabRect(hint->frameGeometry().adjusted(-20, -20, 20, 20)).save(artifact(QStringLiteral("quick-action-hint.png")));
    EXPECT_EQ(focusAndCountPresses(300), 0);
    ASSERT_TRUE(waitUntil([this] {
        QWidget* editor = editors.window();
        return editor && editor->isVisible();
    }));
    EXPECT_FALSE(quickAction.isPending());
    editors.closeWindow();
    XDestroyWindow(other, target);
    XCloseDisplay(other);
}

TEST_F(CaptureEndToEndTest, ANewCaptureNeverShowsTheHintOfTheLastOne)
{
    const QImage tile = patternTile(5);
    PatternWindow background(QRect(0, 500, 640, 300), tile, true);
    ASSERT_TRUE(background.waitViewable());
    QImage captured(100, 100, QImage::Format_RGB32);
    captured.fill(Qt::red);
    quickAction.offer(captured, monitor(0).displayID);
    spin(200);
    ASSERT_TRUE(quickAction.hintWindow() && quickAction.hintWindow()->isVisible());
    // The very next grab, with no time for a fade.
    const QImage bottom = grabArea(monitor(0).displayID, QRectF(0, 500, 640, 300));
    EXPECT_TRUE(sameRgb(bottom, tiled(tile, QSize(640, 300))));
    EXPECT_FALSE(quickAction.isPending());
}

TEST_F(CaptureEndToEndTest, TextOfAnAreaOnTheSecondMonitorIsRecognised)
{
    TesseractTextRecognizer tesseract;
    ScreenshotCaptureService reader({source, services.pasteboard, tesseract, suspension, DispatchQueue::main()});
    QLabel page(QStringLiteral("Bitte speichere die Änderungen, bevor du das Fenster schließt.\n"
                               "Your changes will be lost if you close the window now."));
    page.setWindowFlag(Qt::X11BypassWindowManagerHint);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    page.setFont(font);
    page.setStyleSheet(QStringLiteral("background: white; color: #202020; padding: 10px"));
    page.setGeometry(660, 400, 560, 70);
    page.show();
    ASSERT_TRUE(waitUntil([&] { return page.isVisible(); }));
    spin(200);

    QImage area;
    bool grabbed = false;
    reader.grabAreaImage(monitor(1).displayID, QRectF(20, 400, 560, 70), 1.0, nullptr, [&](QImage image) {
        area = image;
        grabbed = true;
    });
    ASSERT_TRUE(waitUntil([&] { return grabbed; }));
    area.save(artifact(QStringLiteral("capture-text-area.png")));
    std::optional<QString> text;
    bool read = false;
    reader.recognizeText(area, nullptr, [&](std::optional<QString> found) {
        text = found;
        read = true;
    });
    ASSERT_TRUE(waitUntil([&] { return read; }, 20000));
    ASSERT_TRUE(text.has_value());
    for (const char* word : {"Bitte", "speichere", "Änderungen", "Fenster", "schließt", "changes", "lost", "close",
             "window"})
        EXPECT_TRUE(text->contains(QString::fromUtf8(word))) << word << " in " << text->toStdString();
}
