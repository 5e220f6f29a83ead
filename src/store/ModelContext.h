#pragma once
#include "store/ClipItem.h"
#include "store/RecordingItem.h"
#include "store/ScreenshotItem.h"
#include "store/SqliteDatabase.h"

#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

// What to fetch: an SQL condition over the model's columns (field names, "searchIndex" and
// "data" for the legacy fields), its bound arguments, the sort column, and limit/offset.
// Times are stored as INTEGER milliseconds since 1970-01-01T00:00:00Z; sortBy names one column.
struct FetchDescriptor {
    QString predicate;      // e.g. "isPinned = ? AND timestamp < ?"; empty: all rows
    QVariantList arguments; // bound in order; QDateTime binds as the stored time
    QString sortBy = QStringLiteral("timestamp");
    bool ascending = false;
    int limit = -1;
    int offset = 0;
};

// One connection to the store. Inserted objects and deletions are written by save(), in one
// transaction; objects fetched or inserted through this context are tracked, and save() also
// writes their changed fields. Use a context only on the thread that made it.
// A fetch returns the object this context already holds for a row (refreshed from the store
// unless it has unsaved changes). Fetches read the store: unsaved inserts are not included.
// Sealing happens here: save() seals the plain search text and payloads of new entries and
// representations with the context's crypto service as it writes them (with the prefix hash of
// the search text), then drops the plain values. Without the clipboard key the save fails and
// nothing is written, never a plain value in a plain column.
class ClipboardCryptoService;

// A stored screenshot or recording named by its identity and time only.
struct RecordStamp {
    qint64 persistentID = 0;
    QDateTime timestamp;
    bool operator==(const RecordStamp&) const = default;
};

class ModelContext {
public:
    // Takes ownership of the connection (closed with the context).
    ModelContext(SqliteDatabase db, QString path);
    ~ModelContext();
    ModelContext(const ModelContext&) = delete;
    ModelContext& operator=(const ModelContext&) = delete;

    void insert(const ClipItemPtr& item);
    void insert(const ScreenshotItemPtr& item);
    void insert(const RecordingItemPtr& item);
    // Deleting an entry deletes its representations with it.
    void remove(const ClipItemPtr& item);
    void remove(const ScreenshotItemPtr& item);
    void remove(const RecordingItemPtr& item);
    // Deletes every matching entry (with its representations) at the next save.
    void removeAllClipItems(const FetchDescriptor& which = {});

    bool hasChanges() const;
    // Writes every pending change in one transaction; on failure rolls back, keeps the pending
    // changes out of the store, returns false and sets error. A failed save then forgets its
    // changes as rollback() does, so that later saves are not blocked by them.
    bool save(QString* error = nullptr);
    // Forgets every pending change: pending inserts and deletions are dropped and tracked objects
    // get back their stored field values.
    void rollback();

    // List fetches never load representation payloads.
    std::vector<ClipItemPtr> fetchClipItems(const FetchDescriptor& descriptor = {}, QString* error = nullptr);
    // The same, handing each entry to onEntry as soon as its row is read (on this thread, in order),
    // so that work on the entries can start while later rows are still being read. The entry is
    // not touched by the fetch again.
    std::vector<ClipItemPtr> fetchClipItems(
        const FetchDescriptor& descriptor, QString* error, const std::function<void(const ClipItemPtr&)>& onEntry);
    std::vector<ScreenshotItemPtr> fetchScreenshotItems(
        const FetchDescriptor& descriptor = {}, QString* error = nullptr);
    std::vector<RecordingItemPtr> fetchRecordingItems(const FetchDescriptor& descriptor = {}, QString* error = nullptr);
    // Identity and time of the matching screenshots or recordings, without reading their other
    // fields (list views that must not hold every image).
    std::vector<RecordStamp> fetchScreenshotStamps(const FetchDescriptor& descriptor = {}, QString* error = nullptr);
    std::vector<RecordStamp> fetchRecordingStamps(const FetchDescriptor& descriptor = {}, QString* error = nullptr);
    // Number of matching entries (sortBy, limit and offset are not used); -1 on error.
    qint64 fetchClipItemCount(const FetchDescriptor& descriptor = {}, QString* error = nullptr);
    // Entries that hold sealed data (their search text or any representation): what a lost key
    // would leave unreadable. -1 on a store error.
    qint64 countSealedEntries(QString* error = nullptr);
    // One entry by its store identity (null when gone).
    ClipItemPtr clipItem(qint64 persistentID);
    ScreenshotItemPtr screenshotItem(qint64 persistentID);
    RecordingItemPtr recordingItem(qint64 persistentID);

    // Gives the pages freed by deletions back to the file system (stores with incremental
    // vacuuming) and folds the WAL into the store, truncating it. Used after large deletions;
    // waits (up to the busy time-out) for readers of other connections.
    bool reclaimFreeSpace(QString* error = nullptr);

    QString path() const { return m_path; }

    // The crypto service that seals what this context writes and opens the sealed columns of what
    // it fetches. Until it is set, nothing can be sealed or opened.
    void setSealer(ClipboardCryptoService& sealer);
    // The keyed prefix hash a new entry with this search text is stored under (empty without a key).
    QString searchPrefixHash(const QString& searchIndex) const;

private:
    // Access to an entry's lazily loaded representations.
    static std::vector<ClipRepresentationPtr>& representationStorage(const ClipItem& item);
    static bool representationsLoaded(const ClipItem& item);
    static void setRepresentationsUnloaded(const ClipItem& item);
    // The plain values of new objects, waiting to be sealed.
    static std::optional<QString>& plainSearchIndex(ClipItem& item);
    static std::optional<QByteArray>& plainData(ClipRepresentation& representation);

    struct Impl;
    std::unique_ptr<Impl> d;
    QString m_path;
};
