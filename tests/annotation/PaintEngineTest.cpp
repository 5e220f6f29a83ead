// Creating strokes with the paint engine.
#include "EngineTestSupport.h"

#include <QSignalSpy>

TEST_F(EngineTest, Defaults)
{
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_FALSE(engine.currentStroke());
    EXPECT_EQ(engine.selectedTool(), PaintTool::pen);
    EXPECT_EQ(engine.selectedColor(), PaintColor(1.0, 0.23, 0.19, 1.0));
    EXPECT_EQ(engine.lineWidth(), 3);
    EXPECT_EQ(engine.fontSize(), 20);
    EXPECT_EQ(engine.badgeSize(), 24);
    EXPECT_FALSE(engine.includeNumberInLabel());
    EXPECT_EQ(engine.effectAmount(), 10);
    EXPECT_FALSE(engine.selectedStrokeID());
    EXPECT_FALSE(engine.isDraggingSelection());
    EXPECT_EQ(engine.nextBadgeNumber(), 1);
    EXPECT_FALSE(engine.pendingTextEditID());
}

TEST_F(EngineTest, DrawingKeepsThePointsTheToolUses)
{
    engine.startStroke({ 0.1, 0.1 }, canvas);
    ASSERT_TRUE(engine.currentStroke());
    EXPECT_TRUE(engine.strokes().empty());
    for (PaintPoint p : { PaintPoint(0.2, 0.1), PaintPoint(0.2, 0.1), PaintPoint(0.3, 0.2) })
        engine.continueStroke(p);
    engine.endStroke();
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_EQ(last().points.size(), 4u); // nothing thinned, duplicates included
    EXPECT_EQ(last().tool, PaintTool::pen);
    EXPECT_EQ(last().color, engine.selectedColor());
    EXPECT_EQ(last().lineWidth, 3);
    EXPECT_FALSE(last().fontSize || last().badgeSize || last().effectAmount || last().text || last().badgeNumber);
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_GT(last().createdAt, 7e8);

    engine.setSelectedTool(PaintTool::rectangle);
    engine.startStroke({ 0.5, 0.5 }, canvas);
    engine.continueStroke({ 0.6, 0.55 });
    engine.continueStroke({ 0.7, 0.6 });
    engine.endStroke();
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.5, 0.5 }, { 0.7, 0.6 } }));

    // No current stroke: continuing and ending change nothing.
    engine.continueStroke({ 0.9, 0.9 });
    engine.endStroke();
    EXPECT_EQ(engine.strokes().size(), 2u);
}

TEST_F(EngineTest, AClickWithoutMovementDropsShapesButPlacesTexts)
{
    click(PaintTool::pen, { 0.5, 0.5 });
    click(PaintTool::rectangle, { 0.5, 0.5 });
    click(PaintTool::mosaic, { 0.5, 0.5 });
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_FALSE(engine.currentStroke());
    EXPECT_FALSE(engine.selectedStrokeID());

    click(PaintTool::text, { 0.5, 0.5 });
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_EQ(last().tool, PaintTool::text);
    EXPECT_EQ(last().points.size(), 1u);
    EXPECT_FALSE(last().text);
    EXPECT_EQ(last().fontSize, 20);
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    EXPECT_EQ(engine.pendingTextEditID(), last().id);
    engine.commitOrDiscardPendingText("x", std::nullopt, canvas);

    click(PaintTool::label, { 0.2, 0.3 });
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.2, 0.3 }, { 0.2, 0.3 } }));
    EXPECT_EQ(engine.pendingTextEditID(), last().id);

    // A text dragged keeps only its anchor; a label its two ends.
    engine.commitOrDiscardPendingText("y", std::nullopt, canvas);
    drag(PaintTool::text, { 0.7, 0.7 }, { 0.9, 0.9 });
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.7, 0.7 } }));
}

