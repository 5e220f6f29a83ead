// Bounding boxes, hit tests and handle positions of strokes.
#include "FixedWidthTextMeasurer.h"
#include "annotation/PaintStroke.h"

#include <gtest/gtest.h>

namespace {

PaintStroke stroke(PaintTool tool, std::vector<PaintPoint> points)
{
    PaintStroke s;
    s.id = QUuid::createUuid();
    s.tool = tool;
    s.points = std::move(points);
    s.lineWidth = 3;
    return s;
}

const FixedWidthTextMeasurer measurer(10);

} // namespace

TEST(StrokeGeometryTest, ToleranceFollowsTheLongerSideOfANonSquareCanvas)
{
    // 1600 × 800 with threshold 8: t = 0.005, i.e. 8 points across and 4 points down.
    const QSizeF canvas(1600, 800);
    const PaintStroke vertical = stroke(PaintTool::line, {{0.5, 0.2}, {0.5, 0.8}});
    EXPECT_TRUE(vertical.hitTest({0.504, 0.5}, canvas, 8, measurer)); // 6.4 points
    EXPECT_FALSE(vertical.hitTest({0.506, 0.5}, canvas, 8, measurer));
    EXPECT_FALSE(vertical.hitTest({0.494, 0.5}, canvas, 8, measurer));

    const PaintStroke horizontal = stroke(PaintTool::arrow, {{0.2, 0.5}, {0.8, 0.5}});
    EXPECT_TRUE(horizontal.hitTest({0.5, 0.504}, canvas, 8, measurer)); // 3.2 points
    EXPECT_FALSE(horizontal.hitTest({0.5, 0.506}, canvas, 8, measurer));
    // Beyond the end the distance is to the end point.
    EXPECT_TRUE(horizontal.hitTest({0.803, 0.502}, canvas, 8, measurer));
    EXPECT_FALSE(horizontal.hitTest({0.805, 0.5}, canvas, 8, measurer));

    // The same holds on a portrait canvas, where the height is the longer side.
    EXPECT_TRUE(vertical.hitTest({0.5079, 0.5}, QSizeF(500, 1000), 8, measurer)); // 3.95 points
    EXPECT_FALSE(vertical.hitTest({0.5081, 0.5}, QSizeF(500, 1000), 8, measurer));
}

TEST(StrokeGeometryTest, PenNeedsTwoPointsAndTestsEverySegment)
{
    const QSizeF canvas(1000, 1000);
    EXPECT_FALSE(stroke(PaintTool::pen, {{0.5, 0.5}}).hitTest({0.5, 0.5}, canvas, 8, measurer));
    EXPECT_FALSE(stroke(PaintTool::pen, {}).hitTest({0, 0}, canvas, 8, measurer));
    const PaintStroke zigzag = stroke(PaintTool::eraser, {{0.1, 0.1}, {0.2, 0.2}, {0.3, 0.1}});
    EXPECT_TRUE(zigzag.hitTest({0.25, 0.15}, canvas, 8, measurer));
    EXPECT_FALSE(zigzag.hitTest({0.2, 0.1}, canvas, 8, measurer));
    EXPECT_FALSE(stroke(PaintTool::select, {{0.5, 0.5}, {0.6, 0.6}}).hitTest({0.5, 0.5}, canvas, 8, measurer));
}

TEST(StrokeGeometryTest, RectangleOutlineBandAndFilledRegions)
{
    const QSizeF canvas(800, 400); // threshold 8 gives t = 0.01
    const PaintStroke rect = stroke(PaintTool::rectangle, {{0.2, 0.2}, {0.6, 0.5}});
    EXPECT_FALSE(rect.hitTest({0.4, 0.35}, canvas, 8, measurer));
    EXPECT_TRUE(rect.hitTest({0.2, 0.35}, canvas, 8, measurer));
    EXPECT_TRUE(rect.hitTest({0.195, 0.35}, canvas, 8, measurer));
    EXPECT_FALSE(rect.hitTest({0.185, 0.35}, canvas, 8, measurer));
    // Narrower than 2t: the whole grown rectangle counts.
    EXPECT_TRUE(stroke(PaintTool::rectangle, {{0.5, 0.5}, {0.505, 0.6}}).hitTest({0.5025, 0.55}, canvas, 8, measurer));

    for (PaintTool tool : {PaintTool::filledRectangle, PaintTool::mosaic, PaintTool::spotlight, PaintTool::blackout,
             PaintTool::blur, PaintTool::areaHighlight}) {
        // Drawn from bottom right to top left, the region is the same.
        const PaintStroke region = stroke(tool, {{0.6, 0.5}, {0.2, 0.2}});
        EXPECT_TRUE(region.hitTest({0.4, 0.35}, canvas, 8, measurer)) << tool.rawValue().toStdString();
        EXPECT_TRUE(region.hitTest({0.2, 0.2}, canvas, 8, measurer));   // min edges inclusive
        EXPECT_FALSE(region.hitTest({0.6, 0.35}, canvas, 8, measurer)); // max edges exclusive
        EXPECT_FALSE(region.hitTest({0.195, 0.35}, canvas, 8, measurer));
        EXPECT_FALSE(stroke(tool, {{0.2, 0.2}, {0.2, 0.5}}).hitTest({0.2, 0.3}, canvas, 8, measurer));
    }
}

