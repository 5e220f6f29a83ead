// The program's text measurement: font sizes are canvas points.
#include "annotation/QtTextMeasurer.h"

#include <gtest/gtest.h>

TEST(QtTextMeasurerTest, MeasuresLinesInCanvasPoints)
{
    const TextMeasurer& measurer = TextMeasurer::shared();
    const QSizeF small = measurer.size(QStringLiteral("Hallo Welt"), 20, QFont::DemiBold);
    const QSizeF large = measurer.size(QStringLiteral("Hallo Welt"), 40, QFont::DemiBold);
    ASSERT_GT(small.width(), 0);
    // A line is about as high as the font is large, in canvas points, and twice the size measures about twice as wide.
    EXPECT_GT(small.height(), 20 * 0.9);
    EXPECT_LT(small.height(), 20 * 1.6);
    EXPECT_NEAR(large.width() / small.width(), 2.0, 0.2);

    const QSizeF twoLines = measurer.size(QStringLiteral("Hallo Welt\nHallo"), 20, QFont::DemiBold);
    EXPECT_DOUBLE_EQ(twoLines.width(), small.width());
    EXPECT_GT(twoLines.height(), 1.8 * small.height());
    EXPECT_EQ(measurer.width(QString(), 20, QFont::DemiBold), 0);

    const QFont font = QtTextMeasurer::font(15, QFont::Bold);
    EXPECT_EQ(font.pointSizeF(), 15);
    EXPECT_EQ(font.weight(), QFont::Bold);
}
