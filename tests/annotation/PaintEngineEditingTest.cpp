// Selecting, reshaping, text entry, numbering, restyling, undo and clear in the paint engine.
#include "EngineTestSupport.h"

TEST_F(EngineTest, SelectDragFromEmptyCanvasTakesHoldWhereItReachesAStroke)
{
    drag(PaintTool::line, { 0.2, 0.5 }, { 0.6, 0.5 });
    engine.setSelectedTool(PaintTool::select);
    engine.startStroke({ 0.4, 0.3 }, canvas);
    EXPECT_FALSE(engine.isDraggingSelection());
    // The canvas starts again at every change until something is hit.
    engine.startStroke({ 0.4, 0.5 }, canvas);
    ASSERT_TRUE(engine.isDraggingSelection());
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    engine.continueStroke({ 0.45, 0.6 });
    engine.endStroke();
    expectPoint(last().points[0], 0.25, 0.6);
    expectPoint(last().points[1], 0.65, 0.6);
    EXPECT_FALSE(engine.isDraggingSelection());
    EXPECT_EQ(engine.selectedStrokeID(), last().id); // the selection stays
}

TEST_F(EngineTest, CornerOfALowerRectangleWinsOverABodyAbove)
{
    drag(PaintTool::rectangle, { 0.2, 0.2 }, { 0.6, 0.5 });
    drag(PaintTool::pen, { 0.1, 0.1 }, { 0.3, 0.3 }); // passes through the corner
    drag(PaintTool::select, { 0.2, 0.2 }, { 0.7, 0.6 });
    // Corner 0 dragged past the fixed corner flips the rectangle.
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> { { 0.7, 0.6 }, { 0.6, 0.5, 1.0 } }));
    EXPECT_EQ(at(1).points, (std::vector<PaintPoint> { { 0.1, 0.1 }, { 0.3, 0.3 } }));
    EXPECT_EQ(engine.selectedStrokeID(), at(0).id);

    // Corners 1, 2, 3 keep the diagonally opposite corner.
    drag(PaintTool::rectangle, { 0.2, 0.7 }, { 0.4, 0.9 });
    drag(PaintTool::select, { 0.4, 0.7 }, { 0.5, 0.65 }); // top right
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.5, 0.65 }, { 0.2, 0.9 } }));
    drag(PaintTool::select, { 0.2, 0.9 }, { 0.1, 0.95 }); // bottom left
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.1, 0.95 }, { 0.5, 0.65 } }));
}

TEST_F(EngineTest, MovingAWholeStrokeCarriesItsBendAndTextLine)
{
    drag(PaintTool::arrow, { 0.2, 0.5 }, { 0.6, 0.5 });
    // Bend it with the arrow tool through its handle: the curve's middle goes through the pointer.
    drag(PaintTool::arrow, { 0.4, 0.5 }, { 0.4, 0.3 });
    ASSERT_TRUE(last().controlPoint);
    expectPoint(*last().controlPoint, 0.4, 0.1);
    expectPoint(*last().bendApex(), 0.4, 0.3);
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.2, 0.5 }, { 0.6, 0.5 } }));

    // A whole-stroke drag of 0.1 to the right, started on the shaft.
    drag(PaintTool::select, { 0.25, 0.5 }, { 0.35, 0.5 });
    expectPoint(last().points[0], 0.3, 0.5);
    expectPoint(last().points[1], 0.7, 0.5);
    expectPoint(*last().controlPoint, 0.5, 0.1);
    expectPoint(*last().bendApex(), 0.5, 0.3);

    // A highlighter keeps its two ends and the text line it snapped to, and both move together.
    const QRectF line(0.1, 0.8, 0.3, 0.04);
    engine.setSelectedTool(PaintTool::highlighter);
    engine.startStroke({ 0.1, 0.82 }, canvas, std::nullopt, line);
    engine.continueStroke({ 0.25, 0.82 });
    engine.continueStroke({ 0.4, 0.82 });
    engine.endStroke();
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.1, 0.82 }, { 0.4, 0.82 } }));
    EXPECT_EQ(last().textSnapRect, line);
    drag(PaintTool::highlighter, { 0.2, 0.82 }, { 0.3, 0.72 });
    expectPoint(last().points[0], 0.2, 0.72);
    ASSERT_TRUE(last().textSnapRect);
    EXPECT_NEAR(last().textSnapRect->x(), 0.2, 1e-9);
    EXPECT_NEAR(last().textSnapRect->y(), 0.7, 1e-9);
    EXPECT_NEAR(last().textSnapRect->width(), 0.3, 1e-9);
}

