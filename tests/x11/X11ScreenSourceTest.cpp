// The X11 screen source on a real display: monitors of a screen split in two, root and window
// pixels against what was painted, windows in stacking order.
#include "platform/linux/X11GrabConnection.h"
#include "platform/linux/X11ScreenSource.h"

#include "platform/Compositing.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "X11ScreenSupport.h"

#include <X11/Xlib.h>

using namespace x11test;

namespace {

class X11ScreenSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { splitScreenInTwo(); }
    static void TearDownTestSuite() { joinScreen(); }
    X11ScreenSource source;
};

TEST_F(X11ScreenSourceTest, MonitorsOfASplitScreenAreBothHalvesWithTheFirstOneFirst)
{
    const QList<ScreenMonitor> monitors = source.monitors();
    ASSERT_EQ(monitors.size(), 2);
    EXPECT_EQ(monitors[0].frame, QRect(0, 0, 640, 800));
    EXPECT_TRUE(monitors[0].isPrimary);
    EXPECT_EQ(monitors[1].frame, QRect(640, 0, 640, 800));
    EXPECT_FALSE(monitors[1].isPrimary);
    EXPECT_NE(monitors[0].displayID, 0u);
    EXPECT_NE(monitors[0].displayID, monitors[1].displayID);
    EXPECT_EQ(monitors[1].name, QStringLiteral("R"));
    EXPECT_DOUBLE_EQ(monitors[1].scale, 1.0);
}

