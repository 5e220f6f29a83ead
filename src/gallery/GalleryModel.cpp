#include "gallery/GalleryModel.h"

#include "gallery/GalleryRecords.h"
#include "gallery/ThumbnailLoader.h"

#include <algorithm>
#include <unordered_map>

namespace {

RecordingItemPtr recordingOf(const GalleryItem& item, const std::vector<RecordingItemPtr>& recordings)
{
    if (item.kind != GalleryItem::Kind::recording)
        return nullptr;
    const auto found = std::find_if(recordings.begin(), recordings.end(),
        [&](const RecordingItemPtr& r) { return r->persistentID == item.persistentID; });
    return found != recordings.end() ? *found : std::make_shared<RecordingItem>();
}

}

size_t GalleryModel::IDHash::operator()(const GalleryItem::ID& id) const
{
    return std::hash<qint64>()(id.persistentID * 2 + (id.kind == GalleryItem::Kind::recording ? 1 : 0));
}

GalleryModel::GalleryModel(ThumbnailLoader& thumbnails, std::weak_ptr<ModelContainer> container, QObject* parent)
    : QAbstractListModel(parent)
    , m_thumbnails(thumbnails)
    , m_container(std::move(container))
{
}

int GalleryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant GalleryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
    case kindRole:
        return int(row.item.kind);
    case persistentIDRole:
        return row.item.persistentID;
    case timestampRole:
        return row.item.timestamp;
    case pictureRole:
        return row.picture->image();
    default:
        return {};
    }
}

std::vector<GalleryItem> GalleryModel::items() const
{
    std::vector<GalleryItem> items;
    items.reserve(m_rows.size());
    for (const Row& row : m_rows)
        items.push_back(row.item);
    return items;
}

std::optional<int> GalleryModel::rowOf(const GalleryItem::ID& id) const
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].item.id() == id)
            return int(i);
    }
    return std::nullopt;
}

GalleryModel::Row GalleryModel::makeRow(
    const GalleryItem& item, const std::vector<RecordingItemPtr>& recordings, Pictures& kept) const
{
    Row row {item, recordingOf(item, recordings), nullptr};
    // A screenshot saved again keeps its picture object: the old picture stays on screen until the
    // new one has been read, so the card never blanks.
    const auto found = kept.find(item.id());
    if (found != kept.end() && item.kind == GalleryItem::Kind::screenshot) {
        row.picture = found->second.second;
        if (found->second.first.timestamp != item.timestamp)
            row.picture->reset();
    } else {
        row.picture = std::make_shared<CardPicture>();
    }
    return row;
}

bool GalleryModel::inOrder(const std::vector<GalleryItem>& items) const
{
    std::unordered_map<GalleryItem::ID, size_t, IDHash> position;
    for (size_t i = 0; i < items.size(); ++i)
        position.emplace(items[i].id(), i);
    return std::is_sorted(m_rows.begin(), m_rows.end(),
        [&](const Row& a, const Row& b) { return position.at(a.item.id()) < position.at(b.item.id()); });
}

void GalleryModel::update(const std::vector<GalleryItem>& items, const std::vector<RecordingItemPtr>& recordings)
{
    removeMissing(items);
    // The rows that stay must come in the new list's order. A record saved again (an edited
    // screenshot takes the time of its save) moves: its row is taken out and comes in again at
    // its new place. When the order still differs, the list starts over.
    Pictures kept;
    if (!inOrder(items))
        takeOutChanged(items, kept);
    if (!inOrder(items)) {
        beginResetModel();
        for (const Row& row : m_rows)
            kept.emplace(row.item.id(), std::pair(row.item, row.picture));
        m_rows.clear();
        for (const GalleryItem& item : items)
            m_rows.push_back(makeRow(item, recordings, kept));
        endResetModel();
        return;
    }
    insertAndRefresh(items, recordings, kept);
}

void GalleryModel::takeOutChanged(const std::vector<GalleryItem>& items, Pictures& kept)
{
    std::unordered_map<GalleryItem::ID, const GalleryItem*, IDHash> now;
    for (const GalleryItem& item : items)
        now.emplace(item.id(), &item);
    for (int row = int(m_rows.size()) - 1; row >= 0; --row) {
        const Row& at = m_rows[size_t(row)];
        if (*now.at(at.item.id()) == at.item)
            continue;
        kept.emplace(at.item.id(), std::pair(at.item, at.picture));
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
    }
}

