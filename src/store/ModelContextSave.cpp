#include "store/ModelContextImpl.h"

#include <algorithm>
#include <string>
#include <unordered_set>

// Changed fields of every tracked object; objects nobody holds any more are forgotten.
template <class T> void ModelContext::Impl::collectUpdates(std::vector<Update>& updates)
{
    const auto& columns = Model<T>::columns();
    Registry<T>& tracked = registry<T>();
    for (auto entry = tracked.begin(); entry != tracked.end();) {
        std::shared_ptr<T> object = entry->second.object.lock();
        if (!object) {
            entry = tracked.erase(entry);
            continue;
        }
        std::vector<QVariant> current = valuesOf(*object, columns);
        Update update {Model<T>::table, entry->first, {}, {}, {}, {}};
        for (size_t c = 0; c < columns.size(); ++c) {
            if (!sameValue(current[c], entry->second.snapshot[c])) {
                update.columns << QLatin1String(columns[c].name);
                update.values.push_back(current[c]);
            }
        }
        if (!update.columns.isEmpty()) {
            const qint64 id = entry->first;
            update.commit = [this, id, current] {
                Registry<T>& all = registry<T>();
                auto found = all.find(id);
                if (found != all.end())
                    found->second.snapshot = current;
            };
            update.revert = [object, snapshot = entry->second.snapshot] {
                const auto& all = Model<T>::columns();
                for (size_t c = 0; c < all.size(); ++c)
                    all[c].set(*object, snapshot[c]);
            };
            updates.push_back(std::move(update));
        }
        ++entry;
    }
}

void ModelContext::Impl::collectNewRepresentations(std::vector<NewRepresentation>& found)
{
    for (auto& entry : clipItems) {
        ClipItemPtr item = entry.second.object.lock();
        if (!item || !ModelContext::representationsLoaded(*item))
            continue;
        for (const ClipRepresentationPtr& representation : ModelContext::representationStorage(*item)) {
            if (representation && representation->persistentID == 0)
                found.push_back({item, representation});
        }
    }
}

// Changed fields of every tracked object of each model, and representations appended to stored entries.
void ModelContext::Impl::collectChanges(std::vector<Update>& updates, std::vector<NewRepresentation>& added)
{
    collectUpdates<ClipItem>(updates);
    collectUpdates<ScreenshotItem>(updates);
    collectUpdates<RecordingItem>(updates);
    collectNewRepresentations(added);
}

bool ModelContext::Impl::hasTrackedChanges()
{
    std::vector<Update> updates;
    std::vector<NewRepresentation> added;
    collectChanges(updates, added);
    return !updates.empty() || !added.empty();
}

// Sealing the plain values of new objects into their sealed columns, before a save writes
// them. The plain values stay until the save commits; a failed save gives the objects their
// unsealed fields back (undo).
bool ModelContext::Impl::seal(const ClipItemPtr& item, std::vector<std::function<void()>>& undo, QString* failure)
{
    const std::optional<QString>& plain = ModelContext::plainSearchIndex(*item);
    if (!plain)
        return true;
    std::optional<QByteArray> sealed = sealer ? sealer->encryptString(*plain) : std::nullopt;
    if (!sealed)
        return (*failure = QStringLiteral("The clipboard key is unavailable: the entry cannot be sealed"), false);
    undo.push_back([item, before = item->encryptedSearchIndex, hash = item->searchPrefixHash,
                       legacy = item->legacySearchIndex, opener = item->sealer] {
        item->encryptedSearchIndex = before;
        item->searchPrefixHash = hash;
        item->legacySearchIndex = legacy;
        item->sealer = opener;
    });
    item->encryptedSearchIndex = std::move(sealed);
    item->searchPrefixHash = sealer->hashPrefix(*plain);
    item->legacySearchIndex.clear();
    item->sealer = sealer; // opened as fetched entries are
    return true;
}

bool ModelContext::Impl::seal(
    const ClipRepresentationPtr& representation, std::vector<std::function<void()>>& undo, QString* failure)
{
    const std::optional<QByteArray>& plain = ModelContext::plainData(*representation);
    if (!plain)
        return true;
    std::optional<QByteArray> sealed = sealer ? sealer->encrypt(*plain) : std::nullopt;
    if (!sealed)
        return (*failure = QStringLiteral("The clipboard key is unavailable: the entry cannot be sealed"), false);
    undo.push_back([representation, before = representation->encryptedData, legacy = representation->legacyData,
                       opener = representation->sealer] {
        representation->encryptedData = before;
        representation->legacyData = legacy;
        representation->sealer = opener;
    });
    representation->encryptedData = std::move(sealed);
    representation->legacyData.clear();
    representation->sealer = sealer;
    return true;
}

// Seals every new entry and representation this save writes.
bool ModelContext::Impl::sealNew(
    const std::vector<NewRepresentation>& added, std::vector<std::function<void()>>& undo, QString* failure)
{
    for (const PendingOp& op : ops) {
        if (op.kind != PendingOp::Kind::Insert || !std::holds_alternative<ClipItemPtr>(op.object))
            continue;
        const ClipItemPtr& item = std::get<ClipItemPtr>(op.object);
        if (!seal(item, undo, failure))
            return false;
        for (const ClipRepresentationPtr& representation : item->representations()) {
            if (representation && !seal(representation, undo, failure))
                return false;
        }
    }
    for (const NewRepresentation& entry : added) {
        if (!seal(entry.representation, undo, failure))
            return false;
    }
    return true;
}