TEST(StrokeGeometryTest, EllipseIsHitOnItsOutlineWhicheverWayItWasDrawn)
{
    const QSizeF canvas(1000, 1000);
    const PaintStroke forwards = stroke(PaintTool::ellipse, {{0.2, 0.2}, {0.6, 0.5}});
    const PaintStroke backwards = stroke(PaintTool::ellipse, {{0.6, 0.5}, {0.2, 0.2}});
    const PaintStroke upwards = stroke(PaintTool::ellipse, {{0.2, 0.5}, {0.6, 0.2}});
    for (const PaintStroke& ellipse : {forwards, backwards, upwards}) {
        EXPECT_TRUE(ellipse.hitTest({0.2, 0.35}, canvas, 8, measurer));
        EXPECT_TRUE(ellipse.hitTest({0.4, 0.504}, canvas, 8, measurer));
        EXPECT_FALSE(ellipse.hitTest({0.4, 0.35}, canvas, 8, measurer)); // centre
        EXPECT_FALSE(ellipse.hitTest({0.2, 0.2}, canvas, 8, measurer));  // corner of the box
    }
    EXPECT_FALSE(stroke(PaintTool::ellipse, {{0.4, 0.2}, {0.4, 0.6}}).hitTest({0.4, 0.4}, canvas, 8, measurer));
}

TEST(StrokeGeometryTest, HighlighterIsHitOnTheBarItPaints)
{
    const QSizeF canvas(1000, 500);
    // Without a text line: 14 points thick (4 × 3 is less) around the points' middle, y 243...257.
    const PaintStroke free = stroke(PaintTool::highlighter, {{0.1, 0.5}, {0.5, 0.5}});
    EXPECT_EQ(free.highlighterBar(canvas), QRectF(100, 243, 400, 14));
    EXPECT_TRUE(free.hitTest({0.3, 0.51}, canvas, 8, measurer));
    EXPECT_TRUE(free.hitTest({0.3, 0.487}, canvas, 8, measurer));
    EXPECT_FALSE(free.hitTest({0.3, 0.52}, canvas, 8, measurer));
    EXPECT_FALSE(free.hitTest({0.55, 0.5}, canvas, 8, measurer));

    PaintStroke thick = free;
    thick.lineWidth = 5; // 20 points
    EXPECT_TRUE(thick.hitTest({0.3, 0.518}, canvas, 8, measurer));

    // On a text line the bar is 1.25 line heights around the line's middle (y 197.5...222.5).
    PaintStroke snapped = stroke(PaintTool::highlighter, {{0.1, 0.42}, {0.5, 0.42}});
    snapped.textSnapRect = QRectF(0.1, 0.4, 0.5, 0.04);
    EXPECT_TRUE(snapped.hitTest({0.3, 0.43}, canvas, 8, measurer));
    EXPECT_TRUE(snapped.hitTest({0.3, 0.396}, canvas, 8, measurer));
    EXPECT_FALSE(snapped.hitTest({0.3, 0.45}, canvas, 8, measurer));
}

