#include "clipboard/ImageCache.h"

#include "platform/ImageDecoder.h"
#include "platform/ImageEncoding.h"
#include "platform/MemoryRelease.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

#include <cmath>

ImageCache::ImageCache(NotificationCenter& center)
    : m_center(center)
{
    // The decoded thumbnails, and the rows and entries of the panel freed with them, leave their
    // memory free in the allocator's pools; it goes back to the system, or every open of the
    // panel would add to what the process keeps.
    m_observer = m_center.observe(NotificationNames::historyWindowDidHide, nullptr, [this](const QVariantMap&) {
        removeAllObjects();
        MemoryRelease::releaseFreeMemory();
    });
}

ImageCache::~ImageCache()
{
    m_center.removeObserver(m_observer);
}

qint64 ImageCache::cost(const QImage& image)
{
    const qint64 bytes = image.sizeInBytes();
    if (bytes > 0)
        return bytes;
    return static_cast<qint64>(image.width()) * image.height() * 4;
}

std::optional<QImage> ImageCache::image(const QString& key)
{
    std::lock_guard lock(m_mutex);
    auto it = m_index.find(key);
    if (it == m_index.end())
        return std::nullopt;
    m_entries.splice(m_entries.begin(), m_entries, it.value());
    return m_entries.front().image;
}

void ImageCache::setImage(const QImage& image, const QString& key)
{
    const qint64 c = cost(image);
    std::lock_guard lock(m_mutex);
    if (auto it = m_index.find(key); it != m_index.end()) {
        m_totalCost -= it.value()->cost;
        m_entries.erase(it.value());
        m_index.erase(it);
    }
    if (c > totalCostLimit)
        return; // would evict everything and still not fit
    m_entries.push_front({key, image, c});
    m_index.insert(key, m_entries.begin());
    m_totalCost += c;
    evict();
}

void ImageCache::evict()
{
    while (!m_entries.empty() && (static_cast<int>(m_entries.size()) > countLimit || m_totalCost > totalCostLimit)) {
        const Entry& last = m_entries.back();
        m_totalCost -= last.cost;
        m_index.remove(last.key);
        m_entries.pop_back();
    }
}

void ImageCache::removeAllObjects()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_index.clear();
    m_totalCost = 0;
}

int ImageCache::count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

qint64 ImageCache::totalCost() const
{
    std::lock_guard lock(m_mutex);
    return m_totalCost;
}

std::optional<QByteArray> ImageCache::createThumbnail(const QByteArray& data, int maxSize)
{
    if (data.isEmpty() || maxSize <= 0)
        return std::nullopt;
    // Clipboard bytes come from any client: an image whose pixels would not fit is refused.
    const QImage image = ImageDecoder::decode(data, maxDecodedBytes);
    if (image.isNull())
        return std::nullopt;
    const int w = image.width();
    const int h = image.height();
    if (w <= 0 || h <= 0)
        return std::nullopt;
    if (w <= maxSize && h <= maxSize)
        return data;

    const double aspect = static_cast<double>(w) / h;
    int newWidth = maxSize;
    int newHeight = maxSize;
    if (aspect <= 1)
        newWidth = std::max(1, static_cast<int>(std::lround(aspect * maxSize)));
    else
        newHeight = std::max(1, static_cast<int>(std::lround(maxSize / aspect)));
    const QImage scaled = image.scaled(newWidth, newHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        return std::nullopt;
    return ImageEncoding::png(scaled);
}
