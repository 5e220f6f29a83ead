#include "store/ModelContext.h"

#include "platform/Console.h"
#include "store/ClipboardCryptoService.h"
#include "store/SqliteDatabase.h"
#include "store/StoreSchema.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>

using namespace StoreSchema;

namespace {

// One SQLite connection with its cache of fixed statements. Shared with the representation
// loaders of fetched entries, which find it gone once the context is destroyed.
struct Connection {
    explicit Connection(SqliteDatabase handle)
        : database(std::move(handle))
        , db(database.get())
    {
    }
    ~Connection()
    {
        // The statements go before the handle closes (after this body).
        for (auto& entry : cache)
            sqlite3_finalize(entry.second);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString error() const { return database.errorMessage(); }
    bool exec(const char* sql, QString* failure) const { return database.exec(sql, failure); }

    SqliteDatabase database;
    sqlite3* db;
    std::unordered_map<std::string, sqlite3_stmt*> cache;
};

// A statement in use: cached statements are reset when it goes out of scope, one-off ones
// finalized. Bound values are kept alive until then (BLOBs are bound without a copy).
class Statement {
public:
    Statement(Connection& connection, const QString& sql, bool cached)
        : m_cached(cached)
    {
        const std::string text = sql.toStdString();
        if (cached) {
            auto found = connection.cache.find(text);
            if (found != connection.cache.end()) {
                m_statement = found->second;
                return;
            }
        }
        const unsigned flags = cached ? SQLITE_PREPARE_PERSISTENT : 0;
        if (sqlite3_prepare_v3(connection.db, text.c_str(), int(text.size()), flags, &m_statement, nullptr)
            != SQLITE_OK) {
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
            return;
        }
        if (cached)
            connection.cache.emplace(text, m_statement);
    }
    ~Statement()
    {
        if (!m_statement)
            return;
        if (m_cached) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        } else {
            sqlite3_finalize(m_statement);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return m_statement != nullptr; }
    sqlite3_stmt* get() const { return m_statement; }

