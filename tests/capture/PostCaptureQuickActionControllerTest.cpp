#include "capture/PostCaptureQuickActionController.h"

#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/ManualQueue.h"
#include "fakes/TestSupport.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

constexpr quint32 kID = PostCaptureQuickActionController::hotkeyID;

struct QuickActionHarness {
    FakeHotkeyRegistrar keys;
    FakeScreenSource screen;
    ManualQueue mainQueue;
    QList<QImage> presented;
    PostCaptureQuickActionController controller {
        {keys, screen, mainQueue, [this](const QImage& image, QScreen*) { presented.append(image); }}};

    static QImage image(QColor color)
    {
        QImage out(20, 10, QImage::Format_RGB32);
        out.fill(color);
        return out;
    }
    void press()
    {
        keys.press(kID);
        QCoreApplication::processEvents();
    }
};

}

TEST(PostCaptureQuickAction, SpaceWithinTheOfferOpensTheImageOnceAndReleasesTheKey)
{
    QuickActionHarness h;
    h.controller.offer(QuickActionHarness::image(Qt::red), 0);
    ASSERT_TRUE(h.keys.isRegistered(kID));
    EXPECT_EQ(h.keys.registered.value(kID), (FakeHotkeyRegistrar::Combination {49, 0}));
    ASSERT_NE(h.controller.hintWindow(), nullptr);
    EXPECT_TRUE(h.controller.hintWindow()->isVisible());

    h.mainQueue.advance(1500);
    h.press();
    ASSERT_EQ(h.presented.size(), 1);
    EXPECT_EQ(h.presented[0], QuickActionHarness::image(Qt::red));
    EXPECT_FALSE(h.keys.isRegistered(kID));
    EXPECT_FALSE(h.controller.isPending());
    // A late event of the released key does nothing.
    emit h.keys.hotkeyPressed(kID);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.presented.size(), 1);
}

TEST(PostCaptureQuickAction, TheOfferEndsAfterOnePointSixSecondsAndANewCaptureReplacesIt)
{
    QuickActionHarness h;
    h.controller.offer(QuickActionHarness::image(Qt::red), 0);
    h.mainQueue.advance(1000);
    h.controller.offer(QuickActionHarness::image(Qt::blue), 0);
    EXPECT_EQ(h.keys.unregisterCalls.size(), 1);
    // The first offer's time-out no longer counts: 1.6 s from the second capture.
    h.mainQueue.advance(1000);
    EXPECT_TRUE(h.controller.isPending());
    h.press();
    ASSERT_EQ(h.presented.size(), 1);
    EXPECT_EQ(h.presented[0], QuickActionHarness::image(Qt::blue));

    h.controller.offer(QuickActionHarness::image(Qt::green), 0);
    h.mainQueue.advance(1600);
    EXPECT_FALSE(h.controller.isPending());
    EXPECT_FALSE(h.keys.isRegistered(kID));
    h.press();
    EXPECT_EQ(h.presented.size(), 1);
}

TEST(PostCaptureQuickAction, ATakenSpaceBarIsReportedAndTheHintStillShows)
{
    QuickActionHarness h;
    h.keys.markTaken(49, 0);
    ConsoleCapture console;
    h.controller.offer(QuickActionHarness::image(Qt::red), 0);
    EXPECT_TRUE(console.contains(QStringLiteral("Failed to register quick-action hotkey: ")));
    ASSERT_NE(h.controller.hintWindow(), nullptr);
    h.mainQueue.advance(1600);
    EXPECT_EQ(h.controller.hintWindow(), nullptr);
    EXPECT_TRUE(h.keys.unregisterCalls.isEmpty());
}

TEST(PostCaptureQuickAction, ANewCaptureTakesTheHintAwayAtOnce)
{
    QuickActionHarness h;
    h.controller.offer(QuickActionHarness::image(Qt::red), 0);
    QPointer<QWidget> hint = h.controller.hintWindow();
    ASSERT_TRUE(hint && hint->isVisible());
    EXPECT_NE(h.controller.removeHintAtOnce(), 0u);
    EXPECT_TRUE(!hint || !hint->isVisible());
    EXPECT_FALSE(h.controller.isPending());
    EXPECT_FALSE(h.keys.isRegistered(kID));
    EXPECT_EQ(h.controller.removeHintAtOnce(), 0u);
}
