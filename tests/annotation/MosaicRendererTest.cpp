// The effect filters: pixel size kept, pixellate grid centred, blur fading at the border, brighten.
#include "annotation/MosaicRenderer.h"

#include <QColor>
#include <QImage>
#include <cmath>
#include <gtest/gtest.h>

namespace {

QImage solid(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

} // namespace

TEST(MosaicRendererTest, KeepPixelSizeAndFailOnUnusableInput)
{
    QImage image = solid(37, 23, QColor(10, 200, 30));
    image.setDevicePixelRatio(2);
    for (const QImage& out : {MosaicRenderer::brightened(image, 0.25f), MosaicRenderer::pixelated(image, 10),
             MosaicRenderer::blurred(image, 30), MosaicRenderer::pixelated(image, 0.5),
             MosaicRenderer::blurred(image, 0)}) {
        ASSERT_FALSE(out.isNull());
        EXPECT_EQ(out.size(), image.size());
        EXPECT_EQ(out.devicePixelRatio(), 2);
    }
    // The input's pixels are never written.
    EXPECT_EQ(image.pixel(0, 0), QColor(10, 200, 30).rgba());

    EXPECT_TRUE(MosaicRenderer::brightened(QImage(), 0.25f).isNull());
    EXPECT_TRUE(MosaicRenderer::brightened(image, NAN).isNull());
    // A redaction that cannot be computed fails rather than returning the pixels unchanged.
    EXPECT_TRUE(MosaicRenderer::pixelated(image, 0).isNull());
    EXPECT_TRUE(MosaicRenderer::pixelated(image, INFINITY).isNull());
    EXPECT_TRUE(MosaicRenderer::blurred(image, -1).isNull());
    EXPECT_TRUE(MosaicRenderer::blurred(image, NAN).isNull());
    EXPECT_TRUE(MosaicRenderer::blurred(QImage(), 5).isNull());
}

TEST(MosaicRendererTest, PixellateCellsAreCentredOnTheImage)
{
    // Red grows with x, green with y, so every cell border shows as a step.
    QImage image(100, 50, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            image.setPixel(x, y, qRgb(2 * x, 4 * y, 0));
    const QImage out = MosaicRenderer::pixelated(image, 10);

    // Columns split at 0, 10, ..., 100; rows at the centre 25 ± 10: 5, 15, 25, 35, 45 (partial cells
    // of 5 rows at top and bottom).
    const int columnStarts[] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    const int rowStarts[] = {0, 5, 15, 25, 35, 45, 50};
    for (int c = 0; c + 1 < 11; ++c) {
        for (int r = 0; r + 1 < 7; ++r) {
            const QRgb first = out.pixel(columnStarts[c], rowStarts[r]);
            for (int y = rowStarts[r]; y < rowStarts[r + 1]; ++y)
                for (int x = columnStarts[c]; x < columnStarts[c + 1]; ++x)
                    ASSERT_EQ(out.pixel(x, y), first) << x << "," << y;
            // One colour per cell: the mean of its pixels.
            EXPECT_EQ(qRed(first), columnStarts[c] + columnStarts[c + 1] - 1);
            EXPECT_EQ(qGreen(first), 2 * (rowStarts[r] + rowStarts[r + 1] - 1));
        }
    }
    EXPECT_NE(out.pixel(50, 24), out.pixel(50, 25));
    EXPECT_NE(out.pixel(49, 25), out.pixel(50, 25));
}

TEST(MosaicRendererTest, BlurFadesTheBorderAndKeepsTheInside)
{
    const QImage image = solid(200, 120, Qt::red);
    const QImage out = MosaicRenderer::blurred(image, 6);
    const QColor centre = out.pixelColor(100, 60);
    EXPECT_EQ(centre.alpha(), 255);
    EXPECT_EQ(centre.red(), 255);
    // The outside counts as transparent: half coverage on an edge, a quarter in a corner, and the
    // step profile of a Gaussian of standard deviation 6 (84 % one sigma inside).
    EXPECT_NEAR(qAlpha(out.pixel(0, 60)), 255 * 0.54, 12); // pixel centre 0.5 px inside
    EXPECT_NEAR(qAlpha(out.pixel(0, 0)), 255 * 0.54 * 0.54, 12);
    EXPECT_NEAR(qAlpha(out.pixel(6, 60)), 255 * 0.86, 10);
    EXPECT_EQ(qAlpha(out.pixel(30, 60)), 255);
    // Symmetric, and still premultiplied red only.
    EXPECT_NEAR(qAlpha(out.pixel(199, 60)), qAlpha(out.pixel(0, 60)), 1);
    EXPECT_EQ(qRed(out.pixel(0, 60)), qAlpha(out.pixel(0, 60)));
    EXPECT_EQ(qGreen(out.pixel(0, 60)), 0);

    // Wide blurs (computed on a reduced copy) keep the same profile: Φ(0.5/24) at the edge, Φ(1) one
    // sigma inside, the centre untouched.
    const QImage wide = MosaicRenderer::blurred(solid(400, 400, Qt::red), 24);
    EXPECT_NEAR(qAlpha(wide.pixel(0, 200)), 255 * 0.51, 10);
    EXPECT_NEAR(qAlpha(wide.pixel(24, 200)), 255 * 0.85, 10);
    EXPECT_EQ(wide.pixel(200, 200), qRgb(255, 0, 0));

    // A stronger radius reaches further in.
    EXPECT_LT(qAlpha(MosaicRenderer::blurred(image, 20).pixel(6, 60)), qAlpha(out.pixel(6, 60)));
    EXPECT_EQ(MosaicRenderer::blurred(image, 0), image);
}

TEST(MosaicRendererTest, BrightenAddsAQuarterAndWhiteStaysWhite)
{
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(100, 50, 0, 255));
    image.setPixel(1, 0, qRgba(255, 255, 255, 255));
    image.setPixel(2, 0, qRgba(102, 0, 230, 128)); // translucent: the colour brightens, alpha stays
    const QImage out = MosaicRenderer::brightened(image, 0.25f).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(out.size(), image.size());
    EXPECT_EQ(out.pixel(0, 0), qRgba(164, 114, 64, 255));
    EXPECT_EQ(out.pixel(1, 0), qRgba(255, 255, 255, 255));
    const QRgb translucent = out.pixel(2, 0);
    EXPECT_EQ(qAlpha(translucent), 128);
    EXPECT_NEAR(qRed(translucent), 166, 3);
    EXPECT_NEAR(qGreen(translucent), 64, 3);
    EXPECT_EQ(qBlue(translucent), 255);
}