    bool bind(int index, const QVariant& value)
    {
        m_values.push_back(value);
        return bindValue(m_statement, index, m_values.back());
    }
    int step() { return sqlite3_step(m_statement); }

private:
    bool m_cached;
    sqlite3_stmt* m_statement = nullptr;
    std::deque<QVariant> m_values;
};

template <class T> struct Model;
template <> struct Model<ClipItem> {
    static constexpr const char* table = "ClipItem";
    static const std::vector<Column<ClipItem>>& columns() { return clipItemColumns(); }
};
template <> struct Model<ScreenshotItem> {
    static constexpr const char* table = "ScreenshotItem";
    static const std::vector<Column<ScreenshotItem>>& columns() { return screenshotColumns(); }
};
template <> struct Model<RecordingItem> {
    static constexpr const char* table = "RecordingItem";
    static const std::vector<Column<RecordingItem>>& columns() { return recordingColumns(); }
};

template <class T> QString quotedColumns(const std::vector<Column<T>>& columns, const QString& separator)
{
    QStringList names;
    for (const Column<T>& column : columns)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(column.name));
    return names.join(separator);
}

template <class T> const QString& selectList()
{
    static const QString list = QStringLiteral("\"id\", ") + quotedColumns(Model<T>::columns(), QStringLiteral(", "));
    return list;
}

template <class T> const QString& insertSql()
{
    static const QString sql = [] {
        const auto& columns = Model<T>::columns();
        QStringList marks;
        for (size_t i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        return QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
            .arg(QLatin1String(Model<T>::table), quotedColumns(columns, QStringLiteral(", ")),
                marks.join(QStringLiteral(", ")));
    }();
    return sql;
}

bool isIdentifier(const QString& name)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return identifier.match(name).hasMatch();
}

QString whereClause(const FetchDescriptor& descriptor)
{
    return descriptor.predicate.trimmed().isEmpty()
        ? QString()
        : QStringLiteral(" WHERE (") + descriptor.predicate + QStringLiteral(")");
}

bool bindArguments(Statement& statement, const QVariantList& arguments, int* next, QString* failure)
{
    for (const QVariant& argument : arguments) {
        if (!statement.bind((*next)++, argument)) {
            *failure = QStringLiteral("Unsupported argument type %1 in the fetch predicate")
                           .arg(QLatin1String(argument.typeName()));
            return false;
        }
    }
    return true;
}

std::vector<ClipRepresentationPtr> loadRepresentations(Connection& connection, qint64 itemID)
{
    static const QString sql = QStringLiteral(
        "SELECT \"id\", %1 FROM \"ClipRepresentation\" WHERE \"%2\" = ? ORDER BY \"id\"")
                                   .arg(quotedColumns(representationColumns(), QStringLiteral(", ")),
                                       QLatin1String(representationOwnerColumn));
    std::vector<ClipRepresentationPtr> loaded;
    Statement statement(connection, sql, true);
    if (!statement || !statement.bind(1, QVariant::fromValue<qint64>(itemID))) {
        Console::log(QStringLiteral("Failed to fetch clip representations: ") + connection.error());
        return loaded;
    }
    const auto& columns = representationColumns();
    int step;
    while ((step = statement.step()) == SQLITE_ROW) {
        auto representation = std::make_shared<ClipRepresentation>();
        representation->persistentID = sqlite3_column_int64(statement.get(), 0);
        for (size_t c = 0; c < columns.size(); ++c)
            columns[c].set(*representation, readColumn(statement.get(), int(c) + 1, columns[c].type));
        loaded.push_back(std::move(representation));
    }
    if (step != SQLITE_DONE) {
        Console::log(QStringLiteral("Failed to fetch clip representations: ") + connection.error());
        loaded.clear();
    }
    return loaded;
}

template <class T> struct Tracked {
    std::weak_ptr<T> object;
    std::vector<QVariant> snapshot; // the field values as stored
};
template <class T> using Registry = std::unordered_map<qint64, Tracked<T>>;

// A tracked object whose fields differ from the store.
struct Update {
    const char* table;
    qint64 id;
    QStringList columns;
    std::vector<QVariant> values;
    std::function<void()> commit; // the written values become the snapshot
    std::function<void()> revert; // the object gets its stored values back
};

// A representation appended to an entry that is already stored.
struct NewRepresentation {
    ClipItemPtr item;
    ClipRepresentationPtr representation;
};

using AnyModel = std::variant<ClipItemPtr, ScreenshotItemPtr, RecordingItemPtr>;

struct PendingOp {
    enum class Kind { Insert, Remove, RemoveClipItemsWhere };
    Kind kind;
    AnyModel object;
    FetchDescriptor where;
    std::vector<qint64> removedIDs; // filled while saving RemoveClipItemsWhere
};

} // namespace

struct ModelContext::Impl {
    std::shared_ptr<Connection> connection;
    Registry<ClipItem> clipItems;
    Registry<ScreenshotItem> screenshots;
    Registry<RecordingItem> recordings;
    std::vector<PendingOp> ops;
    ClipboardCryptoService* sealer = nullptr; // seals and opens for this context; null: the store's default

    ClipboardCryptoService& crypto() const { return sealer ? *sealer : ClipboardCryptoService::shared(); }

    template <class T> Registry<T>& registry()
    {
        if constexpr (std::is_same_v<T, ClipItem>)
            return clipItems;
        else if constexpr (std::is_same_v<T, ScreenshotItem>)
            return screenshots;
        else
            return recordings;
    }

    void prepareFetched(ClipItem& item)
    {
        ModelContext::setRepresentationsUnloaded(item);
        if (sealer)
            item.sealer = sealer;
        item.representationLoader = [weak = std::weak_ptr<Connection>(connection), sealer = sealer](qint64 itemID) {
            if (std::shared_ptr<Connection> alive = weak.lock()) {
                std::vector<ClipRepresentationPtr> loaded = loadRepresentations(*alive, itemID);
                if (sealer) {
                    for (const ClipRepresentationPtr& representation : loaded)
                        representation->sealer = sealer;
                }
                return loaded;
            }
            return std::vector<ClipRepresentationPtr>();
        };
    }
    void prepareFetched(ScreenshotItem&) { }
    void prepareFetched(RecordingItem&) { }

