#include "gallery/GalleryItem.h"

#include <algorithm>

std::vector<GalleryItem> GalleryItem::merge(
    const std::vector<RecordStamp>& screenshots, const std::vector<RecordStamp>& recordings, int limit)
{
    std::vector<GalleryItem> items;
    items.reserve(screenshots.size() + recordings.size());
    for (const RecordStamp& stamp : screenshots)
        items.push_back({Kind::screenshot, stamp.persistentID, stamp.timestamp});
    for (const RecordStamp& stamp : recordings)
        items.push_back({Kind::recording, stamp.persistentID, stamp.timestamp});
    std::stable_sort(items.begin(), items.end(),
        [](const GalleryItem& a, const GalleryItem& b) { return a.timestamp > b.timestamp; });

    // Cut after the oldest fetched record of every kind that filled its limit.
    size_t end = items.size();
    for (const auto& [kind, fetched] : {std::pair {Kind::screenshot, &screenshots}, {Kind::recording, &recordings}}) {
        if (limit < 0 || fetched->empty() || fetched->size() < size_t(limit))
            continue;
        const GalleryItem oldest {kind, fetched->back().persistentID, fetched->back().timestamp};
        const auto found = std::find(items.begin(), items.end(), oldest);
        end = std::min(end, size_t(found - items.begin()) + 1);
    }
    items.resize(end);
    return items;
}

QString GalleryItem::kindName(Kind kind)
{
    return kind == Kind::screenshot ? QStringLiteral("screenshot") : QStringLiteral("recording");
}

std::optional<GalleryItem::Kind> GalleryItem::kindNamed(const QString& name)
{
    if (name == QLatin1String("screenshot"))
        return Kind::screenshot;
    if (name == QLatin1String("recording"))
        return Kind::recording;
    return std::nullopt;
}
