// The paint engine: creating strokes, then selecting, reshaping, text entry, numbering,
// restyling, undo and clear.
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
    engine.startStroke({0.1, 0.1}, canvas);
    ASSERT_TRUE(engine.currentStroke());
    EXPECT_TRUE(engine.strokes().empty());
    for (PaintPoint p : {PaintPoint(0.2, 0.1), PaintPoint(0.2, 0.1), PaintPoint(0.3, 0.2)})
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
    engine.startStroke({0.5, 0.5}, canvas);
    engine.continueStroke({0.6, 0.55});
    engine.continueStroke({0.7, 0.6});
    engine.endStroke();
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.5, 0.5}, {0.7, 0.6}}));

    // No current stroke: continuing and ending change nothing.
    engine.continueStroke({0.9, 0.9});
    engine.endStroke();
    EXPECT_EQ(engine.strokes().size(), 2u);
}

TEST_F(EngineTest, AClickWithoutMovementDropsShapesButPlacesTexts)
{
    click(PaintTool::pen, {0.5, 0.5});
    click(PaintTool::rectangle, {0.5, 0.5});
    click(PaintTool::mosaic, {0.5, 0.5});
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_FALSE(engine.currentStroke());
    EXPECT_FALSE(engine.selectedStrokeID());

    click(PaintTool::text, {0.5, 0.5});
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_EQ(last().tool, PaintTool::text);
    EXPECT_EQ(last().points.size(), 1u);
    EXPECT_FALSE(last().text);
    EXPECT_EQ(last().fontSize, 20);
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    EXPECT_EQ(engine.pendingTextEditID(), last().id);
    engine.commitOrDiscardPendingText("x", std::nullopt, canvas);

    click(PaintTool::label, {0.2, 0.3});
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.2, 0.3}, {0.2, 0.3}}));
    EXPECT_EQ(engine.pendingTextEditID(), last().id);

    // A text dragged keeps only its anchor; a label its two ends.
    engine.commitOrDiscardPendingText("y", std::nullopt, canvas);
    drag(PaintTool::text, {0.7, 0.7}, {0.9, 0.9});
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.7, 0.7}}));
}

TEST_F(EngineTest, StyleOfNewStrokesByTool)
{
    engine.setLineWidth(3);
    drag(PaintTool::eraser, {0.1, 0.1}, {0.2, 0.2});
    EXPECT_EQ(last().color, PaintColor(1, 1, 1, 1));
    EXPECT_EQ(last().lineWidth, 9);
    engine.setSelectedTool(PaintTool::eraser);
    engine.startStroke({0.3, 0.3}, canvas, PaintColor(0.2, 0.2, 0.2, 1));
    engine.continueStroke({0.4, 0.4});
    engine.endStroke();
    EXPECT_EQ(last().color, PaintColor(0.2, 0.2, 0.2, 1));

    engine.setSelectedColor(PaintColor(0, 0, 1, 1));
    drag(PaintTool::blackout, {0.1, 0.5}, {0.2, 0.6});
    EXPECT_EQ(last().color, PaintColor(0, 0, 0, 1));
    EXPECT_EQ(last().lineWidth, 3);

    engine.setEffectAmount(14);
    drag(PaintTool::blur, {0.5, 0.1}, {0.6, 0.2});
    EXPECT_EQ(last().effectAmount, 14);
    EXPECT_EQ(last().color, PaintColor(0, 0, 1, 1));
    drag(PaintTool::mosaic, {0.7, 0.1}, {0.8, 0.2});
    EXPECT_EQ(last().effectAmount, 14);

    engine.setBadgeSize(30);
    engine.setFontSize(17);
    click(PaintTool::numberBadge, {0.5, 0.9});
    EXPECT_EQ(last().badgeSize, 30);
    EXPECT_FALSE(last().fontSize);
    click(PaintTool::label, {0.9, 0.9});
    EXPECT_EQ(last().fontSize, 17);
    EXPECT_FALSE(last().badgeSize);
}