TEST_F(EngineTest, StyleOfNewStrokesByTool)
{
    engine.setLineWidth(3);
    drag(PaintTool::eraser, { 0.1, 0.1 }, { 0.2, 0.2 });
    EXPECT_EQ(last().color, PaintColor(1, 1, 1, 1));
    EXPECT_EQ(last().lineWidth, 9);
    engine.setSelectedTool(PaintTool::eraser);
    engine.startStroke({ 0.3, 0.3 }, canvas, PaintColor(0.2, 0.2, 0.2, 1));
    engine.continueStroke({ 0.4, 0.4 });
    engine.endStroke();
    EXPECT_EQ(last().color, PaintColor(0.2, 0.2, 0.2, 1));

    engine.setSelectedColor(PaintColor(0, 0, 1, 1));
    drag(PaintTool::blackout, { 0.1, 0.5 }, { 0.2, 0.6 });
    EXPECT_EQ(last().color, PaintColor(0, 0, 0, 1));
    EXPECT_EQ(last().lineWidth, 3);

    engine.setEffectAmount(14);
    drag(PaintTool::blur, { 0.5, 0.1 }, { 0.6, 0.2 });
    EXPECT_EQ(last().effectAmount, 14);
    EXPECT_EQ(last().color, PaintColor(0, 0, 1, 1));
    drag(PaintTool::mosaic, { 0.7, 0.1 }, { 0.8, 0.2 });
    EXPECT_EQ(last().effectAmount, 14);

    engine.setBadgeSize(30);
    engine.setFontSize(17);
    click(PaintTool::numberBadge, { 0.5, 0.9 });
    EXPECT_EQ(last().badgeSize, 30);
    EXPECT_FALSE(last().fontSize);
    click(PaintTool::label, { 0.9, 0.9 });
    EXPECT_EQ(last().fontSize, 17);
    EXPECT_FALSE(last().badgeSize);
}

TEST_F(EngineTest, BadgesAndNumberedLabelsShareOneCounter)
{
    place(PaintTool::numberBadge, { 0.1, 0.1 }, "");
    engine.setIncludeNumberInLabel(true);
    drag(PaintTool::label, { 0.2, 0.2 }, { 0.3, 0.2 });
    engine.commitOrDiscardPendingText("Hier", std::nullopt, canvas);
    place(PaintTool::numberBadge, { 0.5, 0.5 }, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, 2, 3 }));
    EXPECT_EQ(engine.nextBadgeNumber(), 4);

    engine.clear();
    engine.setIncludeNumberInLabel(false);
    place(PaintTool::numberBadge, { 0.1, 0.1 }, "");
    drag(PaintTool::label, { 0.2, 0.2 }, { 0.3, 0.2 });
    engine.commitOrDiscardPendingText("Hier", std::nullopt, canvas);
    place(PaintTool::numberBadge, { 0.5, 0.5 }, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, std::nullopt, 2 }));
}

TEST_F(EngineTest, DraggingOnAStrokeOfTheSameToolMovesIt)
{
    drag(PaintTool::rectangle, { 0.2, 0.2 }, { 0.6, 0.5 });
    drag(PaintTool::ellipse, { 0.65, 0.2 }, { 0.95, 0.5 });
    click(PaintTool::select, { 0.01, 0.99 }); // nothing selected

    // The rectangle's outline, away from its corners: it moves.
    drag(PaintTool::rectangle, { 0.4, 0.2 }, { 0.5, 0.3 });
    ASSERT_EQ(engine.strokes().size(), 2u);
    expectPoint(at(0).points[0], 0.3, 0.3);
    expectPoint(at(0).points[1], 0.7, 0.6);
    EXPECT_EQ(engine.selectedStrokeID(), at(0).id);
    EXPECT_FALSE(engine.isDraggingSelection());

    // The ellipse's outline with the rectangle tool: a new rectangle.
    drag(PaintTool::rectangle, { 0.8, 0.2 }, { 0.9, 0.4 });
    ASSERT_EQ(engine.strokes().size(), 3u);
    EXPECT_EQ(last().tool, PaintTool::rectangle);
    EXPECT_EQ(at(1).points, (std::vector<PaintPoint> { { 0.65, 0.2 }, { 0.95, 0.5 } }));

    // The pen draws over pen strokes.
    drag(PaintTool::pen, { 0.1, 0.8 }, { 0.5, 0.8 });
    click(PaintTool::select, { 0.01, 0.99 });
    drag(PaintTool::pen, { 0.3, 0.8 }, { 0.3, 0.9 });
    EXPECT_EQ(engine.strokes().size(), 5u);
    EXPECT_EQ(at(3).points, (std::vector<PaintPoint> { { 0.1, 0.8 }, { 0.5, 0.8 } }));
}

