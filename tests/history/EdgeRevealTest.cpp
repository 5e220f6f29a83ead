#include "fakes/FakeDisplayList.h"
#include "fakes/FakeWindowShape.h"
#include "fakes/ManualQueue.h"
#include "history/HistoryEdgeRevealController.h"
#include "history/NotchShelfWindowManager.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

class EdgeRevealTest : public ::testing::Test {
protected:
    EdgeRevealTest()
    {
        displays.list = {DisplayDescription {QStringLiteral("A"), QStringLiteral("A"), QRect(0, 0, 1280, 800),
                             QRect(0, 0, 1280, 800), true},
            DisplayDescription {QStringLiteral("B"), QStringLiteral("B"), QRect(1280, -200, 1920, 1080),
                QRect(1280, -200, 1920, 1080), false}};
    }
    void showPanel(bool byHotkey)
    {
        visible = true;
        if (byHotkey)
            ++hotkeyShows;
    }
    void hidden()
    {
        visible = false;
        notifications.post(QStringLiteral("historyWindowDidHide"));
    }
    void contentHover(bool hovering)
    {
        notifications.post(QStringLiteral("historyContentHoverChanged"), {{QStringLiteral("hovering"), hovering}});
    }

    FakeDisplayList displays;
    FakeWindowShape shapes;
    NotificationCenter notifications;
    ManualQueue queue;
    QWidget historyWindow;
    bool visible = false;
    int hotkeyShows = 0;
    int shows = 0;
    int hides = 0;
    HistoryEdgeRevealController controller {{&displays, &shapes, notifications, queue, [this] { return visible; },
        [this] {
            ++shows;
            visible = true;
        },
        [this] {
            ++hides;
            hidden();
        },
        [this] { return &historyWindow; }, [] { return false; }}};
};

}

TEST_F(EdgeRevealTest, OneTabPerDisplayAtItsRightEdgeRebuiltOnChanges)
{
    controller.setEnabled(true);
    ASSERT_EQ(controller.panels().size(), 2);
    EXPECT_EQ(controller.panels()[0]->geometry(), QRect(1264, 355, 16, 90));
    EXPECT_EQ(controller.panels()[1]->geometry(), QRect(3184, 295, 16, 90));
    // Rounded on the left only, shaped so that no black corner shows without a compositor.
    const FakeWindowShape::Shape shape = shapes.shapes.value(controller.panels()[0]);
    EXPECT_TRUE(shape.drawing);
    EXPECT_FALSE(shape.region.contains(QPoint(0, 0)));
    EXPECT_TRUE(shape.region.contains(QPoint(15, 0)));

    // Enabled twice: the same tabs.
    const auto first = controller.panels()[0];
    controller.setEnabled(true);
    EXPECT_EQ(controller.panels().size(), 2);
    EXPECT_EQ(controller.panels()[0], first);

    displays.list.removeLast();
    notifications.post(NotchShelfWindowManager::screenParametersNotification);
    EXPECT_EQ(controller.panels().size(), 1);
    controller.setEnabled(false);
    EXPECT_TRUE(controller.panels().isEmpty());
    displays.list.append(displays.list.first());
    notifications.post(NotchShelfWindowManager::screenParametersNotification);
    EXPECT_TRUE(controller.panels().isEmpty());
}

TEST_F(EdgeRevealTest, HoverOpensAfterTheDelayAndClosesWhenThePointerLeavesBoth)
{
    controller.setEnabled(true);
    controller.setHoveringTab(true);
    queue.advance(129);
    controller.setHoveringTab(false);
    queue.advance(1000);
    EXPECT_EQ(shows, 0);

    controller.setHoveringTab(true);
    queue.advance(130);
    EXPECT_EQ(shows, 1);
    EXPECT_TRUE(controller.openedViaHover());
    // From the tab into the panel: the close is cancelled.
    controller.setHoveringTab(false);
    queue.advance(200);
    contentHover(true);
    queue.advance(1000);
    EXPECT_TRUE(visible);
    // Out of both for 300 ms: closed, and the hover memory is gone.
    contentHover(false);
    queue.advance(299);
    EXPECT_TRUE(visible);
    queue.advance(1);
    EXPECT_FALSE(visible);
    EXPECT_FALSE(controller.openedViaHover());
}

TEST_F(EdgeRevealTest, PanelsOpenedOtherwiseOrUsedStayOpen)
{
    controller.setEnabled(true);
    // Opened by the hotkey: hover passes never close it.
    showPanel(true);
    controller.setHoveringTab(true);
    queue.advance(200);
    controller.setHoveringTab(false);
    queue.advance(1000);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(controller.openedViaHover());
    hidden();

    // Opened by hover, then clicked into: leaving keeps it; another application taking the
    // focus closes it.
    controller.setHoveringTab(true);
    queue.advance(130);
    ASSERT_TRUE(controller.openedViaHover());
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&historyWindow, &press);
    controller.setHoveringTab(false);
    queue.advance(1000);
    EXPECT_TRUE(visible);
    notifications.post(QStringLiteral("historyWindowDidResignKey"));
    EXPECT_FALSE(visible);
    EXPECT_FALSE(controller.openedViaHover());

    // Hidden some other way while the content was hovered: the memory is reset, so a later
    // tab pass opens and closes it normally.
    controller.setHoveringTab(true);
    queue.advance(130);
    contentHover(true);
    hidden();
    controller.setHoveringTab(false);
    EXPECT_FALSE(controller.isHoveringContent());
    controller.setHoveringTab(true);
    queue.advance(130);
    controller.setHoveringTab(false);
    queue.advance(300);
    EXPECT_FALSE(visible);
    EXPECT_EQ(shows, 3);
}

TEST(EdgeTabPaintingTest, ShadowWhereComposedOpaqueShapedColoursWithout)
{
    const auto paint = [](HistoryEdgeTabPanel& tab) {
        QImage image(tab.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        tab.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    // Composed: the window has room for the shadow on the left, top and bottom; the tab stays
    // flush right and centred, and only the tab is its shape.
    HistoryEdgeTabPanel composed(true);
    ASSERT_TRUE(composed.hasShadow());
    EXPECT_EQ(composed.size(), QSize(16 + 10, 90 + 20));
    EXPECT_EQ(composed.originFor(QRect(0, 0, 1280, 800)), QPoint(1280 - 26, 400 - 45 - 10));
    EXPECT_EQ(composed.tabRegion().boundingRect(), QRect(10, 10, 16, 90));
    const QImage withShadow = paint(composed);
    EXPECT_GT(qAlpha(withShadow.pixel(6, 55)), 0) << "no shadow beside the tab";
    EXPECT_LT(qAlpha(withShadow.pixel(6, 55)), 60);
    EXPECT_EQ(qAlpha(withShadow.pixel(0, 0)), 0);
    EXPECT_NEAR(qAlpha(withShadow.pixel(16, 30)), qRound(0.55 * 255), 2); // the tab, translucent

    // Without a compositor: just the tab, opaque in the mixed colours (dark grey, not black).
    HistoryEdgeTabPanel plain(false);
    EXPECT_FALSE(plain.hasShadow());
    EXPECT_EQ(plain.size(), QSize(16, 90));
    const QImage opaque = paint(plain);
    EXPECT_EQ(opaque.pixelColor(8, 20), HistoryEdgeTabPanel::opaqueFill());
    EXPECT_GT(HistoryEdgeTabPanel::opaqueFill().red(), 20);
    EXPECT_GT(HistoryEdgeTabPanel::opaqueChevron().red(), 190);
}