TEST_F(EngineTest, EndpointHandlesOnlyForTheSelectedStrokesTool)
{
    drag(PaintTool::line, { 0.2, 0.2 }, { 0.6, 0.2 });
    // With the pen the line's endpoint is no handle: a new pen stroke starts there.
    drag(PaintTool::pen, { 0.6, 0.2 }, { 0.8, 0.4 });
    EXPECT_EQ(engine.strokes().size(), 2u);
    EXPECT_EQ(at(0).points[1], PaintPoint(0.6, 0.2));

    // With the line tool and the line selected, the endpoint moves.
    drag(PaintTool::select, { 0.4, 0.2 }, { 0.4, 0.2 });
    ASSERT_EQ(engine.selectedStrokeID(), at(0).id);
    drag(PaintTool::line, { 0.605, 0.2 }, { 0.7, 0.3 });
    EXPECT_EQ(engine.strokes().size(), 2u);
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> { { 0.2, 0.2 }, { 0.7, 0.3 } }));
}

TEST_F(EngineTest, TextBoxHandleResizesOnlyTheSelectedText)
{
    place(PaintTool::text, { 0.1, 0.1 }, "ab");
    // The handle of an unsized text lies 160 points right of and 32 below its anchor.
    EXPECT_EQ(last().textBoxHandlePoint(canvas, measurer), QPointF(260, 132));
    const QUuid textID = last().id;

    // A rectangle whose outline passes the handle's place.
    drag(PaintTool::rectangle, { 0.26, 0.132 }, { 0.5, 0.3 });
    click(PaintTool::select, { 0.9, 0.9 });
    ASSERT_FALSE(engine.selectedStrokeID());
    // Not selected, the text shows no handle and the click takes the rectangle's corner.
    drag(PaintTool::select, { 0.261, 0.133 }, { 0.2, 0.1 });
    EXPECT_EQ(engine.selectedStrokeID(), last().id);
    EXPECT_EQ(at(0).points.size(), 1u);

    // Selected, its handle is taken first and makes a box from the anchor to the pointer.
    engine.beginEditingExistingText(textID);
    engine.commitOrDiscardPendingText("ab", std::nullopt, canvas);
    ASSERT_EQ(engine.selectedStrokeID(), textID);
    engine.setSelectedTool(PaintTool::select);
    engine.startStroke({ 0.265, 0.135 }, canvas);
    engine.continueStroke({ 0.4, 0.3 });
    engine.continueStroke({ 0.45, 0.35 }); // every step from the saved points
    engine.endStroke();
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> { { 0.1, 0.1 }, { 0.45, 0.35 } }));

    // With the text tool the selected box's handle, now its far corner, resizes it again.
    drag(PaintTool::text, { 0.45, 0.35 }, { 0.5, 0.4 });
    EXPECT_EQ(at(0).points, (std::vector<PaintPoint> { { 0.1, 0.1 }, { 0.5, 0.4 } }));
    EXPECT_EQ(engine.strokes().size(), 2u);
}

