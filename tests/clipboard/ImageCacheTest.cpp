// Thumbnails of new entries and the decoded-image cache of the history rows.
#include "clipboard/ImageCache.h"
#include "ClipboardTestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

#include <gtest/gtest.h>

namespace {

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}

TEST(ImageCacheThumbnail, SmallImagesStayAsTheyAreLargeOnesBecomePNG)
{
    const QByteArray small = imageBytes(150, 100, "jpeg");
    EXPECT_EQ(ImageCache::createThumbnail(small, 200), small); // byte for byte, whatever the format

    const QByteArray wide = *ImageCache::createThumbnail(imageBytes(400, 100), 200);
    EXPECT_TRUE(wide.startsWith("\x89PNG"));
    EXPECT_EQ(imageSize(wide), QSize(200, 50));
    EXPECT_EQ(imageSize(*ImageCache::createThumbnail(imageBytes(100, 400, "jpeg"), 200)), QSize(50, 200));
    EXPECT_EQ(imageSize(*ImageCache::createThumbnail(imageBytes(4000, 3, "png"), 200)), QSize(200, 1));
}

TEST(ImageCacheThumbnail, NoImageNoThumbnail)
{
    EXPECT_EQ(ImageCache::createThumbnail(QByteArray(), 200), std::nullopt);
    EXPECT_EQ(ImageCache::createThumbnail("not an image at all", 200), std::nullopt);
    QByteArray truncated = imageBytes(300, 300);
    truncated.truncate(40);
    EXPECT_EQ(ImageCache::createThumbnail(truncated, 200), std::nullopt);
    // A PNG header that declares 60000 × 60000 pixels is refused before any pixel is allocated.
    QByteArray huge = imageBytes(2, 2);
    huge.replace(16, 8, QByteArray::fromHex("0000ea600000ea60"));
    huge.replace(29, 4, BinaryPlistWriter::be(crc32(huge.mid(12, 17)), 4));
    EXPECT_EQ(ImageCache::createThumbnail(huge, 200), std::nullopt);
}

TEST(ImageCacheStore, CostsLimitsAndEmptyingOnHide)
{
    NotificationCenter center;
    ImageCache cache(center);

    QImage image(10, 20, QImage::Format_ARGB32);
    cache.setImage(image, "a");
    EXPECT_EQ(cache.totalCost(), image.sizeInBytes());
    EXPECT_EQ(ImageCache::cost(QImage()), 0);
    ASSERT_TRUE(cache.image("a").has_value());
    EXPECT_EQ(cache.image("a")->size(), QSize(10, 20));

    // Replacing a key does not count it twice.
    cache.setImage(image, "a");
    EXPECT_EQ(cache.count(), 1);
    EXPECT_EQ(cache.totalCost(), image.sizeInBytes());

    // The count limit drops the least recently used entries.
    for (int i = 0; i < ImageCache::countLimit + 10; ++i) {
        cache.setImage(QImage(1, 1, QImage::Format_ARGB32), QString::number(i));
        cache.image("a"); // keep "a" in use
    }
    EXPECT_EQ(cache.count(), ImageCache::countLimit);
    EXPECT_TRUE(cache.image("a").has_value());
    EXPECT_FALSE(cache.image("0").has_value());

    // The cost limit too: five 16 MiB images leave three.
    for (int i = 0; i < 5; ++i)
        cache.setImage(QImage(2048, 2048, QImage::Format_ARGB32), QStringLiteral("big%1").arg(i));
    EXPECT_LE(cache.totalCost(), ImageCache::totalCostLimit);
    EXPECT_FALSE(cache.image("big0").has_value());
    EXPECT_TRUE(cache.image("big4").has_value());

    center.post(NotificationNames::historyWindowDidHide);
    EXPECT_EQ(cache.count(), 0);
    EXPECT_EQ(cache.totalCost(), 0);
    EXPECT_FALSE(cache.image("big4").has_value());
    cache.setImage(image, "again");
    EXPECT_TRUE(cache.image("again").has_value());
}
