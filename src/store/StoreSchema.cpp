#include "store/StoreSchema.h"

#include <QDateTime>
#include <sqlite3.h>

namespace StoreSchema {
namespace {

QVariant optionalText(const std::optional<QString>& value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant optionalBytes(const std::optional<QByteArray>& value)
{
    return value ? QVariant(*value) : QVariant();
}

std::optional<QString> toOptionalText(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

std::optional<QByteArray> toOptionalBytes(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    return value.toByteArray();
}

QDateTime toTime(const QVariant& value)
{
    return value.isValid() ? value.toDateTime() : QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
}

QVariant integer(qint64 value)
{
    return QVariant::fromValue<qint64>(value);
}

const char* sqlType(ColumnType type)
{
    switch (type) {
    case ColumnType::Integer:
    case ColumnType::Boolean:
    case ColumnType::Time:
        return "INTEGER";
    case ColumnType::Real:
        return "REAL";
    case ColumnType::Text:
        return "TEXT";
    case ColumnType::Blob:
        return "BLOB";
    }
    return "BLOB";
}

const char* sqlDefault(ColumnType type)
{
    switch (type) {
    case ColumnType::Integer:
    case ColumnType::Boolean:
    case ColumnType::Time:
        return "0";
    case ColumnType::Real:
        return "0.0";
    case ColumnType::Text:
        return "''";
    case ColumnType::Blob:
        return "x''";
    }
    return "NULL";
}

template <class T> QString columnDefinitions(const std::vector<Column<T>>& columns)
{
    QStringList parts {QStringLiteral("\"id\" INTEGER PRIMARY KEY AUTOINCREMENT")};
    for (const Column<T>& column : columns) {
        QString part = QStringLiteral("\"%1\" %2").arg(QLatin1String(column.name), QLatin1String(sqlType(column.type)));
        if (!column.optional)
            part += QStringLiteral(" NOT NULL DEFAULT ") + QLatin1String(sqlDefault(column.type));
        parts << part;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

QVariant timeValue(const QDateTime& time)
{
    return time.isValid() ? QVariant(time.toUTC()) : QVariant(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
}

const std::vector<Column<ClipItem>>& clipItemColumns()
{
    using C = Column<ClipItem>;
    using T = ColumnType;
    static const std::vector<C> columns {
        {"timestamp", T::Time, false, [](const ClipItem& o) { return timeValue(o.timestamp); },
            [](ClipItem& o, const QVariant& v) { o.timestamp = toTime(v); }},
        {"appBundleID", T::Text, false, [](const ClipItem& o) { return QVariant(o.appBundleID); },
            [](ClipItem& o, const QVariant& v) { o.appBundleID = v.toString(); }},
        {"appName", T::Text, false, [](const ClipItem& o) { return QVariant(o.appName); },
            [](ClipItem& o, const QVariant& v) { o.appName = v.toString(); }},
        {"isPinned", T::Boolean, false, [](const ClipItem& o) { return QVariant(o.isPinned); },
            [](ClipItem& o, const QVariant& v) { o.isPinned = v.toBool(); }},
        // The plain search text keeps the column name of stores written before encryption.
        {"searchIndex", T::Text, false, [](const ClipItem& o) { return QVariant(o.legacySearchIndex); },
            [](ClipItem& o, const QVariant& v) { o.legacySearchIndex = v.toString(); }},
        {"encryptedSearchIndex", T::Blob, true, [](const ClipItem& o) { return optionalBytes(o.encryptedSearchIndex); },
            [](ClipItem& o, const QVariant& v) { o.encryptedSearchIndex = toOptionalBytes(v); }},
        {"searchPrefixHash", T::Text, false, [](const ClipItem& o) { return QVariant(o.searchPrefixHash); },
            [](ClipItem& o, const QVariant& v) { o.searchPrefixHash = v.toString(); }},
        {"linkTitle", T::Text, true, [](const ClipItem& o) { return optionalText(o.linkTitle); },
            [](ClipItem& o, const QVariant& v) { o.linkTitle = toOptionalText(v); }},
        {"linkImageData", T::Blob, true, [](const ClipItem& o) { return optionalBytes(o.linkImageData); },
            [](ClipItem& o, const QVariant& v) { o.linkImageData = toOptionalBytes(v); }},
        {"cachedHasImage", T::Boolean, false, [](const ClipItem& o) { return QVariant(o.cachedHasImage); },
            [](ClipItem& o, const QVariant& v) { o.cachedHasImage = v.toBool(); }},
        {"cachedHasFCPContent", T::Boolean, false, [](const ClipItem& o) { return QVariant(o.cachedHasFCPContent); },
            [](ClipItem& o, const QVariant& v) { o.cachedHasFCPContent = v.toBool(); }},
        {"cachedFCPClipCount", T::Integer, false, [](const ClipItem& o) { return integer(o.cachedFCPClipCount); },
            [](ClipItem& o, const QVariant& v) { o.cachedFCPClipCount = int(v.toLongLong()); }},
        {"cachedFCPClipName", T::Text, true, [](const ClipItem& o) { return optionalText(o.cachedFCPClipName); },
            [](ClipItem& o, const QVariant& v) { o.cachedFCPClipName = toOptionalText(v); }},
        {"cachedFCPDuration", T::Text, true, [](const ClipItem& o) { return optionalText(o.cachedFCPDuration); },
            [](ClipItem& o, const QVariant& v) { o.cachedFCPDuration = toOptionalText(v); }},
        {"cachedIsFileCopy", T::Boolean, false, [](const ClipItem& o) { return QVariant(o.cachedIsFileCopy); },
            [](ClipItem& o, const QVariant& v) { o.cachedIsFileCopy = v.toBool(); }},
        {"cachedFileName", T::Text, true, [](const ClipItem& o) { return optionalText(o.cachedFileName); },
            [](ClipItem& o, const QVariant& v) { o.cachedFileName = toOptionalText(v); }},
        {"cachedIsVideo", T::Boolean, false, [](const ClipItem& o) { return QVariant(o.cachedIsVideo); },
            [](ClipItem& o, const QVariant& v) { o.cachedIsVideo = v.toBool(); }},
        {"cachedFileURL", T::Text, true, [](const ClipItem& o) { return optionalText(o.cachedFileURL); },
            [](ClipItem& o, const QVariant& v) { o.cachedFileURL = toOptionalText(v); }},
        {"thumbnailData", T::Blob, true, [](const ClipItem& o) { return optionalBytes(o.thumbnailData); },
            [](ClipItem& o, const QVariant& v) { o.thumbnailData = toOptionalBytes(v); }},
    };
    return columns;
}

const std::vector<Column<ClipRepresentation>>& representationColumns()
{
    using C = Column<ClipRepresentation>;
    using T = ColumnType;
    static const std::vector<C> columns {
        {"typeUTI", T::Text, false, [](const ClipRepresentation& o) { return QVariant(o.typeUTI); },
            [](ClipRepresentation& o, const QVariant& v) { o.typeUTI = v.toString(); }},
        {"priority", T::Integer, false, [](const ClipRepresentation& o) { return integer(o.priority); },
            [](ClipRepresentation& o, const QVariant& v) { o.priority = int(v.toLongLong()); }},
        // The plain payload keeps the column name of stores written before encryption.
        {"data", T::Blob, false, [](const ClipRepresentation& o) { return QVariant(o.legacyData); },
            [](ClipRepresentation& o, const QVariant& v) { o.legacyData = v.toByteArray(); }},
        {"encryptedData", T::Blob, true, [](const ClipRepresentation& o) { return optionalBytes(o.encryptedData); },
            [](ClipRepresentation& o, const QVariant& v) { o.encryptedData = toOptionalBytes(v); }},
    };
    return columns;
}

const std::vector<Column<ScreenshotItem>>& screenshotColumns()
{
    using C = Column<ScreenshotItem>;
    using T = ColumnType;
    static const std::vector<C> columns {
        {"timestamp", T::Time, false, [](const ScreenshotItem& o) { return timeValue(o.timestamp); },
            [](ScreenshotItem& o, const QVariant& v) { o.timestamp = toTime(v); }},
        {"captureKind", T::Text, false, [](const ScreenshotItem& o) { return QVariant(o.captureKind); },
            [](ScreenshotItem& o, const QVariant& v) { o.captureKind = v.toString(); }},
        {"pngData", T::Blob, false, [](const ScreenshotItem& o) { return QVariant(o.pngData); },
            [](ScreenshotItem& o, const QVariant& v) { o.pngData = v.toByteArray(); }},
        {"sourceImageData", T::Blob, true, [](const ScreenshotItem& o) { return optionalBytes(o.sourceImageData); },
            [](ScreenshotItem& o, const QVariant& v) { o.sourceImageData = toOptionalBytes(v); }},
        {"strokesData", T::Blob, true, [](const ScreenshotItem& o) { return optionalBytes(o.strokesData); },
            [](ScreenshotItem& o, const QVariant& v) { o.strokesData = toOptionalBytes(v); }},
    };
    return columns;
}

const std::vector<Column<RecordingItem>>& recordingColumns()
{
    using C = Column<RecordingItem>;
    using T = ColumnType;
    static const std::vector<C> columns {
        {"timestamp", T::Time, false, [](const RecordingItem& o) { return timeValue(o.timestamp); },
            [](RecordingItem& o, const QVariant& v) { o.timestamp = toTime(v); }},
        {"recordingKind", T::Text, false, [](const RecordingItem& o) { return QVariant(o.recordingKind); },
            [](RecordingItem& o, const QVariant& v) { o.recordingKind = v.toString(); }},
        {"fileName", T::Text, false, [](const RecordingItem& o) { return QVariant(o.fileName); },
            [](RecordingItem& o, const QVariant& v) { o.fileName = v.toString(); }},
        {"durationSeconds", T::Real, false, [](const RecordingItem& o) { return QVariant(o.durationSeconds); },
            [](RecordingItem& o, const QVariant& v) { o.durationSeconds = v.toDouble(); }},
        {"fileSizeBytes", T::Integer, false, [](const RecordingItem& o) { return integer(o.fileSizeBytes); },
            [](RecordingItem& o, const QVariant& v) { o.fileSizeBytes = v.toLongLong(); }},
        {"hasSystemAudio", T::Boolean, false, [](const RecordingItem& o) { return QVariant(o.hasSystemAudio); },
            [](RecordingItem& o, const QVariant& v) { o.hasSystemAudio = v.toBool(); }},
        {"thumbnailData", T::Blob, true, [](const RecordingItem& o) { return optionalBytes(o.thumbnailData); },
            [](RecordingItem& o, const QVariant& v) { o.thumbnailData = toOptionalBytes(v); }},
    };
    return columns;
}

QStringList createStatements()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (\"key\" TEXT PRIMARY KEY NOT NULL, \"value\" TEXT NOT NULL)")
            .arg(QLatin1String(metadataTable)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"ClipItem\" (%1)").arg(columnDefinitions(clipItemColumns())),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"ClipRepresentation\" (%1, \"%2\" INTEGER REFERENCES "
                       "\"ClipItem\"(\"id\") ON DELETE CASCADE)")
            .arg(columnDefinitions(representationColumns()), QLatin1String(representationOwnerColumn)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"ScreenshotItem\" (%1)").arg(columnDefinitions(screenshotColumns())),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"RecordingItem\" (%1)").arg(columnDefinitions(recordingColumns())),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"ClipItem_timestamp\" ON \"ClipItem\"(\"timestamp\")"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS \"ClipItem_isPinned_timestamp\" ON \"ClipItem\"(\"isPinned\", \"timestamp\")"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS \"ClipItem_searchPrefixHash\" ON \"ClipItem\"(\"searchPrefixHash\")"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS \"ClipRepresentation_clipItem\" ON \"ClipRepresentation\"(\"clipItem\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"ScreenshotItem_timestamp\" ON \"ScreenshotItem\"(\"timestamp\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"RecordingItem_timestamp\" ON \"RecordingItem\"(\"timestamp\")"),
    };
}

QVariant readColumn(sqlite3_stmt* statement, int index, ColumnType type)
{
    if (sqlite3_column_type(statement, index) == SQLITE_NULL)
        return QVariant();
    switch (type) {
    case ColumnType::Integer:
        return integer(sqlite3_column_int64(statement, index));
    case ColumnType::Boolean:
        return QVariant(sqlite3_column_int64(statement, index) != 0);
    case ColumnType::Real:
        return QVariant(sqlite3_column_double(statement, index));
    case ColumnType::Time:
        return QVariant(QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(statement, index), Qt::UTC));
    case ColumnType::Text: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
        const int length = sqlite3_column_bytes(statement, index);
        return QVariant(QString::fromUtf8(text, length));
    }
    case ColumnType::Blob: {
        const void* blob = sqlite3_column_blob(statement, index);
        const int length = sqlite3_column_bytes(statement, index);
        // A zero-length BLOB is an empty value, not an absent one.
        return QVariant(length > 0 ? QByteArray(static_cast<const char*>(blob), length) : QByteArray(""));
    }
    }
    return QVariant();
}

