// Bounded decoding of image bytes from outside: the pixel limit holds for the declared size (before
// anything is allocated) and for what was decoded, and reading can scale down to a size to cover.
#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage filled(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

}

TEST(ImageDecoder, RefusesImagesWhosePixelsExceedTheLimit)
{
    const QByteArray png = encoded(filled(100, 50), "png");
    const qint64 exact = 100 * 50 * 4;
    EXPECT_EQ(ImageDecoder::decode(png, exact).size(), QSize(100, 50));
    EXPECT_TRUE(ImageDecoder::decode(png, exact - 1).isNull());

    // A header that claims 60,000 × 60,000 pixels (14 GB) is refused from the header alone.
    QByteArray bmp = encoded(filled(2, 2), "bmp");
    qToLittleEndian<qint32>(60000, bmp.data() + 18);
    qToLittleEndian<qint32>(60000, bmp.data() + 22);
    EXPECT_TRUE(ImageDecoder::decode(bmp, 256LL * 1024 * 1024).isNull());

    EXPECT_TRUE(ImageDecoder::decode(QByteArray(), exact).isNull());
    EXPECT_TRUE(ImageDecoder::decode("not an image at all", exact).isNull());
}

TEST(ImageDecoder, ScalesDownWhileReadingToCoverTheAskedSize)
{
    const QByteArray png = encoded(filled(400, 200), "png");
    EXPECT_EQ(ImageDecoder::decode(png, 1 << 20, QSize(100, 100)).size(), QSize(200, 100));
    // Smaller than the size in one direction: read as it is.
    EXPECT_EQ(ImageDecoder::decode(png, 1 << 20, QSize(500, 100)).size(), QSize(400, 200));
    // Fitting inside: larger in either direction is enough.
    EXPECT_EQ(ImageDecoder::decode(png, 1 << 20, QSize(500, 100), Qt::KeepAspectRatio).size(), QSize(200, 100));
    EXPECT_EQ(ImageDecoder::decode(png, 1 << 20, QSize(800, 800), Qt::KeepAspectRatio).size(), QSize(400, 200));
}
