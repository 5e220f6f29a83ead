#include "platform/Console.h"
#include "store/ModelContextImpl.h"

#include <QRegularExpression>
#include <algorithm>

bool ModelContextDetail::isIdentifier(const QString& name)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return identifier.match(name).hasMatch();
}

QString ModelContextDetail::whereClause(const FetchDescriptor& descriptor)
{
    return descriptor.predicate.trimmed().isEmpty()
        ? QString()
        : QStringLiteral(" WHERE (") + descriptor.predicate + QStringLiteral(")");
}

bool ModelContextDetail::bindArguments(
    SqliteStatement& statement, const QVariantList& arguments, int* next, QString* failure)
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

namespace {

std::vector<ClipRepresentationPtr> loadRepresentations(SqliteConnection& connection, qint64 itemID)
{
    static const QString sql = QStringLiteral(
        "SELECT \"id\", %1 FROM \"ClipRepresentation\" WHERE \"%2\" = ? ORDER BY \"id\"")
                                   .arg(quotedColumns(representationColumns(), QStringLiteral(", ")),
                                       QLatin1String(representationOwnerColumn));
    std::vector<ClipRepresentationPtr> loaded;
    SqliteStatement statement(connection, sql, true);
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

} // namespace

void ModelContext::Impl::prepareFetched(ClipItem& item)
{
    ModelContext::setRepresentationsUnloaded(item);
    if (sealer)
        item.sealer = sealer;
    item.representationLoader = [weak = std::weak_ptr<SqliteConnection>(connection), sealer = sealer](qint64 itemID) {
        if (std::shared_ptr<SqliteConnection> alive = weak.lock()) {
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

// The object for the current row: the one already held (refreshed unless it has unsaved
// changes) or a new one.
template <class T> std::shared_ptr<T> ModelContext::Impl::adopt(sqlite3_stmt* statement)
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

template <class T> bool ModelContext::Impl::isUnchanged(const T& object, const std::vector<QVariant>& snapshot)
{
    const auto& columns = Model<T>::columns();
    for (size_t c = 0; c < columns.size(); ++c) {
        if (!sameValue(columns[c].get(object), snapshot[c]))
            return false;
    }
    return true;
}

bool ModelContext::Impl::selectRows(const QString& columns, const char* table, const FetchDescriptor& descriptor,
    QString* error, const std::function<void(sqlite3_stmt*)>& onRow)
{
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!isIdentifier(descriptor.sortBy))
        return fail(QStringLiteral("Cannot sort by \"%1\"").arg(descriptor.sortBy));
    const QString where = whereClause(descriptor);
    const QString sql = QStringLiteral("SELECT %1 FROM \"%2\"%3 ORDER BY \"%4\" %5, \"id\" %5 LIMIT ? OFFSET ?")
                            .arg(columns, QLatin1String(table), where, descriptor.sortBy,
                                descriptor.ascending ? QStringLiteral("ASC") : QStringLiteral("DESC"));
    SqliteStatement statement(*connection, sql, where.isEmpty());
    if (!statement)
        return fail(connection->error());
    int next = 1;
    QString failure;
    if (!bindArguments(statement, descriptor.arguments, &next, &failure))
        return fail(failure);
    statement.bind(next++, QVariant::fromValue<qint64>(descriptor.limit < 0 ? -1 : descriptor.limit));
    statement.bind(next++, QVariant::fromValue<qint64>(std::max(0, descriptor.offset)));
    int step;
    while ((step = statement.step()) == SQLITE_ROW)
        onRow(statement.get());
    if (step != SQLITE_DONE)
        return fail(connection->error());
    return true;
}

template <class T>
std::vector<std::shared_ptr<T>> ModelContext::Impl::fetch(
    const FetchDescriptor& descriptor, QString* error, const std::function<void(const std::shared_ptr<T>&)>& onEntry)
{
    std::vector<std::shared_ptr<T>> result;
    const bool ok = selectRows(selectList<T>(), Model<T>::table, descriptor, error, [&](sqlite3_stmt* row) {
        result.push_back(adopt<T>(row));
        if (onEntry)
            onEntry(result.back());
    });
    return ok ? result : std::vector<std::shared_ptr<T>>();
}

std::vector<RecordStamp> ModelContext::Impl::fetchStamps(
    const char* table, const FetchDescriptor& descriptor, QString* error)
{
    std::vector<RecordStamp> result;
    const bool ok = selectRows(
        QStringLiteral("\"id\", \"timestamp\""), table, descriptor, error, [&](sqlite3_stmt* row) {
            result.push_back({sqlite3_column_int64(row, 0), readColumn(row, 1, ColumnType::Time).toDateTime()});
        });
    return ok ? result : std::vector<RecordStamp>();
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
    SqliteStatement statement(*d->connection,
        QStringLiteral("SELECT COUNT(*) FROM \"ClipItem\"") + whereClause(descriptor),
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
