#include "annotation/PaintPoint.h"

#include <gtest/gtest.h>

TEST(PaintPointTest, EqualityCoversPressure)
{
    EXPECT_EQ(PaintPoint(0.1, 0.2), PaintPoint(0.1, 0.2, 1));
    EXPECT_NE(PaintPoint(0.1, 0.2, 1), PaintPoint(0.1, 0.2, 0.5));
}