TEST_F(X11ScreenSourceTest, RootGrabsEqualThePaintedPixelsOnBothMonitorsAndFromEveryThread)
{
    const QImage tile = patternTile(0);
    PatternWindow left(QRect(100, 120, 200, 150), tile, true);
    PatternWindow right(QRect(900, 300, 130, 90), tile, true);
    ASSERT_TRUE(left.waitViewable() && right.waitViewable());

    QString error;
    const QImage leftGrab = source.grabRect(QRect(100, 120, 200, 150), &error);
    ASSERT_FALSE(leftGrab.isNull()) << error.toStdString();
    EXPECT_TRUE(sameRgb(leftGrab, tiled(tile, QSize(200, 150))));
    // Repeated grabs of one size reuse the shared buffer and still see new pixels.
    EXPECT_TRUE(sameRgb(source.grabRect(QRect(100, 120, 200, 150)), tiled(tile, QSize(200, 150))));

    // From a worker thread, on the second monitor.
    QImage rightGrab;
    std::thread worker([&] { rightGrab = source.grabRect(QRect(900, 300, 130, 90)); });
    worker.join();
    EXPECT_TRUE(sameRgb(rightGrab, tiled(tile, QSize(130, 90))));

    // A rectangle reaching past the screen is clipped; one outside it fails.
    EXPECT_EQ(source.grabRect(QRect(1200, 700, 200, 200)).size(), QSize(80, 100));
    EXPECT_TRUE(source.grabRect(QRect(2000, 0, 10, 10), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

// A grab's image shows the shared-memory segment the server wrote: the pixels are the screen's,
// opaque, and stay valid after the connection is gone.
TEST_F(X11ScreenSourceTest, AGrabShowingTheSharedBufferOutlivesItsConnectionWithOpaquePixels)
{
    const QImage tile = patternTile(2);
    const QRect rect(150, 100, 320, 240); // above the size that goes through plain requests
    PatternWindow window(rect, tile, true);
    ASSERT_TRUE(window.waitViewable());

    QImage taken;
    {
        X11GrabConnection connection;
        ASSERT_TRUE(connection.isValid());
        QString error;
        taken = connection.grabRoot(rect, &error);
        ASSERT_FALSE(taken.isNull()) << error.toStdString();
        // Held images make the next grabs go to new buffers; each shows the screen.
        EXPECT_TRUE(sameRgb(connection.grabRoot(rect, &error), tiled(tile, rect.size())));
        EXPECT_TRUE(sameRgb(connection.grabRoot(rect, &error), tiled(tile, rect.size())));
    }
    ASSERT_EQ(taken.size(), rect.size());
    EXPECT_TRUE(sameRgb(taken, tiled(tile, rect.size())));
    int translucent = 0;
    for (int y = 0; y < taken.height(); ++y)
        for (int x = 0; x < taken.width(); ++x)
            translucent += qAlpha(taken.pixel(x, y)) != 255;
    EXPECT_EQ(translucent, 0);
    EXPECT_EQ(taken.convertToFormat(QImage::Format_ARGB32).pixel(10, 10), taken.pixel(10, 10));
}

TEST_F(X11ScreenSourceTest, AScreenSizedGrabReusesItsBufferOnceTheImageIsGoneAndNeverWritesIntoAHeldOne)
{
    const QRect area(0, 0, 640, 800);
    auto first = std::make_unique<PatternWindow>(area, patternTile(1), true);
    ASSERT_TRUE(first->waitViewable());
    QImage held = source.grabRect(area);
    ASSERT_FALSE(held.isNull());
    EXPECT_TRUE(sameRgb(held, tiled(patternTile(1), area.size())));
    // Every pixel opaque, as RGB32 promises (the server's padding byte is not).
    EXPECT_EQ(qAlpha(held.pixel(5, 5)), 255);

    // The screen changes while the first image is still held: the next grab sees the change and
    // the held image keeps what it showed.
    first.reset();
    PatternWindow second(area, patternTile(2), true);
    ASSERT_TRUE(second.waitViewable());
    QImage next = source.grabRect(area);
    EXPECT_TRUE(sameRgb(next, tiled(patternTile(2), area.size())));
    EXPECT_TRUE(sameRgb(held, tiled(patternTile(1), area.size())));

    // With the images gone, the next grab of that size goes into the same buffer, and a small grab
    // meanwhile (a permission probe) does not take its place.
    const uchar* buffer = next.constBits();
    held = QImage();
    next = QImage();
    EXPECT_FALSE(source.grabRect(QRect(0, 0, 1, 1)).isNull());
    const QImage again = source.grabRect(area);
    EXPECT_EQ(again.constBits(), buffer);
    EXPECT_TRUE(sameRgb(again, tiled(patternTile(2), area.size())));
}

TEST_F(X11ScreenSourceTest, ACoveredWindowIsGrabbedAsItIsNotWhatCoversIt)
{
    const QImage tile = patternTile(1);
    PatternWindow covered(QRect(200, 200, 300, 200), tile, false, 4242);
    ASSERT_TRUE(covered.waitViewable());
    const QRect frame = covered.rootFrame();
    // Another program's window and one of ours on top.
    PatternWindow cover(frame.adjusted(-10, -10, 10, 10), solidTile(Qt::blue), true);
    ASSERT_TRUE(cover.waitViewable());
    QWidget own;
    own.setWindowFlag(Qt::X11BypassWindowManagerHint);
    own.setStyleSheet(QStringLiteral("background: yellow"));
    own.setGeometry(frame.adjusted(20, 20, -20, -20));
    own.show();
    ASSERT_TRUE(waitUntil([&] { return own.isVisible(); }));
    spin(100);
    ASSERT_FALSE(sameRgb(source.grabRect(frame), tiled(tile, frame.size())));

    QString error;
    const QImage grab = source.grabWindow(covered.window(), &error);
    ASSERT_FALSE(grab.isNull()) << error.toStdString();
    EXPECT_TRUE(sameRgb(grab, tiled(tile, frame.size())));
    QImage(grab).save(artifact(QStringLiteral("screen-source-covered-window.png")));
    // Given back afterwards: the screen shows the cover again.
    EXPECT_EQ(QColor(source.grabRect(QRect(frame.topLeft() + QPoint(5, 5), QSize(1, 1))).pixel(0, 0)), QColor(Qt::blue));

    // The repeated grabber does the same, frame after frame.
    auto grabber = source.windowGrabber(covered.window());
    ASSERT_TRUE(grabber);
    EXPECT_EQ(grabber->frameSize(), frame.size());
    EXPECT_TRUE(sameRgb(grabber->grab(), tiled(tile, frame.size())));
    EXPECT_TRUE(sameRgb(grabber->grab(), tiled(tile, frame.size())));
}

TEST_F(X11ScreenSourceTest, AShapedWindowIsTransparentOutsideItsShape)
{
    const QImage tile = patternTile(6);
    PatternWindow shaped(QRect(300, 200, 200, 100), tile, true);
    shaped.shapeTo(QRect(0, 0, 120, 100));
    ASSERT_TRUE(shaped.waitViewable());
    QString error;
    const QImage grab = source.grabWindow(shaped.window(), &error);
    ASSERT_EQ(grab.size(), QSize(200, 100)) << error.toStdString();
    EXPECT_EQ(qAlpha(grab.pixel(150, 50)), 0);
    EXPECT_EQ(qAlpha(grab.pixel(60, 50)), 255);
    EXPECT_TRUE(sameRgb(grab.copy(0, 0, 120, 100), tiled(tile, QSize(120, 100))));
}

TEST_F(X11ScreenSourceTest, WindowsAreListedTopmostFirstWithOurOwnMarked)
{
    PatternWindow lower(QRect(100, 100, 300, 300), solidTile(Qt::red), false, 5151);
    ASSERT_TRUE(lower.waitViewable());
    PatternWindow upper(QRect(150, 150, 300, 300), solidTile(Qt::green), false, 5252);
    ASSERT_TRUE(upper.waitViewable());
    QWidget own;
    own.resize(200, 200);
    own.show();
    ASSERT_TRUE(waitUntil([&] {
        for (const ScreenWindow& w : source.windows())
            if (w.isOwnWindow)
                return true;
        return false;
    }));
    const QList<ScreenWindow> windows = source.windows();
    qsizetype lowerAt = -1, upperAt = -1;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        if (windows[i].windowID == lower.window())
            lowerAt = i;
        if (windows[i].windowID == upper.window())
            upperAt = i;
    }
    ASSERT_GE(lowerAt, 0);
    ASSERT_GE(upperAt, 0);
    EXPECT_LT(upperAt, lowerAt);
    const ScreenWindow& listed = windows[lowerAt];
    EXPECT_EQ(listed.processID, 5151);
    EXPECT_FALSE(listed.isOwnWindow);
    EXPECT_EQ(listed.bundleIdentifier, QStringLiteral("PatternProgram"));
    EXPECT_EQ(listed.title, QStringLiteral("pattern"));
    EXPECT_EQ(listed.frame, lower.rootFrame());
}

TEST_F(X11ScreenSourceTest, RectGrabberSeesChangesAndThePointerIsThere)
{
    auto grabber = source.rectGrabber(QRect(700, 100, 100, 50));
    ASSERT_TRUE(grabber);
    EXPECT_EQ(grabber->frameSize(), QSize(100, 50));
    {
        PatternWindow red(QRect(700, 100, 100, 50), solidTile(Qt::red), true);
        ASSERT_TRUE(red.waitViewable());
        EXPECT_EQ(QColor(grabber->grab().pixel(50, 25)), QColor(Qt::red));
    }
    PatternWindow green(QRect(700, 100, 100, 50), solidTile(Qt::green), true);
    ASSERT_TRUE(green.waitViewable());
    EXPECT_EQ(QColor(grabber->grab().pixel(50, 25)), QColor(Qt::green));

    xdotool({QStringLiteral("mousemove"), QStringLiteral("321"), QStringLiteral("234")});
    const auto cursor = source.cursor();
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->position, QPoint(321, 234));
    EXPECT_FALSE(cursor->image.isNull());
}

}