TEST_F(EngineTest, BadgesAndNumberedLabelsShareOneCounter)
{
    place(PaintTool::numberBadge, {0.1, 0.1}, "");
    engine.setIncludeNumberInLabel(true);
    drag(PaintTool::label, {0.2, 0.2}, {0.3, 0.2});
    engine.commitOrDiscardPendingText("Hier", std::nullopt, canvas);
    place(PaintTool::numberBadge, {0.5, 0.5}, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, 2, 3}));
    EXPECT_EQ(engine.nextBadgeNumber(), 4);

    engine.clear();
    engine.setIncludeNumberInLabel(false);
    place(PaintTool::numberBadge, {0.1, 0.1}, "");
    drag(PaintTool::label, {0.2, 0.2}, {0.3, 0.2});
    engine.commitOrDiscardPendingText("Hier", std::nullopt, canvas);
    place(PaintTool::numberBadge, {0.5, 0.5}, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, std::nullopt, 2}));
}

TEST_F(EngineTest, DraggingOnAStrokeOfTheSameToolMovesIt)
{
    drag(PaintTool::rectangle, {0.2, 0.2}, {0.6, 0.5});
    drag(PaintTool::ellipse, {0.65, 0.2}, {0.95, 0.5});
    click(PaintTool::select, {0.01, 0.99}); // nothing selected

    // The rectangle's outline, away from its corners: it moves.
    drag(PaintTool::rectangle, {0.4, 0.2}, {0.5, 0.3});
    ASSERT_EQ(engine.strokes().size(), 2u);
    expectPoint(at(0).points[0], 0.3, 0.3);
    expectPoint(at(0).points[1], 0.7, 0.6);
    EXPECT_EQ(engine.selectedStrokeID(), at(0).id);
    EXPECT_FALSE(engine.isDraggingSelection());

    // The ellipse's outline with the rectangle tool: a new rectangle.
    drag(PaintTool::rectangle, {0.8, 0.2}, {0.9, 0.4});
    ASSERT_EQ(engine.strokes().size(), 3u);
    EXPECT_EQ(last().tool, PaintTool::rectangle);
    EXPECT_EQ(at(1).points, (std::vector<PaintPoint> {{0.65, 0.2}, {0.95, 0.5}}));

    // The pen draws over pen strokes.
    drag(PaintTool::pen, {0.1, 0.8}, {0.5, 0.8});
    click(PaintTool::select, {0.01, 0.99});
    drag(PaintTool::pen, {0.3, 0.8}, {0.3, 0.9});
    EXPECT_EQ(engine.strokes().size(), 5u);
    EXPECT_EQ(at(3).points, (std::vector<PaintPoint> {{0.1, 0.8}, {0.5, 0.8}}));
}

TEST_F(EngineTest, ChangesAreAnnounced)
{
    QSignalSpy strokes(&engine, &PaintEngine::strokesChanged);
    QSignalSpy current(&engine, &PaintEngine::currentStrokeChanged);
    QSignalSpy selection(&engine, &PaintEngine::selectedStrokeIDChanged);
    QSignalSpy any(&engine, &PaintEngine::changed);

    engine.startStroke({0.1, 0.1}, canvas);
    engine.continueStroke({0.2, 0.2});
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
    drag(PaintTool::arrow, {0.5, 0.5}, {0.7, 0.7});
    EXPECT_EQ(strokesSeen, 2u);
}

// A text entry is never left open behind a new stroke, and an empty text or label does not linger.
TEST_F(EngineTest, PendingEmptyTextsGoWhenAnotherStrokeStarts)
{
    click(PaintTool::text, {0.1, 0.1});
    const QUuid emptyText = last().id;
    click(PaintTool::text, {0.5, 0.5}); // replaces the pending one
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_NE(last().id, emptyText);
    EXPECT_EQ(engine.pendingTextEditID(), last().id);

    engine.setIncludeNumberInLabel(true);
    click(PaintTool::label, {0.3, 0.3});
    EXPECT_EQ(engine.strokes().size(), 1u); // the empty text went
    EXPECT_EQ(last().badgeNumber, 1);
    click(PaintTool::numberBadge, {0.7, 0.7});
    // The empty numbered label went and its number with it.
    ASSERT_EQ(engine.strokes().size(), 1u);
    EXPECT_EQ(last().tool, PaintTool::numberBadge);
    EXPECT_EQ(last().badgeNumber, 1);
    EXPECT_EQ(engine.nextBadgeNumber(), 2);

    // A badge without caption stays when the next stroke starts; the entry is closed.
    engine.setSelectedTool(PaintTool::pen);
    engine.startStroke({0.1, 0.9}, canvas);
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.strokes().size(), 1u);
    engine.continueStroke({0.2, 0.9});
    engine.endStroke();

    // A pending text that already has its words keeps them.
    place(PaintTool::text, {0.5, 0.3}, "Hallo");
    engine.beginEditingExistingText(last().id);
    drag(PaintTool::arrow, {0.8, 0.8}, {0.9, 0.9});
    EXPECT_EQ(at(2).text, "Hallo");
    EXPECT_FALSE(engine.pendingTextEditID());

    // An empty text still open when another text is opened for editing goes too.
    click(PaintTool::text, {0.2, 0.6});
    const QUuid hallo = at(2).id;
    engine.beginEditingExistingText(hallo);
    EXPECT_EQ(engine.strokes().size(), 4u);
    EXPECT_EQ(engine.pendingTextEditID(), hallo);
}

