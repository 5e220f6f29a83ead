#pragma once
#include "gallery/CardPicture.h"
#include "gallery/GalleryItem.h"
#include "store/RecordingItem.h"

#include <QAbstractListModel>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

class ModelContainer;
class ThumbnailLoader;

// The records a gallery view lists, one row each in display order, with the picture of each card.
// A new list is taken in by rows: rows of records that are gone are removed, new ones inserted
// where they belong, a record saved again moved to its new place, and a row whose record changed
// is announced as changed, so that the rows that stay keep their pictures and the view its scroll
// position. A screenshot saved again (a new time) has its picture read again.
class GalleryModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        kindRole = Qt::UserRole + 1, // GalleryItem::Kind as int
        persistentIDRole,
        timestampRole,
        pictureRole, // QImage; null while missing
        recordRole,  // changes when a recording's stored record was replaced or a screenshot saved again
    };

    GalleryModel(ThumbnailLoader& thumbnails, std::weak_ptr<ModelContainer> container, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const GalleryItem& item(int row) const { return m_rows[size_t(row)].item; }
    // The stored recording of a recording's row (null for a screenshot).
    const RecordingItemPtr& recording(int row) const { return m_rows[size_t(row)].recording; }
    const std::shared_ptr<CardPicture>& picture(int row) const { return m_rows[size_t(row)].picture; }
    std::vector<GalleryItem> items() const;
    std::optional<int> rowOf(const GalleryItem::ID& id) const;

    // Takes in the new list (display order); `recordings` holds the records of its recordings.
    void update(const std::vector<GalleryItem>& items, const std::vector<RecordingItemPtr>& recordings);
    void remove(const GalleryItem::ID& id);
    // Reads the picture of the row again (its record's image changed).
    void resetPicture(const GalleryItem::ID& id);
    // Asks for the picture of the row at `wanted` device pixels when it is missing or too small;
    // the row is announced as changed when it arrives. See ThumbnailLoader::request.
    void requestPicture(int row, QSize wanted, std::function<bool()> stillWanted);

    // Where the bytes of an item's picture are read from (on a worker thread): a screenshot's
    // stored PNG, then its untouched capture for when that PNG is damaged, read with a context of
    // its own; or a recording's stored thumbnail.
    static ThumbnailLoader::Source pictureSource(
        const std::weak_ptr<ModelContainer>& container, const GalleryItem& item, const RecordingItemPtr& recording);

private:
    struct Row {
        GalleryItem item;
        RecordingItemPtr recording;
        std::shared_ptr<CardPicture> picture;
    };
    struct IDHash {
        size_t operator()(const GalleryItem::ID& id) const;
    };
    // Pictures of rows taken out, by the items the rows showed.
    using Pictures = std::unordered_map<GalleryItem::ID, std::pair<GalleryItem, std::shared_ptr<CardPicture>>, IDHash>;
    Row makeRow(const GalleryItem& item, const std::vector<RecordingItemPtr>& recordings, Pictures& kept) const;
    // The rows stand in the order of `items` (which holds all of them).
    bool inOrder(const std::vector<GalleryItem>& items) const;
    void removeMissing(const std::vector<GalleryItem>& items);
    // Takes out the rows whose item differs in `items`, keeping their pictures.
    void takeOutChanged(const std::vector<GalleryItem>& items, Pictures& kept);
    void insertAndRefresh(
        const std::vector<GalleryItem>& items, const std::vector<RecordingItemPtr>& recordings, Pictures& kept);

    ThumbnailLoader& m_thumbnails;
    std::weak_ptr<ModelContainer> m_container;
    std::vector<Row> m_rows;
};
