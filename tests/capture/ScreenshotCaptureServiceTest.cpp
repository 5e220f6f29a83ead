#include "capture/ScreenshotCaptureService.h"

#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/ManualQueue.h"
#include "fakes/TestSupport.h"
#include "platform/Background.h"
#include "platform/Compositing.h"
#include "platform/PasteboardTypes.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A 1280 x 800 screen split into two monitors of 640 x 800, each half painted in its own colour
// with a marker square; the capture service on fakes.
struct CaptureHarness {
    FakeScreenSource screen;
    FakePasteboard pasteboard;
    FakeTextRecognizer recognizer;
    ClipboardSuspension suspension;
    ManualQueue mainQueue;
    int grabsPrepared = 0;
    ScreenshotCaptureService service {{screen, pasteboard, recognizer, suspension, mainQueue,
        [this] {
            ++grabsPrepared;
            return quint64(0);
        },
        {}}};
    QList<CaptureResult> handed;

    CaptureHarness()
    {
        ScreenMonitor left;
        left.displayID = 101;
        left.frame = QRect(0, 0, 640, 800);
        left.isPrimary = true;
        ScreenMonitor right;
        right.displayID = 202;
        right.frame = QRect(640, 0, 640, 800);
        screen.monitorList = {left, right};
        QImage pixels(1280, 800, QImage::Format_RGB32);
        pixels.fill(Qt::darkBlue);
        QPainter painter(&pixels);
        painter.fillRect(QRect(640, 0, 640, 800), Qt::darkGreen);
        painter.fillRect(QRect(700, 50, 10, 10), Qt::yellow);
        painter.end();
        screen.screen = pixels;
        service.onCapture = [this](const CaptureResult& result) { handed.append(result); };
    }

    QImage grabArea(quint32 display, QRectF local, double scale)
    {
        QImage out;
        bool called = false;
        service.grabAreaImage(display, local, scale, nullptr, [&](QImage image) {
            out = image;
            called = true;
        });
        Background::waitForAll();
        EXPECT_TRUE(called);
        return out;
    }

    std::optional<CaptureResult> finish(const QImage& image, CaptureKind kind = CaptureKind::area)
    {
        std::optional<CaptureResult> out;
        service.finish(image, QRectF(1, 2, 3, 4), 202, kind, nullptr,
            [&](std::optional<CaptureResult> result) { out = result; });
        Background::waitForAll();
        return out;
    }
};

}

TEST(ScreenshotCaptureService, AreaGrabsCropTheirMonitorAtTheAskedSize)
{
    CaptureHarness h;
    const QImage right = h.grabArea(202, QRectF(60, 50, 10, 10), 1.0);
    ASSERT_EQ(right.size(), QSize(10, 10));
    EXPECT_EQ(QColor(right.pixel(5, 5)), QColor(Qt::yellow));
    EXPECT_EQ(right, h.screen.screen.copy(700, 50, 10, 10));
    // 10.9 points at scale 2 on a scale-1 monitor: 21 x 21 pixels, the grab enlarged.
    EXPECT_EQ(h.grabArea(101, QRectF(0, 0, 10.9, 10.9), 2.0).size(), QSize(21, 21));
    // A whole display.
    EXPECT_EQ(h.grabArea(101, QRectF(0, 0, 640, 800), 1.0), h.screen.screen.copy(0, 0, 640, 800));
    EXPECT_EQ(h.grabsPrepared, 3);
}

TEST(ScreenshotCaptureService, AreaGrabFailuresPrintTheirLineAndYieldNothing)
{
    CaptureHarness h;
    ConsoleCapture console;
    EXPECT_TRUE(h.grabArea(303, QRectF(0, 0, 10, 10), 1.0).isNull());
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenshotCaptureService: target display not found")));
    h.screen.failGrabs = true;
    EXPECT_TRUE(h.grabArea(101, QRectF(0, 0, 10, 10), 1.0).isNull());
    EXPECT_EQ(console.count(QStringLiteral("ScreenshotCaptureService: capture failed: grab failed")), 1);
    h.screen.monitorList.clear();
    EXPECT_TRUE(h.grabArea(101, QRectF(0, 0, 10, 10), 1.0).isNull());
    EXPECT_TRUE(console.contains(QStringLiteral("ScreenshotCaptureService: display lookup failed")));
}

TEST(ScreenshotCaptureService, WindowsAreFilteredAndGrabbedAtTheirPointSize)
{
    CaptureHarness h;
    ScreenWindow other;
    other.windowID = 5;
    other.frame = QRect(10, 10, 101, 101);
    ScreenWindow narrow = other;
    narrow.windowID = 6;
    narrow.frame = QRect(10, 10, 100, 400);
    ScreenWindow own = other;
    own.windowID = 7;
    own.isOwnWindow = true;
    h.screen.windowList = {narrow, own, other};
    QList<ScreenWindow> listed;
    h.service.availableWindows(nullptr, [&](QList<ScreenWindow> windows) { listed = windows; });
    Background::waitForAll();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].windowID, 5u);

    QImage pixels(101, 101, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::magenta);
    h.screen.windowImages.insert(5, pixels);
    QImage grabbed;
    h.service.grabWindowImage(other, 2.0, nullptr, [&](QImage image) { grabbed = image; });
    Background::waitForAll();
    EXPECT_EQ(grabbed.size(), QSize(202, 202));

    ConsoleCapture console;
    h.screen.failGrabs = true;
    h.service.availableWindows(nullptr, [&](QList<ScreenWindow> windows) { listed = windows; });
    Background::waitForAll();
    EXPECT_TRUE(listed.isEmpty());
    EXPECT_EQ(console.count(QStringLiteral("ScreenshotCaptureService: failed to list windows: no windows")), 1);
}