// Selecting, reshaping, text entry, numbering, restyling, undo and clear.
TEST_F(EngineTest, SelectDragFromEmptyCanvasTakesHoldWhereItReachesAStroke)
{
    drag(PaintTool::line, {0.2, 0.5}, {0.6, 0.5});
    engine.setSelectedTool(PaintTool::select);
    engine.startStroke({0.4, 0.3}, canvas);
    EXPECT_FALSE(engine.isDraggingSelection());
    // The canvas starts again at every change until something is hit.
    engine.startStroke({0.4, 0.5}, canvas);
    ASSERT_TRUE(engine.isDraggingSelection());
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    engine.continueStroke({0.45, 0.6});
    engine.endStroke();
    expectPoint(last().points[0], 0.25, 0.6);
    expectPoint(last().points[1], 0.65, 0.6);
    EXPECT_FALSE(engine.isDraggingSelection());
    EXPECT_EQ(engine.selectedStrokeID(), last().id); // the selection stays
}

TEST_F(EngineTest, CornerOfALowerRectangleWinsOverABodyAbove)
{
    drag(PaintTool::rectangle, {0.2, 0.2}, {0.6, 0.5});
    drag(PaintTool::pen, {0.1, 0.1}, {0.3, 0.3}); // passes through the corner
    drag(PaintTool::select, {0.2, 0.2}, {0.7, 0.6});
    // Corner 0 dragged past the fixed corner flips the rectangle.
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> {{0.7, 0.6}, {0.6, 0.5, 1.0}}));
    EXPECT_EQ(at(1).points, (std::vector<PaintPoint> {{0.1, 0.1}, {0.3, 0.3}}));
    EXPECT_EQ(engine.selectedStrokeID(), at(0).id);

    // Corners 1, 2, 3 keep the diagonally opposite corner.
    drag(PaintTool::rectangle, {0.2, 0.7}, {0.4, 0.9});
    drag(PaintTool::select, {0.4, 0.7}, {0.5, 0.65}); // top right
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.5, 0.65}, {0.2, 0.9}}));
    drag(PaintTool::select, {0.2, 0.9}, {0.1, 0.95}); // bottom left
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.1, 0.95}, {0.5, 0.65}}));
}

TEST_F(EngineTest, MovingAWholeStrokeCarriesItsBendAndTextLine)
{
    drag(PaintTool::arrow, {0.2, 0.5}, {0.6, 0.5});
    // Bend it with the arrow tool through its handle: the curve's middle goes through the pointer.
    drag(PaintTool::arrow, {0.4, 0.5}, {0.4, 0.3});
    ASSERT_TRUE(last().controlPoint);
    expectPoint(*last().controlPoint, 0.4, 0.1);
    expectPoint(*last().bendApex(), 0.4, 0.3);
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.2, 0.5}, {0.6, 0.5}}));

    // A whole-stroke drag of 0.1 to the right, started on the shaft.
    drag(PaintTool::select, {0.25, 0.5}, {0.35, 0.5});
    expectPoint(last().points[0], 0.3, 0.5);
    expectPoint(last().points[1], 0.7, 0.5);
    expectPoint(*last().controlPoint, 0.5, 0.1);
    expectPoint(*last().bendApex(), 0.5, 0.3);

    // A highlighter keeps its two ends and the text line it snapped to, and both move together.
    const QRectF line(0.1, 0.8, 0.3, 0.04);
    engine.setSelectedTool(PaintTool::highlighter);
    engine.startStroke({0.1, 0.82}, canvas, std::nullopt, line);
    engine.continueStroke({0.25, 0.82});
    engine.continueStroke({0.4, 0.82});
    engine.endStroke();
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.1, 0.82}, {0.4, 0.82}}));
    EXPECT_EQ(last().textSnapRect, line);
    drag(PaintTool::highlighter, {0.2, 0.82}, {0.3, 0.72});
    expectPoint(last().points[0], 0.2, 0.72);
    ASSERT_TRUE(last().textSnapRect);
    EXPECT_NEAR(last().textSnapRect->x(), 0.2, 1e-9);
    EXPECT_NEAR(last().textSnapRect->y(), 0.7, 1e-9);
    EXPECT_NEAR(last().textSnapRect->width(), 0.3, 1e-9);
}

