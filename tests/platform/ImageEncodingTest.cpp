// The one PNG encoder: every kind of image comes back pixel for pixel.
#include "platform/ImageEncoding.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QImage noise(QImage::Format format, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = random.generate();
    }
    return image.convertToFormat(format);
}

}

TEST(ImageEncoding, OpaqueAndTranslucentImagesComeBackPixelForPixel)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
             QImage::Format_RGB888, QImage::Format_Grayscale8, QImage::Format_RGBA8888}) {
        const QImage image = noise(format, 37, 23);
        const std::optional<QByteArray> png = ImageEncoding::png(image);
        ASSERT_TRUE(png.has_value()) << format;
        ASSERT_TRUE(png->startsWith("\x89PNG\r\n\x1a\n")) << format;
        const QImage decoded = QImage::fromData(*png, "png");
        ASSERT_EQ(decoded.size(), image.size()) << format;
        EXPECT_EQ(decoded.hasAlphaChannel(), image.hasAlphaChannel()) << format;
        // Premultiplied pixels lose precision where they are nearly transparent; compare straight.
        const QImage expected = image.convertToFormat(QImage::Format_ARGB32);
        const QImage actual = decoded.convertToFormat(QImage::Format_ARGB32);
        int mismatches = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                mismatches += expected.pixel(x, y) != actual.pixel(x, y);
        EXPECT_EQ(mismatches, 0) << format;
    }
    EXPECT_FALSE(ImageEncoding::png(QImage()).has_value());
}

TEST(ImageEncoding, EveryLevelAndFilterDecodesToTheSamePixels)
{
    const QImage image = noise(QImage::Format_RGB32, 64, 40);
    for (int level : {0, 2, 9}) {
        for (int filters : {0x08, 0x20, 0xf8}) {
            const std::optional<QByteArray> png = ImageEncoding::png(image, {level, filters, 0});
            ASSERT_TRUE(png.has_value());
            EXPECT_EQ(QImage::fromData(*png).convertToFormat(QImage::Format_RGB32), image) << level << " " << filters;
        }
    }
}

// Tall images are deflated in bands on several threads and joined into one zlib stream: the seams,
// the combined checksum and each filter's use of the row above the band must decode exactly.
TEST(ImageEncoding, ImagesDeflatedInBandsDecodeToTheSamePixelsWithEveryFilter)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage image = noise(format, 61, 1000);
        for (int filters : {0x08, 0x10, 0x20, 0x40, 0x80}) {
            for (int level : {1, 6}) {
                const std::optional<QByteArray> png = ImageEncoding::png(image, {level, filters, 0});
                ASSERT_TRUE(png.has_value());
                const QImage decoded = QImage::fromData(*png, "png");
                ASSERT_FALSE(decoded.isNull()) << format << " " << filters << " " << level;
                EXPECT_EQ(decoded.convertToFormat(image.format()), image) << format << " " << filters << " " << level;
            }
        }
    }
}
