#include "store/ModelContext.h"

#include "store/ModelContextImpl.h"

#include <algorithm>

ModelContext::ModelContext(SqliteDatabase db, QString path)
    : d(std::make_unique<Impl>())
    , m_path(std::move(path))
{
    d->connection = std::make_shared<SqliteConnection>(std::move(db));
}

ModelContext::~ModelContext() = default;

void ModelContext::setSealer(ClipboardCryptoService& sealer)
{
    d->sealer = &sealer;
}

QString ModelContext::searchPrefixHash(const QString& searchIndex) const
{
    return d->sealer ? d->sealer->hashPrefix(searchIndex) : QString();
}

bool ModelContext::reclaimFreeSpace(QString* error)
{
    SqliteConnection& connection = *d->connection;
    if (!connection.exec("PRAGMA incremental_vacuum", error))
        return false;
    // A checkpoint that could not finish (a reader kept an old snapshot) reports busy in its row.
    sqlite3_stmt* statement = nullptr;
    bool ok = sqlite3_prepare_v2(connection.db, "PRAGMA wal_checkpoint(TRUNCATE)", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 0;
    if (!ok && error)
        *error = connection.error();
    sqlite3_finalize(statement);
    return ok;
}

std::vector<ClipRepresentationPtr>& ModelContext::representationStorage(const ClipItem& item)
{
    return item.m_representations;
}

bool ModelContext::representationsLoaded(const ClipItem& item)
{
    return item.m_representationsLoaded;
}

void ModelContext::setRepresentationsUnloaded(const ClipItem& item)
{
    item.m_representationsLoaded = false;
    item.m_representations.clear();
}

std::optional<QString>& ModelContext::plainSearchIndex(ClipItem& item)
{
    return item.m_plainSearchIndex;
}

std::optional<QByteArray>& ModelContext::plainData(ClipRepresentation& representation)
{
    return representation.m_plainData;
}

namespace {

template <class T> bool isPendingInsertOf(const PendingOp& op, const std::shared_ptr<T>& object)
{
    return op.kind == PendingOp::Kind::Insert && std::holds_alternative<std::shared_ptr<T>>(op.object)
        && std::get<std::shared_ptr<T>>(op.object) == object;
}

template <class T> void queueInsert(std::vector<PendingOp>& ops, const std::shared_ptr<T>& object)
{
    if (!object || object->persistentID != 0)
        return; // stored already
    for (const PendingOp& op : ops) {
        if (isPendingInsertOf(op, object))
            return;
    }
    ops.push_back({PendingOp::Kind::Insert, object, {}, {}});
}

template <class T> void queueRemove(std::vector<PendingOp>& ops, const std::shared_ptr<T>& object)
{
    if (!object)
        return;
    if (object->persistentID == 0) {
        // Never saved: removing it cancels its insertion.
        ops.erase(
            std::remove_if(ops.begin(), ops.end(), [&](const PendingOp& op) { return isPendingInsertOf(op, object); }),
            ops.end());
        return;
    }
    ops.push_back({PendingOp::Kind::Remove, object, {}, {}});
}

} // namespace

void ModelContext::insert(const ClipItemPtr& item)
{
    queueInsert(d->ops, item);
}
void ModelContext::insert(const ScreenshotItemPtr& item)
{
    queueInsert(d->ops, item);
}
void ModelContext::insert(const RecordingItemPtr& item)
{
    queueInsert(d->ops, item);
}
void ModelContext::remove(const ClipItemPtr& item)
{
    queueRemove(d->ops, item);
}
void ModelContext::remove(const ScreenshotItemPtr& item)
{
    queueRemove(d->ops, item);
}
void ModelContext::remove(const RecordingItemPtr& item)
{
    queueRemove(d->ops, item);
}

void ModelContext::removeAllClipItems(const FetchDescriptor& which)
{
    d->ops.push_back({PendingOp::Kind::RemoveClipItemsWhere, ClipItemPtr(), which, {}});
}