TEST_F(EngineTest, EndpointHandlesOnlyForTheSelectedStrokesTool)
{
    drag(PaintTool::line, {0.2, 0.2}, {0.6, 0.2});
    // With the pen the line's endpoint is no handle: a new pen stroke starts there.
    drag(PaintTool::pen, {0.6, 0.2}, {0.8, 0.4});
    EXPECT_EQ(engine.strokes().size(), 2u);
    EXPECT_EQ(at(0).points[1], PaintPoint(0.6, 0.2));

    // With the line tool and the line selected, the endpoint moves.
    drag(PaintTool::select, {0.4, 0.2}, {0.4, 0.2});
    ASSERT_EQ(engine.selectedStrokeID(), at(0).id);
    drag(PaintTool::line, {0.605, 0.2}, {0.7, 0.3});
    EXPECT_EQ(engine.strokes().size(), 2u);
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> {{0.2, 0.2}, {0.7, 0.3}}));
}

TEST_F(EngineTest, TextBoxHandleResizesOnlyTheSelectedText)
{
    place(PaintTool::text, {0.1, 0.1}, "ab");
    // The handle of an unsized text lies 160 points right of and 32 below its anchor.
    EXPECT_EQ(last().textBoxHandlePoint(canvas, measurer), QPointF(260, 132));
    const QUuid textID = last().id;

    // A rectangle whose outline passes the handle's place.
    drag(PaintTool::rectangle, {0.26, 0.132}, {0.5, 0.3});
    click(PaintTool::select, {0.9, 0.9});
    ASSERT_FALSE(engine.selectedStrokeID());
    // Not selected, the text shows no handle and the click takes the rectangle's corner.
    drag(PaintTool::select, {0.261, 0.133}, {0.2, 0.1});
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    EXPECT_EQ(at(0).points.size(), 1u);

    // Selected, its handle is taken first and makes a box from the anchor to the pointer.
    engine.beginEditingExistingText(textID);
    engine.commitOrDiscardPendingText("ab", std::nullopt, canvas);
    ASSERT_EQ(engine.selectedStrokeID(), textID);
    engine.setSelectedTool(PaintTool::select);
    engine.startStroke({0.265, 0.135}, canvas);
    engine.continueStroke({0.4, 0.3});
    engine.continueStroke({0.45, 0.35}); // every step from the saved points
    engine.endStroke();
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> {{0.1, 0.1}, {0.45, 0.35}}));

    // With the text tool the selected box's handle, now its far corner, resizes it again.
    drag(PaintTool::text, {0.45, 0.35}, {0.5, 0.4});
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> {{0.1, 0.1}, {0.5, 0.4}}));
    EXPECT_EQ(engine.strokes().size(), 2u);
}