TEST(StrokeGeometryTest, TextsAndBadgesAreHitWhereTheyAreDrawn)
{
    const QSizeF canvas(1000, 500); // threshold 8: 3t = 0.024
    PaintStroke text = stroke(PaintTool::text, {{0.5, 0.5}});
    EXPECT_TRUE(text.hitTest({0.52, 0.5}, canvas, 8, measurer)); // within 3t, no text yet
    EXPECT_FALSE(text.hitTest({0.53, 0.5}, canvas, 8, measurer));

    // "Hello world" is 110 × 25 points, centred on the anchor: x 445...555, y 237.5...262.5.
    text.text = QStringLiteral("Hello world");
    EXPECT_EQ(text.textLayoutRect(canvas, measurer), QRectF(445, 237.5, 110, 25));
    EXPECT_EQ(measurer.lastWeight, QFont::DemiBold);
    EXPECT_EQ(measurer.lastFontSize, 20);
    EXPECT_TRUE(text.hitTest({0.55, 0.5}, canvas, 8, measurer));
    EXPECT_TRUE(text.hitTest({0.446, 0.52}, canvas, 8, measurer));
    EXPECT_FALSE(text.hitTest({0.56, 0.5}, canvas, 8, measurer));
    EXPECT_FALSE(text.hitTest({0.5, 0.53}, canvas, 8, measurer));

    // A sized box: its rectangle, never smaller than the 40 × 20 points it is drawn with.
    const PaintStroke box = stroke(PaintTool::text, {{0.2, 0.2}, {0.4, 0.3}});
    EXPECT_TRUE(box.hitTest({0.3, 0.25}, canvas, 8, measurer));
    EXPECT_FALSE(box.hitTest({0.41, 0.25}, canvas, 8, measurer));
    const PaintStroke collapsed = stroke(PaintTool::text, {{0.5, 0.5}, {0.5, 0.5}});
    EXPECT_TRUE(collapsed.hitTest({0.535, 0.535}, canvas, 8, measurer));
    EXPECT_FALSE(collapsed.hitTest({0.545, 0.5}, canvas, 8, measurer));

    // A badge of 48 points: anywhere on its 24-point radius, beyond 3t of its centre too.
    PaintStroke badge = stroke(PaintTool::numberBadge, {{0.5, 0.5}});
    badge.badgeSize = 48;
    EXPECT_TRUE(badge.hitTest({0.5, 0.54}, canvas, 8, measurer)); // 20 points down
    EXPECT_TRUE(badge.hitTest({0.523, 0.5}, canvas, 8, measurer));
    EXPECT_FALSE(badge.hitTest({0.5, 0.55}, canvas, 8, measurer));
    badge.badgeSize.reset(); // 24 points: radius 12, less than 3t along x
    EXPECT_TRUE(badge.hitTest({0.523, 0.5}, canvas, 8, measurer));
    EXPECT_FALSE(badge.hitTest({0.5, 0.526}, canvas, 8, measurer));
}

TEST(StrokeGeometryTest, LabelChipSizeAndHits)
{
    const QSizeF canvas(1000, 500);
    PaintStroke label = stroke(PaintTool::label, {{0.2, 0.2}, {0.5, 0.5}});
    EXPECT_FALSE(label.labelChipRect(canvas, measurer));
    // Without text: 3t around the last point; endpoints by distance.
    EXPECT_TRUE(label.hitTest({0.52, 0.51}, canvas, 8, measurer));
    EXPECT_EQ(label.hitTestEndpoint({0.505, 0.5}, canvas, 10, measurer), 1);
    EXPECT_EQ(label.hitTestEndpoint({0.2, 0.205}, canvas, 10, measurer), 0);

    label.text = QStringLiteral("abcd"); // 40 points
    label.badgeNumber = 3;
    const std::optional<QRectF> numbered = label.labelChipRect(canvas, measurer);
    ASSERT_TRUE(numbered);
    EXPECT_EQ(measurer.lastFontSize, 15);
    EXPECT_EQ(measurer.lastWeight, QFont::DemiBold);
    EXPECT_DOUBLE_EQ(numbered->width(), 81.5);
    EXPECT_DOUBLE_EQ(numbered->height(), 27.5);
    EXPECT_EQ(numbered->center(), QPointF(500, 250));
    label.badgeNumber.reset();
    EXPECT_EQ(label.labelChipRect(canvas, measurer), QRectF(472, 236.25, 56, 27.5));

    EXPECT_TRUE(label.hitTest({0.525, 0.52}, canvas, 8, measurer)); // on the chip, off the leader
    EXPECT_FALSE(label.hitTest({0.53, 0.53}, canvas, 8, measurer));
    EXPECT_EQ(label.hitTestEndpoint({0.525, 0.52}, canvas, 10, measurer), 1);
    EXPECT_EQ(label.hitTestEndpoint({0.2, 0.205}, canvas, 10, measurer), 0);
    // Near the last point but off the chip: the last point is reached only through the chip.
    EXPECT_FALSE(label.hitTestEndpoint({0.5, 0.53}, canvas, 10, measurer));
    label.fontSize = 30;
    EXPECT_DOUBLE_EQ(label.labelChipRect(canvas, measurer)->height(), 47);
}