TEST_F(EngineTest, ChangesAreAnnounced)
{
    QSignalSpy strokes(&engine, &PaintEngine::strokesChanged);
    QSignalSpy current(&engine, &PaintEngine::currentStrokeChanged);
    QSignalSpy selection(&engine, &PaintEngine::selectedStrokeIDChanged);
    QSignalSpy any(&engine, &PaintEngine::changed);

    engine.startStroke({ 0.1, 0.1 }, canvas);
    engine.continueStroke({ 0.2, 0.2 });
    EXPECT_EQ(current.count(), 2);
    EXPECT_EQ(strokes.count(), 0);
    engine.endStroke();
    EXPECT_EQ(strokes.count(), 1);
    EXPECT_EQ(selection.count(), 1);
    EXPECT_EQ(any.count(), 3); // one per operation

    QSignalSpy tool(&engine, &PaintEngine::selectedToolChanged);
    engine.setSelectedTool(PaintTool::pen); // unchanged
    engine.setSelectedTool(PaintTool::arrow);
    EXPECT_EQ(tool.count(), 1);

    // Observers see the finished state: the stroke is in the list when the selection is announced.
    std::size_t strokesSeen = 0;
    QObject::connect(&engine, &PaintEngine::selectedStrokeIDChanged, [&] { strokesSeen = engine.strokes().size(); });
    drag(PaintTool::arrow, { 0.5, 0.5 }, { 0.7, 0.7 });
    EXPECT_EQ(strokesSeen, 2u);
}

// A text entry is never left open behind a new stroke, and an empty text or label does not linger.
TEST_F(EngineTest, PendingEmptyTextsGoWhenAnotherStrokeStarts)
{
    click(PaintTool::text, { 0.1, 0.1 });
    const QUuid emptyText = last().id;
    click(PaintTool::text, { 0.5, 0.5 }); // replaces the pending one
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_NE(last().id, emptyText);
    EXPECT_EQ(engine.pendingTextEditID(), last().id);

    engine.setIncludeNumberInLabel(true);
    click(PaintTool::label, { 0.3, 0.3 });
    EXPECT_EQ(engine.strokes().size(), 1u); // the empty text went
    EXPECT_EQ(last().badgeNumber, 1);
    click(PaintTool::numberBadge, { 0.7, 0.7 });
    // The empty numbered label went and its number with it.
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_EQ(last().tool, PaintTool::numberBadge);
    EXPECT_EQ(last().badgeNumber, 1);
    EXPECT_EQ(engine.nextBadgeNumber(), 2);

    // A badge without caption stays when the next stroke starts; the entry is closed.
    engine.setSelectedTool(PaintTool::pen);
    engine.startStroke({ 0.1, 0.9 }, canvas);
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.strokes().size(), 1u);
    engine.continueStroke({ 0.2, 0.9 });
    engine.endStroke();

    // A pending text that already has its words keeps them.
    place(PaintTool::text, { 0.5, 0.3 }, "Hallo");
    engine.beginEditingExistingText(last().id);
    drag(PaintTool::arrow, { 0.8, 0.8 }, { 0.9, 0.9 });
    EXPECT_EQ(at(2).text, "Hallo");
    EXPECT_FALSE(engine.pendingTextEditID());

    // An empty text still open when another text is opened for editing goes too.
    click(PaintTool::text, { 0.2, 0.6 });
    const QUuid hallo = at(2).id;
    engine.beginEditingExistingText(hallo);
    EXPECT_EQ(engine.strokes().size(), 4u);
    EXPECT_EQ(engine.pendingTextEditID(), hallo);
}
