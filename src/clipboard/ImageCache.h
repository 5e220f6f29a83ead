#pragma once
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <list>
#include <mutex>
#include <optional>

class NotificationCenter;

// Decoded thumbnails of history entries while the history panel is open (at most 200 images and
// about 50 MiB, least recently used dropped first), emptied whenever the panel hides
// ("historyWindowDidHide"), when the allocator's free memory goes back to the system. Also makes the stored thumbnail of a new entry. Safe to use from any
// thread; callers treat every entry as optional.
class ImageCache {
public:
    static constexpr int countLimit = 200;
    static constexpr qint64 totalCostLimit = 50LL * 1024 * 1024;
    // Images whose decoded pixels would need more than this are not decoded.
    static constexpr qint64 maxDecodedBytes = 256LL * 1024 * 1024;

    explicit ImageCache(NotificationCenter& center);
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    std::optional<QImage> image(const QString& key);
    // Stores the image with its cost (its pixel bytes, or width × height × 4 when it has none).
    void setImage(const QImage& image, const QString& key);
    void removeAllObjects();
    int count() const;
    qint64 totalCost() const;

    static qint64 cost(const QImage& image);

    // The data unchanged when the image fits in maxSize × maxSize; otherwise a PNG scaled so that
    // its longer side is maxSize. Absent when the data is no image or has no area.
    static std::optional<QByteArray> createThumbnail(const QByteArray& data, int maxSize);

private:
    struct Entry {
        QString key;
        QImage image;
        qint64 cost;
    };
    void evict();

    NotificationCenter& m_center;
    int m_observer = 0;
    mutable std::mutex m_mutex;
    std::list<Entry> m_entries; // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
    qint64 m_totalCost = 0;
};
