// The tool table: raw values, the nine resizable tools, the tool-bar order, and the traits the
// engine, the geometry and the renderers read instead of naming tools.
#include "annotation/PaintTool.h"

#include <QSet>
#include <algorithm>
#include <gtest/gtest.h>

TEST(PaintToolTest, RawValuesRoundTripAndTheResizableNine)
{
    QSet<QString> names;
    int resizable = 0;
    for (PaintTool tool : PaintTool::allCases()) {
        names.insert(tool.rawValue());
        EXPECT_EQ(PaintTool::fromRawValue(tool.rawValue()), tool);
        EXPECT_FALSE(tool.systemImage().isEmpty());
        EXPECT_FALSE(tool.tooltipDescription().isEmpty());
        resizable += tool.isResizableRegionTool() ? 1 : 0;
    }
    EXPECT_EQ(names.size(), int(PaintTool::caseCount));
    EXPECT_FALSE(PaintTool::fromRawValue(QStringLiteral("Pen")));
    EXPECT_EQ(resizable, 9);
    for (PaintTool tool : {PaintTool::rectangle, PaintTool::filledRectangle, PaintTool::ellipse, PaintTool::mosaic,
             PaintTool::spotlight, PaintTool::blackout, PaintTool::blur, PaintTool::areaHighlight,
             PaintTool::highlighter})
        EXPECT_TRUE(PaintTool(tool).isResizableRegionTool()) << PaintTool(tool).rawValue().toStdString();
}

TEST(PaintToolTest, TraitsAgreeWithWhatEachToolDoes)
{
    QSet<int> positions;
    for (PaintTool tool : PaintTool::allCases()) {
        const PaintToolTraits& t = tool.traits();
        positions.insert(t.barPosition);
        // A stroke that takes text sizes by its font or its badge; effects only in the area family.
        if (t.takesText) {
            EXPECT_TRUE(t.size == ToolSize::fontSize || t.size == ToolSize::badgeSize) << t.rawValue;
        }
        if (t.effect != ToolEffect::none) {
            EXPECT_EQ(t.family, ToolFamily::area) << t.rawValue;
        }
        if (t.handles == ToolHandles::corners) {
            EXPECT_NE(t.family, ToolFamily::segment) << t.rawValue;
        }
    }
    EXPECT_EQ(positions.size(), int(PaintTool::caseCount));
    EXPECT_EQ(*std::min_element(positions.begin(), positions.end()), 0);
    EXPECT_EQ(PaintTool(PaintTool::select).family(), ToolFamily::none);
    EXPECT_EQ(PaintTool(PaintTool::eraser).traits().color, ToolColor::background);
    EXPECT_EQ(PaintTool(PaintTool::blackout).traits().color, ToolColor::black);
    EXPECT_EQ(PaintTool(PaintTool::arrow).handles(), ToolHandles::endpointsAndBend);
    EXPECT_EQ(PaintTool(PaintTool::label).handles(), ToolHandles::endpoints);
    EXPECT_EQ(PaintTool(PaintTool::text).handles(), ToolHandles::textBox);
    EXPECT_EQ(PaintTool(PaintTool::blur).traits().size, ToolSize::effectAmount);
    EXPECT_EQ(PaintTool(PaintTool::highlighter).traits().barPosition, 2);
}