TEST_F(EngineTest, CommittingText)
{
    canvas = QSizeF(800, 400);
    click(PaintTool::text, { 0.5, 0.5 });
    engine.commitOrDiscardPendingText("  Hallo Welt \n", QSizeF(100, 40), canvas);
    EXPECT_EQ(last().text, "Hallo Welt");
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.4375, 0.45 }, { 0.5625, 0.55 } }));
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.selectedStrokeID(), last().id);

    // Without a box, or for labels and badges, the points stay.
    click(PaintTool::text, { 0.2, 0.2 });
    engine.commitOrDiscardPendingText("x", std::nullopt, canvas);
    EXPECT_EQ(last().points.size(), 1u);
    drag(PaintTool::label, { 0.1, 0.8 }, { 0.3, 0.7 });
    engine.commitOrDiscardPendingText("Label", QSizeF(100, 40), canvas);
    EXPECT_EQ(last().points, (std::vector<PaintPoint> { { 0.1, 0.8 }, { 0.3, 0.7 } }));

    // Blanks remove a text or a label; a badge stays without caption.
    const std::size_t before = engine.strokes().size();
    click(PaintTool::text, { 0.7, 0.2 });
    engine.commitOrDiscardPendingText("   ", QSizeF(100, 40), canvas);
    EXPECT_EQ(engine.strokes().size(), before);
    EXPECT_FALSE(engine.selectedStrokeID());
    click(PaintTool::label, { 0.7, 0.6 });
    engine.commitOrDiscardPendingText("\n\t", std::nullopt, canvas);
    EXPECT_EQ(engine.strokes().size(), before);
    click(PaintTool::numberBadge, { 0.9, 0.9 });
    engine.commitOrDiscardPendingText("Schritt", std::nullopt, canvas);
    engine.beginEditingExistingText(last().id);
    engine.commitOrDiscardPendingText(" ", std::nullopt, canvas);
    EXPECT_EQ(engine.strokes().size(), before + 1);
    EXPECT_FALSE(last().text);
    EXPECT_EQ(last().badgeNumber, 1);

    // No pending entry, or its stroke gone: the commit only clears the entry.
    engine.commitOrDiscardPendingText("ignored", std::nullopt, canvas);
    EXPECT_FALSE(last().text);
    click(PaintTool::text, { 0.3, 0.3 });
    engine.deleteSelectedStroke();
    EXPECT_TRUE(engine.pendingTextEditID());
    engine.commitOrDiscardPendingText("late", std::nullopt, canvas);
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.strokes().size(), before + 1);
}

TEST_F(EngineTest, ReopeningTextsByDoubleClick)
{
    drag(PaintTool::rectangle, { 0.1, 0.1 }, { 0.9, 0.9 });
    place(PaintTool::text, { 0.5, 0.5 }, "Hallo welt"); // 100 points wide
    place(PaintTool::numberBadge, { 0.3, 0.3 }, "");
    click(PaintTool::select, { 0.01, 0.01 });

    EXPECT_EQ(engine.editableTextStroke({ 0.54, 0.5 }, canvas), at(1).id); // on the words
    EXPECT_EQ(engine.editableTextStroke({ 0.31, 0.3 }, canvas), at(2).id);
    EXPECT_FALSE(engine.editableTextStroke({ 0.1, 0.5 }, canvas)); // the rectangle is no text
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
    for (double x : { 0.1, 0.3, 0.5 })
        place(PaintTool::numberBadge, { x, 0.5 }, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, 2, 3 }));

    click(PaintTool::select, { 0.3, 0.5 });
    engine.deleteSelectedStroke();
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, 2 }));
    EXPECT_EQ(engine.nextBadgeNumber(), 3);
    EXPECT_FALSE(engine.selectedStrokeID());
    engine.deleteSelectedStroke(); // nothing selected: nothing happens
    EXPECT_EQ(engine.strokes().size(), 2u);

    engine.undo();
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1 }));
    EXPECT_EQ(engine.nextBadgeNumber(), 2);

    engine.clear();
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_EQ(engine.nextBadgeNumber(), 1);
    place(PaintTool::numberBadge, { 0.5, 0.5 }, "");
    EXPECT_EQ(last().badgeNumber, 1);

    engine.undo();
    engine.undo(); // empty list: only renumbers
    EXPECT_EQ(engine.nextBadgeNumber(), 1);
}

TEST_F(EngineTest, CommittingAnEmptyNumberedLabelRenumbers)
{
    engine.setIncludeNumberInLabel(true);
    place(PaintTool::numberBadge, { 0.1, 0.1 }, "");
    drag(PaintTool::label, { 0.2, 0.2 }, { 0.3, 0.3 });
    engine.commitOrDiscardPendingText("Label", std::nullopt, canvas);
    place(PaintTool::numberBadge, { 0.5, 0.5 }, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, 2, 3 }));

    engine.beginEditingExistingText(at(1).id);
    engine.commitOrDiscardPendingText("", std::nullopt, canvas);
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, 2 }));
    EXPECT_EQ(engine.nextBadgeNumber(), 3);

    // A new numbered label left empty gives its number back.
    drag(PaintTool::label, { 0.6, 0.6 }, { 0.7, 0.7 });
    EXPECT_EQ(last().badgeNumber, 3);
    engine.commitOrDiscardPendingText(" ", std::nullopt, canvas);
    EXPECT_EQ(engine.nextBadgeNumber(), 3);
    place(PaintTool::numberBadge, { 0.9, 0.9 }, "");
    EXPECT_EQ(badgeNumbers(), (std::vector<std::optional<int>> { 1, 2, 3 }));
}