// Writing, inside the save transaction. undo resets identities handed out by a failed save.
template <class T>
bool ModelContext::Impl::insertRow(
    const std::shared_ptr<T>& object, std::vector<std::function<void()>>& undo, QString* failure)
{
    const auto& columns = Model<T>::columns();
    const std::vector<QVariant> values = valuesOf(*object, columns);
    SqliteStatement statement(*connection, insertSql<T>(), true);
    if (!statement)
        return (*failure = connection->error(), false);
    for (size_t c = 0; c < values.size(); ++c) {
        if (!statement.bind(int(c) + 1, values[c]))
            return (*failure = QStringLiteral("Cannot bind %1").arg(QLatin1String(columns[c].name)), false);
    }
    if (statement.step() != SQLITE_DONE)
        return (*failure = connection->error(), false);
    object->persistentID = sqlite3_last_insert_rowid(connection->db);
    undo.push_back([object] { object->persistentID = 0; });
    return true;
}

bool ModelContext::Impl::insertRepresentation(const ClipItemPtr& item, const ClipRepresentationPtr& representation,
    std::vector<std::function<void()>>& undo, QString* failure)
{
    static const QString sql = [] {
        const auto& columns = representationColumns();
        QStringList marks;
        for (size_t i = 0; i <= columns.size(); ++i)
            marks << QStringLiteral("?");
        return QStringLiteral("INSERT INTO \"ClipRepresentation\" (%1, \"%2\") VALUES (%3)")
            .arg(quotedColumns(columns, QStringLiteral(", ")), QLatin1String(representationOwnerColumn),
                marks.join(QStringLiteral(", ")));
    }();
    const auto& columns = representationColumns();
    const std::vector<QVariant> values = valuesOf(*representation, columns);
    SqliteStatement statement(*connection, sql, true);
    if (!statement)
        return (*failure = connection->error(), false);
    int index = 1;
    for (const QVariant& value : values) {
        if (!statement.bind(index++, value))
            return (*failure = QStringLiteral("Cannot bind a representation field"), false);
    }
    statement.bind(index, QVariant::fromValue<qint64>(item->persistentID));
    if (statement.step() != SQLITE_DONE)
        return (*failure = connection->error(), false);
    representation->persistentID = sqlite3_last_insert_rowid(connection->db);
    representation->clipItem = item;
    undo.push_back([representation] { representation->persistentID = 0; });
    return true;
}

bool ModelContext::Impl::deleteRow(const char* table, qint64 id, QString* failure)
{
    SqliteStatement statement(
        *connection, QStringLiteral("DELETE FROM \"%1\" WHERE \"id\" = ?").arg(QLatin1String(table)), true);
    if (!statement || !statement.bind(1, QVariant::fromValue<qint64>(id)) || statement.step() != SQLITE_DONE)
        return (*failure = connection->error(), false);
    return true;
}

bool ModelContext::Impl::deleteClipItemsWhere(PendingOp& op, QString* failure)
{
    const QString where = whereClause(op.where);
    {
        SqliteStatement select(*connection, QStringLiteral("SELECT \"id\" FROM \"ClipItem\"") + where, false);
        int next = 1;
        if (!select)
            return (*failure = connection->error(), false);
        if (!bindArguments(select, op.where.arguments, &next, failure))
            return false;
        int step;
        while ((step = select.step()) == SQLITE_ROW)
            op.removedIDs.push_back(sqlite3_column_int64(select.get(), 0));
        if (step != SQLITE_DONE)
            return (*failure = connection->error(), false);
    }
    SqliteStatement remove(*connection, QStringLiteral("DELETE FROM \"ClipItem\"") + where, false);
    int next = 1;
    if (!remove)
        return (*failure = connection->error(), false);
    if (!bindArguments(remove, op.where.arguments, &next, failure))
        return false;
    if (remove.step() != SQLITE_DONE)
        return (*failure = connection->error(), false);
    return true;
}

bool ModelContext::Impl::writeUpdate(const Update& update, QString* failure)
{
    QStringList assignments;
    for (const QString& column : update.columns)
        assignments << QStringLiteral("\"%1\" = ?").arg(column);
    const QString sql = QStringLiteral("UPDATE \"%1\" SET %2 WHERE \"id\" = ?")
                            .arg(QLatin1String(update.table), assignments.join(QStringLiteral(", ")));
    SqliteStatement statement(*connection, sql, true);
    if (!statement)
        return (*failure = connection->error(), false);
    int index = 1;
    for (const QVariant& value : update.values) {
        if (!statement.bind(index++, value))
            return (*failure = QStringLiteral("Cannot bind a changed field"), false);
    }
    statement.bind(index, QVariant::fromValue<qint64>(update.id));
    if (statement.step() != SQLITE_DONE)
        return (*failure = connection->error(), false);
    return true;
}

