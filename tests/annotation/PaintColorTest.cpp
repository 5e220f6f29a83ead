// PaintColor: hex strings, equality, hashing and QColor.
#include "annotation/PaintColor.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(PaintColorTest, HexStringsThatParse)
{
    const auto expectColor = [](const QString& hex, double r, double g, double b) {
        const std::optional<PaintColor> color = PaintColor::fromHexString(hex);
        ASSERT_TRUE(color) << hex.toStdString();
        EXPECT_NEAR(color->red, r, 1e-4);
        EXPECT_NEAR(color->green, g, 1e-4);
        EXPECT_NEAR(color->blue, b, 1e-4);
        EXPECT_EQ(color->opacity, 1.0);
    };
    expectColor("  #ff3b30\n", 1.0, 0.2314, 0.1882);
    expectColor("FF3B30", 1.0, 0.2314, 0.1882);
    expectColor("#000000", 0, 0, 0);
    expectColor("\t#FfFfFf ", 1, 1, 1);
    // The base-16 reading takes a leading sign: +FFFFF is 0x0FFFFF.
    expectColor("+FFFFF", 15.0 / 255, 1, 1);
    EXPECT_EQ(PaintColor::fromHexString("FF3B30"), PaintColor::fromHexString("#ff3b30"));
    // Written back: clamped, rounded, upper case; a parsed text comes back as it was.
    EXPECT_EQ(PaintColor(0.5, 1.2, -1, 1).hexString(), QStringLiteral("#80FF00"));
    EXPECT_EQ(PaintColor(NAN, 0, 1, 1).hexString(), QStringLiteral("#0000FF"));
    EXPECT_EQ(PaintColor::fromHexString("#a1B2c3")->hexString(), QStringLiteral("#A1B2C3"));
}

TEST(PaintColorTest, HexStringsThatFail)
{
    for (const char* hex :
        {"", "#", "#FF3B3", "##FF3B30", "FF3B30AA", "#GG0000", "FF 3B3", "-FFFFF", "++FFFF", "0xFFFF"}) {
        EXPECT_FALSE(PaintColor::fromHexString(QString::fromLatin1(hex))) << hex;
    }
    // A minus sign is only harmless in front of zero.
    EXPECT_EQ(PaintColor::fromHexString("-00000"), PaintColor(0, 0, 0, 1));
}

TEST(PaintColorTest, EqualityHashingAndQColor)
{
    const PaintColor positive(0.0, 0.5, 0.5, 1);
    const PaintColor negative(-0.0, 0.5, 0.5, 1);
    EXPECT_EQ(positive, negative);
    EXPECT_EQ(positive.hash(), negative.hash());
    EXPECT_NE(PaintColor(0.5, 0.5, 0.5, 1), PaintColor(0.5, 0.5, 0.5, 0.5));
    EXPECT_NE(PaintColor(1, 0, 0, 1).hash(), PaintColor(0, 1, 0, 1).hash());

    const PaintColor fromQt(QColor(255, 0, 51, 128));
    EXPECT_DOUBLE_EQ(fromQt.red, 1.0);
    EXPECT_DOUBLE_EQ(fromQt.green, 0.0);
    EXPECT_NEAR(fromQt.blue, 0.2, 1e-4);
    EXPECT_NEAR(fromQt.opacity, 128.0 / 255, 1e-4);
    EXPECT_EQ(PaintColor(QColor()), PaintColor(0, 0, 0, 1));
    EXPECT_EQ(PaintColor(1, 0, 0, 1).toQColor(), QColor(255, 0, 0));
}
