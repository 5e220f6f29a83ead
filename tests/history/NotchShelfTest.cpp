#include "HistoryTestSupport.h"
#include "fakes/FakeDisplayList.h"
#include "fakes/FakePointerLocation.h"
#include "fakes/FakeWindowShape.h"
#include "history/NotchShelfWindowManager.h"
#include "history/ShelfTransitionEffect.h"
#include "platform/NotificationCenter.h"

#include <QPointer>
#include <QTest>

namespace {

DisplayDescription display(QString id, QRect frame, int panelHeight = 0, bool primary = false, QString name = QString())
{
    return DisplayDescription {std::move(id), name.isEmpty() ? QStringLiteral("Display") : name, frame,
        frame.adjusted(0, panelHeight, 0, 0), primary};
}

}

TEST(NotchShelfGeometryTest, DisplayWithoutNotchOnSeveralArrangements)
{
    // One 1280 x 800 display with a 30-pixel top panel: the visible width counts, the full frame places.
    NotchShelfGeometry single(display(QStringLiteral("A"), QRect(0, 0, 1280, 800), 30, true));
    EXPECT_EQ(single.panelWidth(), 1200);
    EXPECT_EQ(single.panelHeight(), 318);
    EXPECT_EQ(single.panelFrame(), QRect(40, 0, 1200, 318));
    EXPECT_EQ(single.collapsedHoverFrame(), QRect(492, 0, 216, 30));
    EXPECT_EQ(single.expandedContentFrame(), QRect(12, 24, 1176, 282));

    // A second display to the right, and one above the primary (negative coordinates).
    EXPECT_EQ(NotchShelfGeometry(display(QStringLiteral("B"), QRect(1280, 0, 1920, 1080))).panelFrame(),
        QRect(1280 + 40, 0, 1840, 318));
    EXPECT_EQ(NotchShelfGeometry(display(QStringLiteral("C"), QRect(200, -900, 1600, 900))).panelFrame(),
        QRect(240, -900, 1520, 318));

    // A narrow display keeps room for the notch and 20 pixels each side.
    EXPECT_EQ(NotchShelfGeometry(display(QString(), QRect(0, 0, 150, 400))).panelWidth(), 200);

    // No display: 740 x 318 and no position; a taller card lengthens the panel.
    NotchShelfGeometry none(std::nullopt);
    EXPECT_EQ(none.panelWidth(), 740);
    EXPECT_EQ(none.panelHeight(), 318);
    EXPECT_FALSE(none.panelFrame());
    EXPECT_EQ(NotchShelfGeometry(std::nullopt, 300).panelHeight(), 24 + 300 + 12);
    EXPECT_EQ(NotchShelfGeometry(std::nullopt, 300).expandedContentFrame(), QRect(12, 24, 716, 300));
}

TEST(NotchShelfGeometryTest, TargetDisplayAndPickerOptions)
{
    const QList<DisplayDescription> displays {display(QStringLiteral("AAA"), QRect(0, 0, 800, 600)),
        display(QString(), QRect(800, 0, 800, 600), 0, true, QStringLiteral("HDMI-1")),
        display(QStringLiteral("BBB"), QRect(1600, 0, 800, 600), 0, false, QStringLiteral("Dell U2720Q"))};
    EXPECT_EQ(NotchShelfGeometry::resolveTargetScreen(displays, QStringLiteral("BBB"))->frame.x(), 1600);
    // Missing, empty, differently cased or gone: the primary display; without a primary the first.
    EXPECT_EQ(NotchShelfGeometry::resolveTargetScreen(displays, QString())->frame.x(), 800);
    EXPECT_EQ(NotchShelfGeometry::resolveTargetScreen(displays, QStringLiteral("bbb"))->frame.x(), 800);
    EXPECT_EQ(NotchShelfGeometry::resolveTargetScreen(displays.mid(2), QStringLiteral("gone"))->frame.x(), 1600);
    EXPECT_FALSE(NotchShelfGeometry::resolveTargetScreen({}, QStringLiteral("AAA")));

    const QList<NotchShelfWindowManager::DisplayOption> options = NotchShelfWindowManager::availableDisplayOptions(
        displays);
    ASSERT_EQ(options.size(), 3);
    EXPECT_EQ(
        options[0], (NotchShelfWindowManager::DisplayOption {QString(), QStringLiteral("Automatic (Main Display)")}));
    EXPECT_EQ(
        options[2], (NotchShelfWindowManager::DisplayOption {QStringLiteral("BBB"), QStringLiteral("Dell U2720Q")}));
}