template <class T> void ModelContext::Impl::track(const std::shared_ptr<T>& object)
{
    registry<T>()[object->persistentID] = Tracked<T> {object, valuesOf(*object, Model<T>::columns())};
}

// Drops pending work and gives tracked objects their stored values back.
void ModelContext::Impl::discard(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added)
{
    for (const Update& update : updates)
        update.revert();
    for (const NewRepresentation& entry : added) {
        auto& list = ModelContext::representationStorage(*entry.item);
        list.erase(std::remove(list.begin(), list.end(), entry.representation), list.end());
    }
    ops.clear();
}

// Writes the queued operations, the changed fields and the new representations, inside the save
// transaction.
bool ModelContext::Impl::writePending(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added,
    std::vector<std::function<void()>>& undo, QString* failure)
{
    // The rows this save deletes, by table: their pending updates and new representations are skipped.
    std::unordered_map<std::string, std::unordered_set<qint64>> removed;
    for (PendingOp& op : ops) {
        bool ok = true;
        if (op.kind == PendingOp::Kind::RemoveClipItemsWhere) {
            ok = deleteClipItemsWhere(op, failure);
            removed[Model<ClipItem>::table].insert(op.removedIDs.begin(), op.removedIDs.end());
        } else {
            ok = std::visit(
                [&](const auto& object) {
                    using T = typename std::decay_t<decltype(object)>::element_type;
                    if (op.kind == PendingOp::Kind::Remove) {
                        removed[Model<T>::table].insert(object->persistentID);
                        return deleteRow(Model<T>::table, object->persistentID, failure);
                    }
                    bool inserted = insertRow(object, undo, failure);
                    if constexpr (std::is_same_v<T, ClipItem>) {
                        for (const ClipRepresentationPtr& representation : object->representations()) {
                            if (inserted && representation)
                                inserted = insertRepresentation(object, representation, undo, failure);
                        }
                    }
                    return inserted;
                },
                op.object);
        }
        if (!ok)
            return false;
    }
    for (const Update& update : updates) {
        if (!removed[update.table].count(update.id) && !writeUpdate(update, failure))
            return false;
    }
    for (const NewRepresentation& entry : added) {
        if (!removed[Model<ClipItem>::table].count(entry.item->persistentID)
            && !insertRepresentation(entry.item, entry.representation, undo, failure))
            return false;
    }
    return true;
}

// After the commit: the written values become the snapshots, the plain values sealed into the store
// are dropped, and the registries follow the inserted and deleted rows.
void ModelContext::Impl::commitSaved(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added)
{
    for (const Update& update : updates)
        update.commit();
    // Written sealed: the plain values are no longer needed.
    for (const NewRepresentation& entry : added)
        ModelContext::plainData(*entry.representation).reset();
    for (const PendingOp& op : ops) {
        if (op.kind == PendingOp::Kind::Insert && std::holds_alternative<ClipItemPtr>(op.object)) {
            const ClipItemPtr& item = std::get<ClipItemPtr>(op.object);
            ModelContext::plainSearchIndex(*item).reset();
            for (const ClipRepresentationPtr& representation : ModelContext::representationStorage(*item)) {
                if (representation)
                    ModelContext::plainData(*representation).reset();
            }
        }
    }
    for (const PendingOp& op : ops) {
        if (op.kind == PendingOp::Kind::RemoveClipItemsWhere) {
            for (qint64 id : op.removedIDs)
                clipItems.erase(id);
        } else if (op.kind == PendingOp::Kind::Insert) {
            std::visit([&](const auto& object) { track(object); }, op.object);
        } else {
            std::visit(
                [&](const auto& object) {
                    using T = typename std::decay_t<decltype(object)>::element_type;
                    registry<T>().erase(object->persistentID);
                },
                op.object);
        }
    }
}

bool ModelContext::hasChanges() const
{
    return !d->ops.empty() || d->hasTrackedChanges();
}

bool ModelContext::save(QString* error)
{
    std::vector<Update> updates;
    std::vector<NewRepresentation> added;
    d->collectChanges(updates, added);
    if (d->ops.empty() && updates.empty() && added.empty())
        return true;

    QString failure;
    std::vector<std::function<void()>> undo;
    // Sealing runs before the transaction begins: the store's write lock is not held for it, and
    // without the key nothing is written at all.
    const bool ok = d->sealNew(added, undo, &failure)
        && d->connection->database.transaction(
            [&](QString*) { return d->writePending(updates, added, undo, &failure); }, &failure);
    if (!ok) {
        for (auto step = undo.rbegin(); step != undo.rend(); ++step)
            (*step)();
        d->discard(updates, added);
        for (PendingOp& op : d->ops)
            op.removedIDs.clear();
        if (error)
            *error = failure;
        return false;
    }

    d->commitSaved(updates, added);
    d->ops.clear();
    return true;
}

void ModelContext::rollback()
{
    std::vector<Update> updates;
    std::vector<NewRepresentation> added;
    d->collectChanges(updates, added);
    d->discard(updates, added);
}
