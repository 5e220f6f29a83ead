#include "recording/RecordingGeometry.h"

#include <gtest/gtest.h>

namespace {
ScreenMonitor monitor(quint32 id, QRect frame, bool primary)
{
    ScreenMonitor m;
    m.displayID = id;
    m.frame = frame;
    m.isPrimary = primary;
    return m;
}
const QList<ScreenMonitor> twoMonitors = {
    monitor(1, QRect(0, 0, 1920, 1080), true), monitor(2, QRect(1920, 0, 1281, 1025), false)};
const QSize panel(250, 44);
}

TEST(RecordingGeometry, SizesAreWholeEvenPixelsOfAtLeastTwo)
{
    EXPECT_EQ(RecordingGeometry::evenSize(1), 2);
    EXPECT_EQ(RecordingGeometry::evenSize(0.4), 2);
    EXPECT_EQ(RecordingGeometry::evenSize(203), 202);
    EXPECT_EQ(RecordingGeometry::evenSize(799.6), 798);

    // 1 x 1 points at scale 1 records 2 x 2; 101.5 points at scale 2 are 203 pixels, made 202.
    auto tiny = RecordingGeometry::area(1, QRectF(10, 10, 1, 1), 1.0, twoMonitors);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->movieSize, QSize(2, 2));
    auto retina = RecordingGeometry::area(2, QRectF(10.5, 20, 101.5, 51), 2.0, twoMonitors);
    ASSERT_TRUE(retina);
    EXPECT_EQ(retina->movieSize, QSize(202, 102));
    EXPECT_EQ(retina->grabRect.topLeft(), QPoint(1920 + 21, 40)); // in root pixels of the second monitor

    auto display = RecordingGeometry::display(2, twoMonitors);
    ASSERT_TRUE(display);
    EXPECT_EQ(display->movieSize, QSize(1280, 1024));
    EXPECT_EQ(display->grabRect, QRect(1920, 0, 1280, 1024));

    ScreenWindow window;
    window.windowID = 77;
    window.frame = QRect(100, 50, 799, 601);
    const RecordingRegion region = RecordingGeometry::window(window);
    EXPECT_EQ(region.movieSize, QSize(798, 600));
    EXPECT_EQ(region.windowID, 77u);
}

TEST(RecordingGeometry, UnknownDisplayHasNoRegion)
{
    EXPECT_FALSE(RecordingGeometry::display(9, twoMonitors));
    EXPECT_FALSE(RecordingGeometry::area(9, QRectF(0, 0, 10, 10), 1, twoMonitors));
}

TEST(RecordingGeometry, PanelKeepsOutOfTheRecordingWhereItFits)
{
    // Recording the second monitor: the panel stays at the top centre of the primary one.
    EXPECT_EQ(RecordingGeometry::panelPosition(twoMonitors, QRect(1920, 0, 1280, 1024), panel), QPoint(835, 16));
    // Recording the primary monitor: the panel goes to the other monitor.
    EXPECT_EQ(RecordingGeometry::panelPosition(twoMonitors, QRect(0, 0, 1920, 1080), panel), QPoint(2436, 16));

    const QList<ScreenMonitor> one = {monitor(1, QRect(0, 0, 1280, 800), true)};
    // An area under the top centre: the panel sits just above it.
    EXPECT_EQ(RecordingGeometry::panelPosition(one, QRect(400, 10, 400, 300), panel), QPoint(475, 10 + 300 + 12));
    // An area that leaves no room on any side: no place outside it.
    EXPECT_FALSE(RecordingGeometry::panelPosition(one, QRect(0, 0, 1280, 800), panel));
    EXPECT_FALSE(RecordingGeometry::panelPosition(one, QRect(10, 10, 1260, 780), panel));
}