    // The object for the current row: the one already held (refreshed unless it has unsaved
    // changes) or a new one.
    template <class T> std::shared_ptr<T> adopt(sqlite3_stmt* statement)
    {
        const auto& columns = Model<T>::columns();
        const qint64 id = sqlite3_column_int64(statement, 0);
        Registry<T>& tracked = registry<T>();
        auto found = tracked.find(id);
        std::shared_ptr<T> object;
        if (found != tracked.end())
            object = found->second.object.lock();
        if (object) {
            if (!isUnchanged(*object, found->second.snapshot))
                return object;
        } else {
            object = std::make_shared<T>();
            object->persistentID = id;
            prepareFetched(*object);
        }
        for (size_t c = 0; c < columns.size(); ++c)
            columns[c].set(*object, readColumn(statement, int(c) + 1, columns[c].type));
        tracked[id] = Tracked<T> {object, valuesOf(*object, columns)};
        return object;
    }

    template <class T> static bool isUnchanged(const T& object, const std::vector<QVariant>& snapshot)
    {
        const auto& columns = Model<T>::columns();
        for (size_t c = 0; c < columns.size(); ++c) {
            if (!sameValue(columns[c].get(object), snapshot[c]))
                return false;
        }
        return true;
    }

    template <class T>
    std::vector<std::shared_ptr<T>> fetch(const FetchDescriptor& descriptor, QString* error,
        const std::function<void(const std::shared_ptr<T>&)>& onEntry = {})
    {
        std::vector<std::shared_ptr<T>> result;
        QString failure;
        auto fail = [&](const QString& message) {
            if (error)
                *error = message;
            return std::vector<std::shared_ptr<T>>();
        };
        if (!isIdentifier(descriptor.sortBy))
            return fail(QStringLiteral("Cannot sort by \"%1\"").arg(descriptor.sortBy));
        const QString where = whereClause(descriptor);
        const QString sql = QStringLiteral("SELECT %1 FROM \"%2\"%3 ORDER BY \"%4\" %5, \"id\" %5 LIMIT ? OFFSET ?")
                                .arg(selectList<T>(), QLatin1String(Model<T>::table), where, descriptor.sortBy,
                                    descriptor.ascending ? QStringLiteral("ASC") : QStringLiteral("DESC"));
        Statement statement(*connection, sql, where.isEmpty());
        if (!statement)
            return fail(connection->error());
        int next = 1;
        if (!bindArguments(statement, descriptor.arguments, &next, &failure))
            return fail(failure);
        statement.bind(next++, QVariant::fromValue<qint64>(descriptor.limit < 0 ? -1 : descriptor.limit));
        statement.bind(next++, QVariant::fromValue<qint64>(std::max(0, descriptor.offset)));
        int step;
        while ((step = statement.step()) == SQLITE_ROW) {
            result.push_back(adopt<T>(statement.get()));
            if (onEntry)
                onEntry(result.back());
        }
        if (step != SQLITE_DONE)
            return fail(connection->error());
        return result;
    }

    std::vector<RecordStamp> fetchStamps(const char* table, const FetchDescriptor& descriptor, QString* error)
    {
        std::vector<RecordStamp> result;
        auto fail = [&](const QString& message) {
            if (error)
                *error = message;
            return std::vector<RecordStamp>();
        };
        if (!isIdentifier(descriptor.sortBy))
            return fail(QStringLiteral("Cannot sort by \"%1\"").arg(descriptor.sortBy));
        const QString where = whereClause(descriptor);
        const QString sql
            = QStringLiteral("SELECT \"id\", \"timestamp\" FROM \"%1\"%2 ORDER BY \"%3\" %4, \"id\" %4 LIMIT ? OFFSET ?")
                  .arg(QLatin1String(table), where, descriptor.sortBy,
                      descriptor.ascending ? QStringLiteral("ASC") : QStringLiteral("DESC"));
        Statement statement(*connection, sql, where.isEmpty());
        if (!statement)
            return fail(connection->error());
        int next = 1;
        QString failure;
        if (!bindArguments(statement, descriptor.arguments, &next, &failure))
            return fail(failure);
        statement.bind(next++, QVariant::fromValue<qint64>(descriptor.limit < 0 ? -1 : descriptor.limit));
        statement.bind(next++, QVariant::fromValue<qint64>(std::max(0, descriptor.offset)));
        int step;
        while ((step = statement.step()) == SQLITE_ROW) {
            result.push_back({sqlite3_column_int64(statement.get(), 0),
                readColumn(statement.get(), 1, ColumnType::Time).toDateTime()});
        }
        if (step != SQLITE_DONE)
            return fail(connection->error());
        return result;
    }