TEST_F(EngineTest, UndoRemovesTheLastStrokeOnly)
{
    drag(PaintTool::line, { 0.1, 0.1 }, { 0.3, 0.1 });
    drag(PaintTool::line, { 0.1, 0.5 }, { 0.3, 0.5 });
    drag(PaintTool::select, { 0.2, 0.1 }, { 0.2, 0.2 }); // move the first line
    engine.undo();
    ASSERT_EQ(engine.strokes().size(), 1u);
    expectPoint(at(0).points[0], 0.1, 0.2);
    EXPECT_EQ(engine.selectedStrokeID(), at(0).id); // another stroke's selection stays

    place(PaintTool::label, { 0.6, 0.6 }, "x");
    engine.beginEditingExistingText(last().id);
    engine.undo();
    EXPECT_FALSE(engine.selectedStrokeID());
    EXPECT_FALSE(engine.pendingTextEditID());
}

TEST_F(EngineTest, RestylingTheSelection)
{
    engine.setLineWidth(2);
    drag(PaintTool::blackout, { 0.1, 0.1 }, { 0.2, 0.2 });
    engine.applyColorToSelection(PaintColor(0, 1, 0, 1));
    EXPECT_EQ(last().color, PaintColor(0, 0, 0, 1));
    engine.applyLineWidthToSelection(7);
    EXPECT_EQ(last().lineWidth, 7);

    drag(PaintTool::areaHighlight, { 0.3, 0.1 }, { 0.4, 0.2 });
    const PaintColor before = last().color;
    engine.applyColorToSelection(PaintColor(0, 1, 0, 1));
    EXPECT_EQ(last().color, before);

    drag(PaintTool::eraser, { 0.5, 0.5 }, { 0.6, 0.6 });
    EXPECT_EQ(last().lineWidth, 6);
    engine.applyColorToSelection(PaintColor(0, 1, 0, 1));
    engine.applyLineWidthToSelection(4); // not tripled
    EXPECT_EQ(last().color, PaintColor(0, 1, 0, 1));
    EXPECT_EQ(last().lineWidth, 4);

    drag(PaintTool::rectangle, { 0.1, 0.7 }, { 0.2, 0.8 });
    engine.applyFontSizeToSelection(40);
    engine.applyBadgeSizeToSelection(40);
    engine.applyEffectAmountToSelection(40);
    EXPECT_FALSE(last().fontSize || last().badgeSize || last().effectAmount);

    place(PaintTool::label, { 0.5, 0.9 }, "Label");
    engine.applyFontSizeToSelection(30);
    EXPECT_EQ(last().fontSize, 30);
    place(PaintTool::numberBadge, { 0.9, 0.9 }, "");
    engine.applyBadgeSizeToSelection(36);
    EXPECT_EQ(last().badgeSize, 36);
    drag(PaintTool::mosaic, { 0.7, 0.1 }, { 0.8, 0.2 });
    engine.applyEffectAmountToSelection(25);
    EXPECT_EQ(last().effectAmount, 25);

    // No selection: nothing changes.
    click(PaintTool::select, { 0.99, 0.5 });
    engine.applyEffectAmountToSelection(3);
    EXPECT_EQ(last().effectAmount, 25);
}

TEST_F(EngineTest, ClearKeepsTheStyle)
{
    engine.setSelectedColor(PaintColor(0, 0, 1, 1));
    engine.setLineWidth(8);
    click(PaintTool::text, { 0.5, 0.5 });
    engine.setSelectedTool(PaintTool::arrow);
    engine.startStroke({ 0.1, 0.1 }, canvas);
    engine.clear();
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_FALSE(engine.currentStroke());
    EXPECT_FALSE(engine.selectedStrokeID());
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(engine.selectedTool(), PaintTool::arrow);
    EXPECT_EQ(engine.selectedColor(), PaintColor(0, 0, 1, 1));
    EXPECT_EQ(engine.lineWidth(), 8);
}
