#include "capture/ScreenshotGeometry.h"

#include <gtest/gtest.h>

using namespace ScreenshotGeometry;

namespace {

ScreenMonitor monitor(quint32 id, QRect frame, double scale, bool primary = false)
{
    ScreenMonitor m;
    m.displayID = id;
    m.frame = frame;
    m.scale = scale;
    m.isPrimary = primary;
    return m;
}

ScreenWindow window(quint64 id, QRect frame, bool own = false)
{
    ScreenWindow w;
    w.windowID = id;
    w.frame = frame;
    w.isOwnWindow = own;
    return w;
}

// A 1440 x 900 point display at scale 2 (2880 x 1800 pixels) with a 1280 x 800 one at scale 1 on
// its right, top edges aligned.
const QList<ScreenMonitor> kTwoMonitors
    = {monitor(11, QRect(0, 0, 2880, 1800), 2.0, true), monitor(22, QRect(2880, 0, 1280, 800), 1.0)};

}

TEST(ScreenshotGeometry, GrabSizesTruncateTowardZeroAndNeverReachZero)
{
    EXPECT_EQ(grabPixelSize(QSizeF(10.9, 10.9), 1.0), QSize(10, 10));
    EXPECT_EQ(grabPixelSize(QSizeF(10.9, 10.9), 2.0), QSize(21, 21));
    EXPECT_EQ(grabPixelSize(QSizeF(0, 40), 2.0), QSize(1, 80));
    EXPECT_EQ(grabPixelSize(QSizeF(-5, 0.3), 1.0), QSize(1, 1));
    EXPECT_EQ(grabPixelSize(QSizeF(1440, 900), 2.0), QSize(2880, 1800));
}

TEST(ScreenshotGeometry, LocalRectanglesBecomeRootPixelsOfTheirMonitor)
{
    // The local rectangle (100, 660, 50, 40) on the scale-2 display: pixels from (200, 1320), 100 x 80.
    EXPECT_EQ(rootRectForLocal(kTwoMonitors[0], QRectF(100, 660, 50, 40)), QRect(200, 1320, 100, 80));
    // On the second monitor, offset by its place on the screen.
    EXPECT_EQ(rootRectForLocal(kTwoMonitors[1], QRectF(10, 20, 30, 40)), QRect(2890, 20, 30, 40));
    // Cut to the monitor; nothing when it lies beside it.
    EXPECT_EQ(rootRectForLocal(kTwoMonitors[1], QRectF(1200, 700, 200, 200)), QRect(4080, 700, 80, 100));
    EXPECT_TRUE(rootRectForLocal(kTwoMonitors[1], QRectF(1300, 0, 10, 10)).isEmpty());
    EXPECT_EQ(monitorWithID(kTwoMonitors, 22)->frame.x(), 2880);
    EXPECT_FALSE(monitorWithID(kTwoMonitors, 33).has_value());
}

TEST(ScreenshotGeometry, ShareableWindowsAreOtherProgramsLargerThan100PointsOnAMonitor)
{
    const QList<ScreenWindow> windows = {
        window(1, QRect(2900, 10, 101, 101)),          // 101 x 101 points at scale 1: listed
        window(2, QRect(2900, 10, 100, 400)),          // 100 points wide: not
        window(3, QRect(2900, 10, 400, 100)),          // 100 points tall: not
        window(4, QRect(10, 10, 202, 202)),            // 101 points at scale 2: listed
        window(5, QRect(10, 10, 200, 800)),            // 100 points at scale 2: not
        window(6, QRect(10, 10, 600, 600), true),      // ours: never
        window(7, QRect(5000, 2000, 600, 600)),        // on no monitor: not
    };
    QList<quint64> listed;
    for (const ScreenWindow& w : shareableWindows(windows, kTwoMonitors))
        listed.append(w.windowID);
    EXPECT_EQ(listed, (QList<quint64> {1, 4}));
    EXPECT_EQ(framePoints(windows[3], kTwoMonitors), QRectF(5, 5, 101, 101));
}

TEST(ScreenshotGeometry, GlobalRectanglesTurnIntoDesktopOnes)
{
    EXPECT_EQ(globalToDesktop(QRectF(1440, 100, 1280, 800), 900), QRectF(1440, 0, 1280, 800));
    // The selection at global (100, 200), 50 x 40, on a 1440 x 900 point screen.
    EXPECT_EQ(globalToDesktop(QRectF(100, 200, 50, 40), 900), QRectF(100, 660, 50, 40));
}

TEST(ScreenshotGeometry, TheHintStandsCentred90PointsAboveTheBottom)
{
    EXPECT_EQ(quickActionHintOrigin(QRectF(0, 0, 1440, 900), QSizeF(200, 30)), QPointF(620, 90));
    EXPECT_EQ(quickActionHintOrigin(QRectF(1440, 100, 1280, 800), QSizeF(201, 31)), QPointF(1979.5, 190));
}