    // Changed fields of every tracked object; objects nobody holds any more are forgotten.
    template <class T> void collectUpdates(std::vector<Update>& updates)
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

    void collectNewRepresentations(std::vector<NewRepresentation>& found)
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
    void collectChanges(std::vector<Update>& updates, std::vector<NewRepresentation>& added)
    {
        collectUpdates<ClipItem>(updates);
        collectUpdates<ScreenshotItem>(updates);
        collectUpdates<RecordingItem>(updates);
        collectNewRepresentations(added);
    }

    bool hasTrackedChanges()
    {
        std::vector<Update> updates;
        std::vector<NewRepresentation> added;
        collectChanges(updates, added);
        return !updates.empty() || !added.empty();
    }

    // Sealing the plain values of new objects into their sealed columns, before a save writes
    // them. The plain values stay until the save commits; a failed save gives the objects their
    // unsealed fields back (undo).
    bool seal(const ClipItemPtr& item, std::vector<std::function<void()>>& undo, QString* failure)
    {
        const std::optional<QString>& plain = ModelContext::plainSearchIndex(*item);
        if (!plain)
            return true;
        ClipboardCryptoService& service = crypto();
        std::optional<QByteArray> sealed = service.encryptString(*plain);
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
        item->searchPrefixHash = service.hashPrefix(*plain);
        item->legacySearchIndex.clear();
        item->sealer = sealer; // opened as fetched entries are
        return true;
    }
    bool seal(const ClipRepresentationPtr& representation, std::vector<std::function<void()>>& undo, QString* failure)
    {
        const std::optional<QByteArray>& plain = ModelContext::plainData(*representation);
        if (!plain)
            return true;
        ClipboardCryptoService& service = crypto();
        std::optional<QByteArray> sealed = service.encrypt(*plain);
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
    bool sealNew(
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
    bool insertRow(const std::shared_ptr<T>& object, std::vector<std::function<void()>>& undo, QString* failure)
    {
        const auto& columns = Model<T>::columns();
        const std::vector<QVariant> values = valuesOf(*object, columns);
        Statement statement(*connection, insertSql<T>(), true);
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

    bool insertRepresentation(const ClipItemPtr& item, const ClipRepresentationPtr& representation,
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
        Statement statement(*connection, sql, true);
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

    bool deleteRow(const char* table, qint64 id, QString* failure)
    {
        Statement statement(
            *connection, QStringLiteral("DELETE FROM \"%1\" WHERE \"id\" = ?").arg(QLatin1String(table)), true);
        if (!statement || !statement.bind(1, QVariant::fromValue<qint64>(id)) || statement.step() != SQLITE_DONE)
            return (*failure = connection->error(), false);
        return true;
    }

    bool deleteClipItemsWhere(PendingOp& op, QString* failure)
    {
        const QString where = whereClause(op.where);
        {
            Statement select(*connection, QStringLiteral("SELECT \"id\" FROM \"ClipItem\"") + where, false);
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
        Statement remove(*connection, QStringLiteral("DELETE FROM \"ClipItem\"") + where, false);
        int next = 1;
        if (!remove)
            return (*failure = connection->error(), false);
        if (!bindArguments(remove, op.where.arguments, &next, failure))
            return false;
        if (remove.step() != SQLITE_DONE)
            return (*failure = connection->error(), false);
        return true;
    }

    bool writeUpdate(const Update& update, QString* failure)
    {
        QStringList assignments;
        for (const QString& column : update.columns)
            assignments << QStringLiteral("\"%1\" = ?").arg(column);
        const QString sql = QStringLiteral("UPDATE \"%1\" SET %2 WHERE \"id\" = ?")
                                .arg(QLatin1String(update.table), assignments.join(QStringLiteral(", ")));
        Statement statement(*connection, sql, true);
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

    template <class T> void track(const std::shared_ptr<T>& object)
    {
        registry<T>()[object->persistentID] = Tracked<T> {object, valuesOf(*object, Model<T>::columns())};
    }

    // Drops pending work and gives tracked objects their stored values back.
    void discard(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added)
    {
        for (const Update& update : updates)
            update.revert();
        for (const NewRepresentation& entry : added) {
            auto& list = ModelContext::representationStorage(*entry.item);
            list.erase(std::remove(list.begin(), list.end(), entry.representation), list.end());
        }
        ops.clear();
    }
};

ModelContext::ModelContext(SqliteDatabase db, QString path)
    : d(std::make_unique<Impl>())
    , m_path(std::move(path))
{
    d->connection = std::make_shared<Connection>(std::move(db));
}

ModelContext::~ModelContext() = default;

void ModelContext::setSealer(ClipboardCryptoService& sealer)
{
    d->sealer = &sealer;
}

QString ModelContext::searchPrefixHash(const QString& searchIndex) const
{
    return d->crypto().hashPrefix(searchIndex);
}

bool ModelContext::reclaimFreeSpace(QString* error)
{
    Connection& connection = *d->connection;
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
    // The rows this save deletes, by table: their pending updates and new representations are skipped.
    std::unordered_map<std::string, std::unordered_set<qint64>> removed;

    auto write = [&]() -> bool {
        for (PendingOp& op : d->ops) {
            bool ok = true;
            if (op.kind == PendingOp::Kind::RemoveClipItemsWhere) {
                ok = d->deleteClipItemsWhere(op, &failure);
                removed[Model<ClipItem>::table].insert(op.removedIDs.begin(), op.removedIDs.end());
            } else {
                ok = std::visit(
                    [&](const auto& object) {
                        using T = typename std::decay_t<decltype(object)>::element_type;
                        if (op.kind == PendingOp::Kind::Remove) {
                            removed[Model<T>::table].insert(object->persistentID);
                            return d->deleteRow(Model<T>::table, object->persistentID, &failure);
                        }
                        bool inserted = d->insertRow(object, undo, &failure);
                        if constexpr (std::is_same_v<T, ClipItem>) {
                            for (const ClipRepresentationPtr& representation : object->representations()) {
                                if (inserted && representation)
                                    inserted = d->insertRepresentation(object, representation, undo, &failure);
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
            if (!removed[update.table].count(update.id) && !d->writeUpdate(update, &failure))
                return false;
        }
        for (const NewRepresentation& entry : added) {
            if (!removed[Model<ClipItem>::table].count(entry.item->persistentID)
                && !d->insertRepresentation(entry.item, entry.representation, undo, &failure))
                return false;
        }
        return true;
    };

    // Sealing runs before the transaction begins: the store's write lock is not held for it, and
    // without the key nothing is written at all.
    const bool ok = d->sealNew(added, undo, &failure)
        && d->connection->database.transaction([&](QString*) { return write(); }, &failure);
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

    for (const Update& update : updates)
        update.commit();
    // Written sealed: the plain values are no longer needed.
    for (const NewRepresentation& entry : added)
        plainData(*entry.representation).reset();
    for (const PendingOp& op : d->ops) {
        if (op.kind == PendingOp::Kind::Insert && std::holds_alternative<ClipItemPtr>(op.object)) {
            const ClipItemPtr& item = std::get<ClipItemPtr>(op.object);
            plainSearchIndex(*item).reset();
            for (const ClipRepresentationPtr& representation : representationStorage(*item)) {
                if (representation)
                    plainData(*representation).reset();
            }
        }
    }
    for (const PendingOp& op : d->ops) {
        if (op.kind == PendingOp::Kind::RemoveClipItemsWhere) {
            for (qint64 id : op.removedIDs)
                d->clipItems.erase(id);
        } else if (op.kind == PendingOp::Kind::Insert) {
            std::visit([&](const auto& object) { d->track(object); }, op.object);
        } else {
            std::visit(
                [&](const auto& object) {
                    using T = typename std::decay_t<decltype(object)>::element_type;
                    d->template registry<T>().erase(object->persistentID);
                },
                op.object);
        }
    }
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

std::vector<ClipItemPtr> ModelContext::fetchClipItems(const FetchDescriptor& descriptor, QString* error)
{
    return d->fetch<ClipItem>(descriptor, error);
}

std::vector<ClipItemPtr> ModelContext::fetchClipItems(
    const FetchDescriptor& descriptor, QString* error, const std::function<void(const ClipItemPtr&)>& onEntry)
{
    return d->fetch<ClipItem>(descriptor, error, onEntry);
}

std::vector<ScreenshotItemPtr> ModelContext::fetchScreenshotItems(const FetchDescriptor& descriptor, QString* error)
{
    return d->fetch<ScreenshotItem>(descriptor, error);
}

std::vector<RecordingItemPtr> ModelContext::fetchRecordingItems(const FetchDescriptor& descriptor, QString* error)
{
    return d->fetch<RecordingItem>(descriptor, error);
}

qint64 ModelContext::countSealedEntries(QString* error)
{
    FetchDescriptor sealed;
    sealed.predicate = QStringLiteral("encryptedSearchIndex IS NOT NULL OR id IN "
                                      "(SELECT clipItem FROM ClipRepresentation WHERE encryptedData IS NOT NULL)");
    return fetchClipItemCount(sealed, error);
}

std::vector<RecordStamp> ModelContext::fetchScreenshotStamps(const FetchDescriptor& descriptor, QString* error)
{
    return d->fetchStamps(Model<ScreenshotItem>::table, descriptor, error);
}

std::vector<RecordStamp> ModelContext::fetchRecordingStamps(const FetchDescriptor& descriptor, QString* error)
{
    return d->fetchStamps(Model<RecordingItem>::table, descriptor, error);
}

qint64 ModelContext::fetchClipItemCount(const FetchDescriptor& descriptor, QString* error)
{
    QString failure;
    Statement statement(*d->connection, QStringLiteral("SELECT COUNT(*) FROM \"ClipItem\"") + whereClause(descriptor),
        descriptor.predicate.trimmed().isEmpty());
    int next = 1;
    if (!statement)
        failure = d->connection->error();
    else if (bindArguments(statement, descriptor.arguments, &next, &failure)) {
        if (statement.step() == SQLITE_ROW)
            return sqlite3_column_int64(statement.get(), 0);
        failure = d->connection->error();
    }
    if (error)
        *error = failure;
    return -1;
}

namespace {
FetchDescriptor byID(qint64 persistentID)
{
    FetchDescriptor descriptor;
    descriptor.predicate = QStringLiteral("id = ?");
    descriptor.arguments = {QVariant::fromValue<qint64>(persistentID)};
    descriptor.limit = 1;
    return descriptor;
}
}

ClipItemPtr ModelContext::clipItem(qint64 persistentID)
{
    std::vector<ClipItemPtr> found = fetchClipItems(byID(persistentID));
    return found.empty() ? nullptr : found.front();
}

ScreenshotItemPtr ModelContext::screenshotItem(qint64 persistentID)
{
    std::vector<ScreenshotItemPtr> found = fetchScreenshotItems(byID(persistentID));
    return found.empty() ? nullptr : found.front();
}

RecordingItemPtr ModelContext::recordingItem(qint64 persistentID)
{
    std::vector<RecordingItemPtr> found = fetchRecordingItems(byID(persistentID));
    return found.empty() ? nullptr : found.front();
}