void GalleryModel::removeMissing(const std::vector<GalleryItem>& items)
{
    std::unordered_map<GalleryItem::ID, bool, IDHash> wanted;
    for (const GalleryItem& item : items)
        wanted.emplace(item.id(), true);
    // From the end, one contiguous run at a time.
    for (int last = int(m_rows.size()) - 1; last >= 0;) {
        if (wanted.count(m_rows[size_t(last)].item.id())) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !wanted.count(m_rows[size_t(first - 1)].item.id()))
            --first;
        beginRemoveRows({}, first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
        last = first - 1;
    }
}

void GalleryModel::insertAndRefresh(
    const std::vector<GalleryItem>& items, const std::vector<RecordingItemPtr>& recordings, Pictures& kept)
{
    size_t at = 0;
    while (at < items.size()) {
        if (at < m_rows.size() && m_rows[at].item.id() == items[at].id()) {
            Row& row = m_rows[at];
            const RecordingItemPtr fresh = recordingOf(items[at], recordings);
            const bool recordChanged = fresh && row.recording != fresh;
            // A screenshot with a new time was saved again, with a new picture.
            const bool saved = row.item.kind == GalleryItem::Kind::screenshot
                && row.item.timestamp != items[at].timestamp;
            if (row.item != items[at] || recordChanged) {
                row.item = items[at];
                if (recordChanged) {
                    row.recording = fresh;
                    row.picture = std::make_shared<CardPicture>();
                }
                if (saved)
                    row.picture->reset(); // the old one stays shown until the new one arrived
                emit dataChanged(index(int(at)), index(int(at)),
                    recordChanged || saved ? QList<int> {recordRole, pictureRole} : QList<int> {});
            }
            ++at;
            continue;
        }
        // A run of new records before the next row that stays.
        size_t end = at;
        while (end < items.size() && (at >= m_rows.size() || items[end].id() != m_rows[at].item.id()))
            ++end;
        beginInsertRows({}, int(at), int(end - 1));
        std::vector<Row> fresh;
        for (size_t i = at; i < end; ++i)
            fresh.push_back(makeRow(items[i], recordings, kept));
        m_rows.insert(m_rows.begin() + std::ptrdiff_t(at), std::make_move_iterator(fresh.begin()),
            std::make_move_iterator(fresh.end()));
        endInsertRows();
        at = end;
    }
}

void GalleryModel::remove(const GalleryItem::ID& id)
{
    const std::optional<int> row = rowOf(id);
    if (!row)
        return;
    beginRemoveRows({}, *row, *row);
    m_rows.erase(m_rows.begin() + *row);
    endRemoveRows();
}

void GalleryModel::resetPicture(const GalleryItem::ID& id)
{
    if (const std::optional<int> row = rowOf(id)) {
        m_rows[size_t(*row)].picture->reset();
        emit dataChanged(index(*row), index(*row), {pictureRole});
    }
}

void GalleryModel::requestPicture(int row, QSize wanted, std::function<bool()> stillWanted)
{
    const Row& at = m_rows[size_t(row)];
    const GalleryItem::ID id = at.item.id();
    at.picture->request(
        m_thumbnails, this, wanted, pictureSource(m_container, at.item, at.recording),
        [this, id] {
            if (const std::optional<int> now = rowOf(id))
                emit dataChanged(index(*now), index(*now), {pictureRole});
        },
        std::move(stillWanted));
}

ThumbnailLoader::Source GalleryModel::pictureSource(
    const std::weak_ptr<ModelContainer>& container, const GalleryItem& item, const RecordingItemPtr& recording)
{
    if (item.kind == GalleryItem::Kind::recording)
        return [bytes = recording ? recording->thumbnailData.value_or(QByteArray()) : QByteArray()] {
            return QList<QByteArray> {bytes};
        };
    return [container, id = item.persistentID] {
        const std::optional<ScreenshotItem> record = GalleryRecords::readScreenshot(container, id);
        QList<QByteArray> candidates;
        if (record) {
            candidates.append(record->pngData);
            if (record->sourceImageData)
                candidates.append(*record->sourceImageData);
        }
        return candidates;
    };
}