bool bindValue(sqlite3_stmt* statement, int index, const QVariant& value)
{
    if (!value.isValid())
        return sqlite3_bind_null(statement, index) == SQLITE_OK;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int64(statement, index, value.toBool() ? 1 : 0) == SQLITE_OK;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return sqlite3_bind_int64(statement, index, value.toLongLong()) == SQLITE_OK;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(statement, index, qint64(value.toULongLong())) == SQLITE_OK;
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, index, value.toDouble()) == SQLITE_OK;
    case QMetaType::QString: {
        const QByteArray utf8 = value.toString().toUtf8();
        return sqlite3_bind_text64(statement, index, utf8.isEmpty() ? "" : utf8.constData(),
                   sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8)
            == SQLITE_OK;
    }
    case QMetaType::QByteArray: {
        const auto* bytes = static_cast<const QByteArray*>(value.constData());
        if (bytes->isEmpty())
            return sqlite3_bind_zeroblob(statement, index, 0) == SQLITE_OK;
        return sqlite3_bind_blob64(statement, index, bytes->constData(), sqlite3_uint64(bytes->size()), SQLITE_STATIC)
            == SQLITE_OK;
    }
    case QMetaType::QDateTime:
        return sqlite3_bind_int64(statement, index, value.toDateTime().toMSecsSinceEpoch()) == SQLITE_OK;
    default:
        return false;
    }
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isValid() != b.isValid())
        return false;
    if (!a.isValid())
        return true;
    if (a.typeId() != b.typeId())
        return false;
    if (a.typeId() == QMetaType::QByteArray) {
        const auto* x = static_cast<const QByteArray*>(a.constData());
        const auto* y = static_cast<const QByteArray*>(b.constData());
        if (x->size() != y->size())
            return false;
        // Unchanged fields share their bytes with the snapshot.
        return x->constData() == y->constData() || *x == *y;
    }
    return a == b;
}

} // namespace StoreSchema