// A fading compositing manager keeps drawing a window for a while after it is unmapped; a root
// grab right after our tray menu closed showed the menu.
TEST_F(X11ScreenSourceTest, UnderAFadingCompositorAJustHiddenWindowOfOursIsNotGrabbed)
{
    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), {QStringLiteral("-cfF")});
    if (!compositor.waitForStarted())
        GTEST_SKIP() << "xcompmgr is not installed";
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const Atom selection = XInternAtom(dpy, "_NET_WM_CM_S0", False);
    QDeadlineTimer started(5000);
    while (XGetSelectionOwner(dpy, selection) == None && !started.hasExpired())
        QThread::msleep(20);
    ASSERT_NE(XGetSelectionOwner(dpy, selection), None);
    Compositing::watchOwnWindows();

    const QRect area(200, 200, 300, 200);
    QWidget menu(nullptr, Qt::ToolTip);
    menu.setGeometry(area);
    menu.setAutoFillBackground(true);
    QPalette palette = menu.palette();
    palette.setColor(QPalette::Window, Qt::red);
    menu.setPalette(palette);
    menu.show();
    auto redPixels = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += qRed(image.pixel(x, y)) > 128 && qGreen(image.pixel(x, y)) < 60;
        return count;
    };
    QDeadlineTimer shown(3000);
    while (redPixels(source.grabRect(area)) < area.width() * area.height() && !shown.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    ASSERT_EQ(redPixels(source.grabRect(area)), area.width() * area.height()); // faded in

    menu.hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(redPixels(source.grabRect(area)), 0);

    compositor.terminate();
    compositor.waitForFinished(3000);
    XCloseDisplay(dpy);
}