namespace {

class ShelfManagerTest : public HistoryTest {
protected:
    ShelfManagerTest()
    {
        displays.list = {display(QStringLiteral("LEFT"), QRect(0, 0, 1280, 800), 0, true),
            display(QStringLiteral("RIGHT"), QRect(1280, 0, 1920, 1080))};
        manager.setModelContainer(store.container);
        manager.setContentFactory([this](ModelContainer&, NotchShelfWindowManager&, QWidget* parent) {
            ++cardsBuilt;
            return new QWidget(parent);
        });
    }
    // Moves the pointer and polls at once (the repeating poll sees the same position).
    void pointerTo(std::optional<QPoint> at)
    {
        pointer.at = at;
        manager.pollPointer();
    }
    QPoint strip() const { return QPoint(640, 10); }
    FakeWindowShape::Shape shape() const { return shapes.shapes.value(manager.panel()); }

    FakeDisplayList displays;
    FakePointerLocation pointer;
    FakeWindowShape shapes;
    NotificationCenter notifications;
    bool compositing = false;
    NotchShelfWindowManager manager {
        {&preferences, &displays, &pointer, &shapes, notifications, queue, [this] { return compositing; }}};
    int cardsBuilt = 0;
};

}

TEST_F(ShelfManagerTest, CollapsedShelfIsShapedAwayAndHoverExpandsAfterTheDelay)
{
    manager.setEnabled(true);
    ASSERT_TRUE(manager.panel());
    EXPECT_EQ(manager.panel()->geometry(), QRect(40, 0, 1200, 318));
    // Nothing drawn and nothing clickable while collapsed, without a compositor.
    EXPECT_TRUE(shape().region.isEmpty());
    EXPECT_TRUE(shape().drawing);
    EXPECT_EQ(manager.hoverTrackingFrame(), QRect(492, 0, 216, 30));

    // A pass shorter than 130 ms expands nothing.
    pointerTo(strip());
    queue.advance(70);
    pointerTo(QPoint(640, 400));
    queue.advance(1000);
    EXPECT_FALSE(manager.isExpanded());

    // Resting on the strip: 129 ms after the poll nothing, at 130 ms the card.
    pointerTo(strip());
    queue.advance(129);
    EXPECT_FALSE(manager.isExpanded());
    queue.advance(1);
    EXPECT_TRUE(manager.isExpanded());
    EXPECT_EQ(cardsBuilt, 1);
    EXPECT_EQ(manager.content()->geometry(), QRect(12, 24, 1176, 282));
    EXPECT_EQ(shape().region.boundingRect(), QRect(12, 24, 1176, 282));
    EXPECT_FALSE(shape().region.contains(QPoint(12, 24))); // rounded corner
    EXPECT_EQ(manager.hoverTrackingFrame(), QRect(12, 0, 1176, 306));

    // Out and back within 300 ms keeps it; out for 300 ms collapses it.
    pointerTo(QPoint(640, 700));
    queue.advance(200);
    pointerTo(QPoint(300, 200)); // inside the card
    queue.advance(1000);
    EXPECT_TRUE(manager.isExpanded());
    pointerTo(QPoint(640, 700));
    queue.advance(299);
    EXPECT_TRUE(manager.isExpanded());
    queue.advance(1);
    EXPECT_FALSE(manager.isExpanded());
    EXPECT_TRUE(shape().region.isEmpty());

    // With a compositor only the input is shaped.
    compositing = true;
    manager.toggleExpanded();
    EXPECT_FALSE(shape().drawing);
}