TEST(StrokeGeometryTest, EndpointsBendApexAndCorners)
{
    const QSizeF canvas(1000, 1000);
    const PaintStroke line = stroke(PaintTool::line, {{0.2, 0.2}, {0.205, 0.2}});
    // Both points are near: the first wins.
    EXPECT_EQ(line.hitTestEndpoint({0.2025, 0.2}, canvas, 10, measurer), 0);
    EXPECT_EQ(line.hitTestEndpoint({0.214, 0.2}, canvas, 10, measurer), 1);
    EXPECT_FALSE(line.hitTestEndpoint({0.5, 0.5}, canvas, 10, measurer));
    EXPECT_FALSE(
        stroke(PaintTool::line, {{0.2, 0.2}, {0.3, 0.3}, {0.4, 0.4}}).hitTestEndpoint({0.2, 0.2}, canvas, 10, measurer));
    EXPECT_FALSE(
        stroke(PaintTool::rectangle, {{0.2, 0.2}, {0.3, 0.3}}).hitTestEndpoint({0.2, 0.2}, canvas, 10, measurer));

    PaintStroke arrow = stroke(PaintTool::arrow, {{0, 0}, {1, 0}});
    EXPECT_EQ(arrow.bendApex(), PaintPoint(0.5, 0, 1));
    arrow.controlPoint = PaintPoint(0.5, 1, 0.3);
    EXPECT_EQ(arrow.bendApex(), PaintPoint(0.5, 0.5, 1));
    EXPECT_FALSE(stroke(PaintTool::arrow, {{0, 0}}).bendApex());
    EXPECT_FALSE(stroke(PaintTool::line, {{0, 0}, {1, 0}}).bendApex());

    // Corners are numbered by the bounding box, not by the drawing direction.
    const PaintStroke rect = stroke(PaintTool::rectangle, {{0.6, 0.5}, {0.2, 0.2}});
    EXPECT_EQ(rect.boundingBox(), QRectF(0.2, 0.2, 0.4, 0.3));
    EXPECT_EQ(rect.hitTestCorner({0.205, 0.205}, canvas, 10), 0);
    EXPECT_EQ(rect.hitTestCorner({0.6, 0.2}, canvas, 10), 1);
    EXPECT_EQ(rect.hitTestCorner({0.2, 0.5}, canvas, 10), 2);
    EXPECT_EQ(rect.hitTestCorner({0.595, 0.505}, canvas, 10), 3);
    EXPECT_FALSE(rect.hitTestCorner({0.4, 0.2}, canvas, 10));
    EXPECT_FALSE(stroke(PaintTool::line, {{0.2, 0.2}, {0.6, 0.5}}).hitTestCorner({0.2, 0.2}, canvas, 10));
    EXPECT_FALSE(stroke(PaintTool::pen, {}).boundingBox().isValid());
    EXPECT_EQ(stroke(PaintTool::pen, {}).boundingBox(), QRectF(0, 0, 0, 0));
}

TEST(StrokeGeometryTest, TextBoxHandlePoint)
{
    const QSizeF canvas(1000, 500);
    PaintStroke text = stroke(PaintTool::text, {{0.1, 0.2}});
    text.text = QStringLiteral("ab"); // 20 points wide, less than 160
    EXPECT_EQ(text.textBoxHandlePoint(canvas, measurer), QPointF(100 + 160, 100 + 32));
    EXPECT_EQ(measurer.lastFontSize, 20);
    text.text = QString(20, QLatin1Char('x')); // 200 points
    EXPECT_EQ(text.textBoxHandlePoint(canvas, measurer), QPointF(300, 132));
    text.fontSize = 10;
    EXPECT_EQ(text.textBoxHandlePoint(canvas, measurer), QPointF(300, 116));

    const PaintStroke box = stroke(PaintTool::text, {{0.1, 0.2}, {0.3, 0.4}});
    EXPECT_EQ(box.textBoxHandlePoint(canvas, measurer), QPointF(300, 200));
    EXPECT_FALSE(stroke(PaintTool::text, {}).textBoxHandlePoint(canvas, measurer));
    EXPECT_FALSE(stroke(PaintTool::label, {{0.1, 0.2}}).textBoxHandlePoint(canvas, measurer));
}