TEST_F(EngineTest, CommittingText)
{
    canvas = QSizeF(800, 400);
    click(PaintTool::text, {0.5, 0.5});
    engine.commitOrDiscardPendingText("  Hallo Welt \n", QSizeF(100, 40), canvas);
    EXPECT_EQ(last().text, "Hallo Welt");
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.4375, 0.45}, {0.5625, 0.55}}));
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.selectedStrokeID(), last().id);

    // Without a box, or for labels and badges, the points stay.
    click(PaintTool::text, {0.2, 0.2});
    engine.commitOrDiscardPendingText("x", std::nullopt, canvas);
    EXPECT_EQ(last().points.size(), 1u);
    drag(PaintTool::label, {0.1, 0.8}, {0.3, 0.7});
    engine.commitOrDiscardPendingText("Label", QSizeF(100, 40), canvas);
    EXPECT_EQ(last().points, (std::vector<PaintPoint> {{0.1, 0.8}, {0.3, 0.7}}));

    // Blanks remove a text or a label; a badge stays without caption.
    const std::size_t before = engine.strokes().size();
    click(PaintTool::text, {0.7, 0.2});
    engine.commitOrDiscardPendingText("   ", QSizeF(100, 40), canvas);
    EXPECT_EQ(engine.strokes().size(), before);
    EXPECT_FALSE(engine.selectedStrokeID());
    click(PaintTool::label, {0.7, 0.6});
    engine.commitOrDiscardPendingText("\n\t", std::nullopt, canvas);
    EXPECT_EQ(engine.strokes().size(), before);
    click(PaintTool::numberBadge, {0.9, 0.9});
    engine.commitOrDiscardPendingText("Schritt", std::nullopt, canvas);
    engine.beginEditingExistingText(last().id);
    engine.commitOrDiscardPendingText(" ", std::nullopt, canvas);
    EXPECT_EQ(engine.strokes().size(), before + 1);
    EXPECT_FALSE(last().text);
    EXPECT_EQ(last().badgeNumber, 1);

    // No pending entry, or its stroke gone: the commit only clears the entry.
    engine.commitOrDiscardPendingText("ignored", std::nullopt, canvas);
    EXPECT_FALSE(last().text);
    click(PaintTool::text, {0.3, 0.3});
    engine.deleteSelectedStroke();
    EXPECT_TRUE(engine.pendingTextEditID());
    engine.commitOrDiscardPendingText("late", std::nullopt, canvas);
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.strokes().size(), before + 1);
}

TEST_F(EngineTest, ReopeningTextsByDoubleClick)
{
    drag(PaintTool::rectangle, {0.1, 0.1}, {0.9, 0.9});
    place(PaintTool::text, {0.5, 0.5}, "Hallo welt"); // 100 points wide
    place(PaintTool::numberBadge, {0.3, 0.3}, "");
    click(PaintTool::select, {0.01, 0.01});

    EXPECT_EQ(engine.editableTextStroke({0.54, 0.5}, canvas), at(1).id); // on the words
    EXPECT_EQ(engine.editableTextStroke({0.31, 0.3}, canvas), at(2).id);
    EXPECT_FALSE(engine.editableTextStroke({0.1, 0.5}, canvas)); // the rectangle is no text
    EXPECT_FALSE(engine.selectedStrokeID());

    engine.beginEditingExistingText(at(0).id);
    EXPECT_FALSE(engine.pendingTextEditID());
    engine.beginEditingExistingText(at(1).id);
    EXPECT_EQ(engine.pendingTextEditID(), at(1).id);
    EXPECT_EQ(engine.selectedStrokeID(), at(1).id);
    EXPECT_EQ(at(1).text, "Hallo welt");
}

TEST_F(EngineTest, NumbersStayGaplessThroughDeleteUndoAndClear)
{
    for (double x : {0.1, 0.3, 0.5})
        place(PaintTool::numberBadge, {x, 0.5}, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, 2, 3}));

    click(PaintTool::select, {0.3, 0.5});
    engine.deleteSelectedStroke();
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, 2}));
    EXPECT_EQ(engine.nextBadgeNumber(), 3);
    EXPECT_FALSE(engine.selectedStrokeID());
    engine.deleteSelectedStroke(); // nothing selected: nothing happens
    EXPECT_EQ(engine.strokes().size(), 2u);

    engine.undo();
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1}));
    EXPECT_EQ(engine.nextBadgeNumber(), 2);

    engine.clear();
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_EQ(engine.nextBadgeNumber(), 1);
    place(PaintTool::numberBadge, {0.5, 0.5}, "");
    EXPECT_EQ(last().badgeNumber, 1);

    engine.undo();
    engine.undo(); // empty list: only renumbers
    EXPECT_EQ(engine.nextBadgeNumber(), 1);
}

TEST_F(EngineTest, CommittingAnEmptyNumberedLabelRenumbers)
{
    engine.setIncludeNumberInLabel(true);
    place(PaintTool::numberBadge, {0.1, 0.1}, "");
    drag(PaintTool::label, {0.2, 0.2}, {0.3, 0.3});
    engine.commitOrDiscardPendingText("Label", std::nullopt, canvas);
    place(PaintTool::numberBadge, {0.5, 0.5}, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, 2, 3}));

    engine.beginEditingExistingText(at(1).id);
    engine.commitOrDiscardPendingText("", std::nullopt, canvas);
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, 2}));
    EXPECT_EQ(engine.nextBadgeNumber(), 3);

    // A new numbered label left empty gives its number back.
    drag(PaintTool::label, {0.6, 0.6}, {0.7, 0.7});
    EXPECT_EQ(last().badgeNumber, 3);
    engine.commitOrDiscardPendingText(" ", std::nullopt, canvas);
    EXPECT_EQ(engine.nextBadgeNumber(), 3);
    place(PaintTool::numberBadge, {0.9, 0.9}, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> {1, 2, 3}));
}

