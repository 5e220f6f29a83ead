#pragma once

// The inside of ModelContext, shared by its units: ModelContext.cpp (queueing), ModelContextFetch.cpp
// (reading rows into objects) and ModelContextSave.cpp (sealing and writing changes).

#include "store/ClipboardCryptoService.h"
#include "store/ModelContext.h"
#include "store/SqliteStatement.h"
#include "store/StoreSchema.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <unordered_map>
#include <variant>
#include <vector>

namespace ModelContextDetail {

using namespace StoreSchema;

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

bool isIdentifier(const QString& name);
QString whereClause(const FetchDescriptor& descriptor);
bool bindArguments(SqliteStatement& statement, const QVariantList& arguments, int* next, QString* failure);

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

} // namespace ModelContextDetail

using namespace ModelContextDetail;

struct ModelContext::Impl {
    std::shared_ptr<SqliteConnection> connection;
    Registry<ClipItem> clipItems;
    Registry<ScreenshotItem> screenshots;
    Registry<RecordingItem> recordings;
    std::vector<PendingOp> ops;
    ClipboardCryptoService* sealer = nullptr; // seals and opens for this context; null: it cannot

    template <class T> Registry<T>& registry()
    {
        if constexpr (std::is_same_v<T, ClipItem>)
            return clipItems;
        else if constexpr (std::is_same_v<T, ScreenshotItem>)
            return screenshots;
        else
            return recordings;
    }

    // Fetching (ModelContextFetch.cpp)
    void prepareFetched(ClipItem& item);
    void prepareFetched(ScreenshotItem&) { }
    void prepareFetched(RecordingItem&) { }
    template <class T> std::shared_ptr<T> adopt(sqlite3_stmt* statement);
    template <class T> static bool isUnchanged(const T& object, const std::vector<QVariant>& snapshot);
    // Runs the descriptor's page of a SELECT of columns from table, handing each row to onRow.
    bool selectRows(const QString& columns, const char* table, const FetchDescriptor& descriptor, QString* error,
        const std::function<void(sqlite3_stmt*)>& onRow);
    template <class T>
    std::vector<std::shared_ptr<T>> fetch(const FetchDescriptor& descriptor, QString* error,
        const std::function<void(const std::shared_ptr<T>&)>& onEntry = {});
    std::vector<RecordStamp> fetchStamps(const char* table, const FetchDescriptor& descriptor, QString* error);

    // Saving (ModelContextSave.cpp)
    template <class T> void collectUpdates(std::vector<Update>& updates);
    void collectNewRepresentations(std::vector<NewRepresentation>& found);
    void collectChanges(std::vector<Update>& updates, std::vector<NewRepresentation>& added);
    bool hasTrackedChanges();
    bool seal(const ClipItemPtr& item, std::vector<std::function<void()>>& undo, QString* failure);
    bool seal(const ClipRepresentationPtr& representation, std::vector<std::function<void()>>& undo, QString* failure);
    bool sealNew(
        const std::vector<NewRepresentation>& added, std::vector<std::function<void()>>& undo, QString* failure);
    template <class T>
    bool insertRow(const std::shared_ptr<T>& object, std::vector<std::function<void()>>& undo, QString* failure);
    bool insertRepresentation(const ClipItemPtr& item, const ClipRepresentationPtr& representation,
        std::vector<std::function<void()>>& undo, QString* failure);
    bool deleteRow(const char* table, qint64 id, QString* failure);
    bool deleteClipItemsWhere(PendingOp& op, QString* failure);
    bool writeUpdate(const Update& update, QString* failure);
    bool writePending(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added,
        std::vector<std::function<void()>>& undo, QString* failure);
    void commitSaved(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added);
    template <class T> void track(const std::shared_ptr<T>& object);
    void discard(const std::vector<Update>& updates, const std::vector<NewRepresentation>& added);
};
