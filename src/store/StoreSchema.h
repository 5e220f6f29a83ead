#pragma once
// The store's tables: one per model, columns named after the fields, in declaration order.
// Times are stored as INTEGER milliseconds since 1970-01-01T00:00:00Z (UTC); Booleans as 0/1;
// absent optionals as NULL (an empty value is an empty text or a zero-length BLOB, never NULL).
#include "store/ClipItem.h"
#include "store/ClipRepresentation.h"
#include "store/RecordingItem.h"
#include "store/ScreenshotItem.h"

#include <QStringList>
#include <QVariant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace StoreSchema {

enum class ColumnType { Integer, Boolean, Real, Text, Blob, Time };

// One stored field. get() gives the field as a canonical QVariant (qint64, bool, double, QString,
// QByteArray, QDateTime; an invalid QVariant for an absent optional); set() adopts such a value.
template <class T> struct Column {
    const char* name;
    ColumnType type;
    bool optional;
    QVariant (*get)(const T&);
    void (*set)(T&, const QVariant&);
};

inline constexpr const char* metadataTable = "Metadata";
inline constexpr const char* schemaVersionKey = "schemaVersion";
// ClipRepresentation's foreign key to ClipItem (ON DELETE CASCADE).
inline constexpr const char* representationOwnerColumn = "clipItem";

const std::vector<Column<ClipItem>>& clipItemColumns();
const std::vector<Column<ClipRepresentation>>& representationColumns();
const std::vector<Column<ScreenshotItem>>& screenshotColumns();
const std::vector<Column<RecordingItem>>& recordingColumns();

// CREATE TABLE/INDEX IF NOT EXISTS statements of the whole schema (without the metadata row).
QStringList createStatements();

// Reads column index of the current row as the canonical QVariant of type.
QVariant readColumn(sqlite3_stmt* statement, int index, ColumnType type);
// Binds a canonical value (or a predicate argument: bool, integers, double, QString, QByteArray,
// QDateTime as stored time, invalid as NULL). BLOBs are bound without a copy: value must outlive
// the statement's next reset. Returns false for an unsupported type.
bool bindValue(sqlite3_stmt* statement, int index, const QVariant& value);
// Equality of canonical values; shared byte arrays compare without reading their bytes.
bool sameValue(const QVariant& a, const QVariant& b);

template <class T> std::vector<QVariant> valuesOf(const T& object, const std::vector<Column<T>>& columns)
{
    std::vector<QVariant> values;
    values.reserve(columns.size());
    for (const Column<T>& column : columns)
        values.push_back(column.get(object));
    return values;
}

QVariant timeValue(const QDateTime& time);

} // namespace StoreSchema
