#include "capture/CaptureGeometry.h"

#include "CaptureTestScreens.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureGeometryTest, GlobalSelectionToLocalRectangleAndSnapshotCrop)
{
    const CaptureScreens screens({testMonitor(1, {0, 0, 2880, 1800}, 2, true)});
    EXPECT_EQ(screens.screens()[0].frame, (CaptureRect {0, 0, 1440, 900}));
    const auto resolved = screens.resolveDisplayLocalRect({100, 200, 50, 40});
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->localRect, (CaptureRect {100, 660, 50, 40}));
    EXPECT_EQ(CaptureScreens::snapshotCrop(resolved->localRect, 2, 2880, 1800), (PixelRect {200, 1320, 100, 80}));
    // Clipped at the image's edge; nothing left is empty.
    EXPECT_EQ(CaptureScreens::snapshotCrop({1400, 880, 100, 100}, 2, 2880, 1800), (PixelRect {2800, 1760, 80, 40}));
    EXPECT_TRUE(CaptureScreens::snapshotCrop({2000, 0, 10, 10}, 2, 2880, 1800).isEmpty());
}

TEST(CaptureGeometryTest, TwoMonitorsSideBySideInRootPixels)
{
    // Root: a 1920 x 1080 primary at the left, a 1280 x 1024 monitor right of it, top-aligned.
    const CaptureScreens screens({testMonitor(10, {0, 0, 1920, 1080}, 1, true), testMonitor(20, {1920, 0, 1280, 1024}, 1)});
    EXPECT_EQ(screens.screens()[1].frame, (CaptureRect {1920, 56, 1280, 1024}));
    EXPECT_EQ(screens.primary()->displayID, 10u);
    EXPECT_EQ(screens.globalFromRoot(1920 + 5, 10), (CapturePoint {1925, 1070}));
    EXPECT_EQ(screens.globalFromRoot(PixelRect {1930, 100, 300, 200}), (CaptureRect {1930, 780, 300, 200}));
    // A marquee two thirds on the right monitor captures only its part there.
    const auto resolved = screens.resolveDisplayLocalRect({1820, 500, 300, 100});
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->screenIndex, 1);
    EXPECT_EQ(resolved->localRect, (CaptureRect {0, 480, 200, 100}));
    EXPECT_EQ(CaptureScreens::rootFromLocal(screens.screens()[1], resolved->localRect), (PixelRect {1920, 480, 200, 100}));
    // Off every monitor: the first screen with nothing of the rectangle on it.
    EXPECT_TRUE(screens.resolveDisplayLocalRect({-900, -900, 10, 10})->localRect.isEmpty());
    EXPECT_FALSE(screens.overlapsAnyScreen({-900, -900, 10, 10}));
}

TEST(CaptureGeometryTest, PrimaryNeedNotBeFirstNorAtTheRootOrigin)
{
    const CaptureScreens screens({testMonitor(1, {0, 0, 1000, 800}, 1), testMonitor(2, {1000, 200, 1920, 1080}, 2, true)});
    EXPECT_EQ(screens.primary()->displayID, 2u);
    EXPECT_EQ(screens.screens()[1].frame, (CaptureRect {0, 0, 960, 540}));
    // The left monitor's bottom (root y 800) lies 60 points above the primary's bottom (root y 740).
    EXPECT_EQ(screens.screens()[0].frame, (CaptureRect {-1000, -60, 1000, 800}));
    const CaptureScreen& primary = screens.screens()[1];
    EXPECT_EQ(CaptureScreens::rootFromLocal(primary, {10.25, 5, 20, 10}), (PixelRect {1020, 210, 41, 20}));
    const CaptureRect local {12, 34, 56, 78};
    EXPECT_EQ(CaptureScreens::localFromGlobal(primary, CaptureScreens::globalFromLocal(primary, local)), local);
}

}