TEST(ScreenshotCaptureService, FinishPutsOnlyThePNGOnTheClipboardThenHandsTheResultOver)
{
    CaptureHarness h;
    QImage bitmap(300, 200, QImage::Format_RGB32);
    bitmap.fill(Qt::cyan);
    bitmap.setDevicePixelRatio(2.0);
    const auto result = h.finish(bitmap, CaptureKind::window);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->image.size(), QSize(300, 200));
    EXPECT_EQ(result->image.devicePixelRatio(), 1.0);
    EXPECT_EQ(QImage::fromData(result->pngData).size(), QSize(300, 200));
    EXPECT_EQ(result->sourceRect, QRectF(1, 2, 3, 4));
    EXPECT_EQ(result->displayID, 202u);
    EXPECT_EQ(result->kind, CaptureKind::window);
    const QList<Pasteboard::Item> content = h.pasteboard.content();
    ASSERT_EQ(content.size(), 1);
    EXPECT_EQ(content[0].type, PasteboardTypes::png);
    EXPECT_EQ(content[0].data, result->pngData);
    ASSERT_EQ(h.handed.size(), 1);
    EXPECT_EQ(h.handed[0].pngData, result->pngData);

    // Without a handler the clipboard is still written; a null image hands nothing over.
    h.service.onCapture = nullptr;
    EXPECT_TRUE(h.finish(bitmap).has_value());
    EXPECT_EQ(h.pasteboard.writes().size(), 2);
    EXPECT_FALSE(h.finish(QImage()).has_value());
    EXPECT_EQ(h.pasteboard.writes().size(), 2);
}

TEST(ScreenshotCaptureService, TwoCapturesAFewTenthsApartKeepTheMonitorHeldOffUntilTheLastOnesTime)
{
    CaptureHarness h;
    QImage bitmap(40, 30, QImage::Format_RGB32);
    bitmap.fill(Qt::red);
    ASSERT_TRUE(h.finish(bitmap).has_value());
    EXPECT_TRUE(h.suspension.isSuspended());
    h.mainQueue.advance(300);
    ASSERT_TRUE(h.finish(bitmap).has_value());
    EXPECT_EQ(h.suspension.holders(), 2);
    // 0.6 s after the first capture the second one still holds the monitor off...
    h.mainQueue.advance(300);
    EXPECT_TRUE(h.suspension.isSuspended());
    // ...until 0.6 s after its own write.
    h.mainQueue.advance(300);
    EXPECT_FALSE(h.suspension.isSuspended());
}

TEST(ScreenshotCaptureService, RecognisedTextIsReturnedAsItIsAndNoTextIsNothing)
{
    CaptureHarness h;
    QImage page(200, 100, QImage::Format_RGB32);
    page.fill(Qt::white);
    auto recognize = [&] {
        std::optional<QString> out = QStringLiteral("unset");
        h.service.recognizeText(page, nullptr, [&](std::optional<QString> text) { out = text; });
        Background::waitForAll();
        return out;
    };
    h.recognizer.text = QStringLiteral("Hallo Welt\n\nSecond paragraph");
    EXPECT_EQ(recognize(), std::optional<QString>(QStringLiteral("Hallo Welt\n\nSecond paragraph")));
    h.recognizer.text = QString();
    EXPECT_EQ(recognize(), std::nullopt);
    h.recognizer.text.reset();
    EXPECT_EQ(recognize(), std::nullopt);
    ConsoleCapture console;
    h.recognizer.failure = QStringLiteral("no models");
    EXPECT_EQ(recognize(), std::nullopt);
    EXPECT_EQ(console.count(QStringLiteral("ScreenshotCaptureService: OCR failed: no models")), 1);
    // Nothing of this touches the clipboard.
    EXPECT_TRUE(h.pasteboard.writes().isEmpty());
}

TEST(ScreenshotCaptureService, UnderACompositorAScreenGrabWaitsForOurHiddenWindowsToFadeOut)
{
    using S = ScreenshotCaptureService;
    EXPECT_EQ(Compositing::fadeWaitMs(false, 10), 0);
    EXPECT_EQ(Compositing::fadeWaitMs(true, -1), 0); // nothing of ours was hidden
    EXPECT_EQ(Compositing::fadeWaitMs(true, 100), Compositing::fadeOutMs - 100);
    EXPECT_EQ(Compositing::fadeWaitMs(true, Compositing::fadeOutMs), 0);

    // The tray menu a full-screen capture was started from closes right before the grab.
    CaptureHarness h;
    bool compositing = true;
    S service {{h.screen, h.pasteboard, h.recognizer, h.suspension, h.mainQueue, [] { return quint64(0); },
        [&compositing] { return compositing; }}};
    auto grabAfterAHide = [&service] {
        QWidget menu;
        menu.resize(200, 300);
        menu.show();
        menu.hide();
        QElapsedTimer sinceHide;
        sinceHide.start();
        qint64 grabbedAt = -1;
        service.grabAreaImage(101, QRectF(0, 0, 640, 800), 1.0, nullptr, [&](QImage) { grabbedAt = sinceHide.elapsed(); });
        Background::waitForAll();
        return grabbedAt;
    };
    EXPECT_GE(grabAfterAHide(), Compositing::fadeOutMs - 20);
    compositing = false;
    EXPECT_GE(grabAfterAHide(), 0);
}