TEST_F(EngineTest, UndoRemovesTheLastStrokeOnly)
{
    drag(PaintTool::line, {0.1, 0.1}, {0.3, 0.1});
    drag(PaintTool::line, {0.1, 0.5}, {0.3, 0.5});
    drag(PaintTool::select, {0.2, 0.1}, {0.2, 0.2}); // move the first line
    engine.undo();
    ASSERT_EQ(engine.strokes().size(), 1u);
    expectPoint(at(0).points[0], 0.1, 0.2);
    EXPECT_EQ(engine.selectedStrokeID(), at(0).id); // another stroke's selection stays

    place(PaintTool::label, {0.6, 0.6}, "x");
    engine.beginEditingExistingText(last().id);
    engine.undo();
    EXPECT_FALSE(engine.selectedStrokeID());
    EXPECT_FALSE(engine.pendingTextEditID());
}

TEST_F(EngineTest, RestylingTheSelection)
{
    engine.setLineWidth(2);
    drag(PaintTool::blackout, {0.1, 0.1}, {0.2, 0.2});
    engine.applyColorToSelection(PaintColor(0, 1, 0, 1));
    EXPECT_EQ(last().color, PaintColor(0, 0, 0, 1));
    engine.applyLineWidthToSelection(7);
    EXPECT_EQ(last().lineWidth, 7);

    drag(PaintTool::areaHighlight, {0.3, 0.1}, {0.4, 0.2});
    const PaintColor before = last().color;
    engine.applyColorToSelection(PaintColor(0, 1, 0, 1));
    EXPECT_EQ(last().color, before);

    drag(PaintTool::eraser, {0.5, 0.5}, {0.6, 0.6});
    EXPECT_EQ(last().lineWidth, 6);
    engine.applyColorToSelection(PaintColor(0, 1, 0, 1));
    engine.applyLineWidthToSelection(4); // not tripled
    EXPECT_EQ(last().color, PaintColor(0, 1, 0, 1));
    EXPECT_EQ(last().lineWidth, 4);

    drag(PaintTool::rectangle, {0.1, 0.7}, {0.2, 0.8});
    engine.applyFontSizeToSelection(40);
    engine.applyBadgeSizeToSelection(40);
    engine.applyEffectAmountToSelection(40);
    EXPECT_FALSE(last().fontSize || last().badgeSize || last().effectAmount);

    place(PaintTool::label, {0.5, 0.9}, "Label");
    engine.applyFontSizeToSelection(30);
    EXPECT_EQ(last().fontSize, 30);
    place(PaintTool::numberBadge, {0.9, 0.9}, "");
    engine.applyBadgeSizeToSelection(36);
    EXPECT_EQ(last().badgeSize, 36);
    drag(PaintTool::mosaic, {0.7, 0.1}, {0.8, 0.2});
    engine.applyEffectAmountToSelection(25);
    EXPECT_EQ(last().effectAmount, 25);

    // No selection: nothing changes.
    click(PaintTool::select, {0.99, 0.5});
    engine.applyEffectAmountToSelection(3);
    EXPECT_EQ(last().effectAmount, 25);
}

TEST_F(EngineTest, ClearKeepsTheStyle)
{
    engine.setSelectedColor(PaintColor(0, 0, 1, 1));
    engine.setLineWidth(8);
    click(PaintTool::text, {0.5, 0.5});
    engine.setSelectedTool(PaintTool::arrow);
    engine.startStroke({0.1, 0.1}, canvas);
    engine.clear();
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_FALSE(engine.currentStroke());
    EXPECT_FALSE(engine.selectedStrokeID());
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.selectedTool(), PaintTool::arrow);
    EXPECT_EQ(engine.selectedColor(), PaintColor(0, 0, 1, 1));
    EXPECT_EQ(engine.lineWidth(), 8);
}