TEST_F(ShelfManagerTest, TheCardGrowsInFromItsTopCentreAndShrinksAwayTakingNoInput)
{
    manager.setEnabled(true);
    manager.toggleExpanded();
    QPointer<QWidget> card = manager.content();
    ASSERT_TRUE(card);
    auto* effect = qobject_cast<ShelfTransitionEffect*>(card->graphicsEffect());
    ASSERT_TRUE(effect) << "the card appears without its transition";
    EXPECT_LT(effect->progress(), 0.5);
    effect->setProgress(0.0);
    EXPECT_DOUBLE_EQ(effect->scale(), 0.85);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.0);
    // Settled: in place, and the effect is gone (it costs a render per frame).
    EXPECT_TRUE(QTest::qWaitFor([&] { return !card->graphicsEffect(); }, 2000));

    manager.toggleExpanded();
    EXPECT_FALSE(manager.content());
    ASSERT_TRUE(card) << "the card vanished without its transition";
    EXPECT_TRUE(card->testAttribute(Qt::WA_TransparentForMouseEvents));
    effect = qobject_cast<ShelfTransitionEffect*>(card->graphicsEffect());
    ASSERT_TRUE(effect);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !card; }, 2000)) << "the card stayed after its exit";
}

TEST_F(ShelfManagerTest, MenusAndDragsHoldTheShelfOpen)
{
    manager.setEnabled(true);
    manager.toggleExpanded();
    ASSERT_TRUE(manager.isExpanded());
    pointerTo(strip());
    manager.beginInteraction();
    pointerTo(QPoint(640, 700));
    queue.advance(2000);
    EXPECT_TRUE(manager.isExpanded());
    // The menu closes with the pointer away: the collapse follows 300 ms later.
    manager.endInteraction();
    queue.advance(300);
    EXPECT_FALSE(manager.isExpanded());
}

TEST_F(ShelfManagerTest, ToggleDisplayChoiceAndDisplayChanges)
{
    // Disabled: the toggle does nothing.
    manager.toggleExpanded();
    EXPECT_FALSE(manager.isExpanded());
    EXPECT_FALSE(manager.panel());

    // Enabled without a panel: created and expanded at once.
    manager.setEnabled(true);
    manager.hidePanel();
    manager.toggleExpanded();
    EXPECT_TRUE(manager.panel());
    EXPECT_TRUE(manager.isExpanded());

    // Another display chosen: the panel moves there, collapsed.
    preferences.set(NotchShelfWindowManager::displayKey, QStringLiteral("RIGHT"));
    manager.hidePanel();
    manager.showPanel();
    EXPECT_FALSE(manager.isExpanded());
    EXPECT_EQ(manager.panel()->geometry(), QRect(1280 + 40, 0, 1840, 318));

    // The chosen display goes away: rebuilt collapsed on the primary display.
    manager.toggleExpanded();
    displays.list.removeLast();
    notifications.post(NotchShelfWindowManager::screenParametersNotification);
    EXPECT_FALSE(manager.isExpanded());
    EXPECT_EQ(manager.panel()->geometry(), QRect(40, 0, 1200, 318));
    EXPECT_EQ(preferences.stringForKey(NotchShelfWindowManager::displayKey), QStringLiteral("RIGHT"));

    // Disabled: no panel, and display changes do nothing.
    manager.setEnabled(false);
    notifications.post(NotchShelfWindowManager::screenParametersNotification);
    EXPECT_FALSE(manager.panel());
}

TEST_F(ShelfManagerTest, WithoutStoreTheToggleStillFlips)
{
    NotchShelfWindowManager bare({nullptr, nullptr, nullptr, nullptr, notifications, queue});
    ConsoleCapture console;
    bare.setEnabled(true);
    EXPECT_TRUE(console.contains(QStringLiteral("NotchShelfWindowManager: ModelContainer not configured")));
    EXPECT_FALSE(bare.panel());
    bare.toggleExpanded();
    EXPECT_TRUE(bare.isExpanded());
}
