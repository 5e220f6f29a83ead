// Bounded decoding of image bytes from outside: the pixel limit holds for the declared size (before
// anything is allocated) and for what was decoded, and reading can scale down to a size to cover;
// a damaged PNG is refused without a line on the terminal.
#include "platform/Console.h"
#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryFile>
#include <QtEndian>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

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

// Qt's PNG reader lets libpng print its errors on stderr; a truncated or damaged PNG never gets
// there, and the warnings of one that reads all the same are kept off the terminal as the program
// keeps them (its start quiets the libraries).
TEST(ImageDecoder, ADamagedPngIsRefusedWithoutALineOnTheTerminal)
{
    Console::quietLibraries();
    QImage noise(200, 100, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
    const QByteArray png = encoded(noise, "png");
    QByteArray damaged = png;
    damaged.replace(png.size() / 2, 40, QByteArray(40, 'U'));
    QByteArray badHeader = png;
    badHeader[19] = char(badHeader[19] ^ 1); // the width's low byte
    QByteArray remark = png;                 // a text chunk whose checksum is wrong after the header
    remark.insert(33, QByteArray("\0\0\0\x05tEXtab\0cd\0\0\0\0", 17));

    QTemporaryFile caught;
    ASSERT_TRUE(caught.open());
    std::fflush(stderr);
    const int terminal = ::dup(2);
    ::dup2(caught.handle(), 2);
    EXPECT_TRUE(ImageDecoder::decode(damaged, 1 << 20).isNull());
    EXPECT_TRUE(ImageDecoder::decode(png.left(png.size() / 2), 1 << 20).isNull());
    EXPECT_TRUE(ImageDecoder::decode(png.chopped(12), 1 << 20).isNull()); // no IEND
    EXPECT_FALSE(ImageDecoder::declaredSize(badHeader).isValid());
    EXPECT_EQ(ImageDecoder::decode(remark, 1 << 20), noise);
    std::fflush(stderr);
    ::dup2(terminal, 2);
    ::close(terminal);
    ASSERT_TRUE(caught.seek(0));
    EXPECT_EQ(caught.readAll().toStdString(), "");
}
