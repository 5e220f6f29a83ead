#pragma once
#include "FixedWidthTextMeasurer.h"
#include "annotation/PaintEngine.h"

#include <gtest/gtest.h>

// A paint engine on a 1000 × 1000 canvas with fixed-width text, and drags as the canvas sends them.
class EngineTest : public ::testing::Test {
protected:
    FixedWidthTextMeasurer measurer {10};
    PaintEngine engine {measurer};
    QSizeF canvas {1000, 1000};

    void drag(PaintTool tool, PaintPoint from, PaintPoint to)
    {
        engine.setSelectedTool(tool);
        engine.startStroke(from, canvas);
        engine.continueStroke(to);
        engine.endStroke();
    }
    void click(PaintTool tool, PaintPoint at)
    {
        engine.setSelectedTool(tool);
        engine.startStroke(at, canvas);
        engine.endStroke();
    }
    // A text, label or badge with its text committed.
    void place(PaintTool tool, PaintPoint at, const QString& text)
    {
        click(tool, at);
        engine.commitOrDiscardPendingText(text, std::nullopt, canvas);
    }
    const PaintStroke& last() const { return engine.strokes().back(); }
    const PaintStroke& at(std::size_t index) const { return engine.strokes().at(index); }
    std::vector<std::optional<int>> badgeNumbers() const
    {
        std::vector<std::optional<int>> numbers;
        for (const PaintStroke& stroke : engine.strokes())
            numbers.push_back(stroke.badgeNumber);
        return numbers;
    }
};

inline void expectPoint(const PaintPoint& actual, double x, double y)
{
    EXPECT_NEAR(actual.x, x, 1e-9);
    EXPECT_NEAR(actual.y, y, 1e-9);
}
