#include "store/ModelContainer.h"

#include "platform/Console.h"
#include "store/ModelContext.h"
#include "store/SqliteDatabase.h"
#include "store/StoreSchema.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QVersionNumber>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int busyTimeoutMs = 5000;
// The WAL is cut back to this size after a checkpoint (it is reset to zero after a truncating one).
constexpr qint64 journalSizeLimit = 64 * 1024 * 1024;

// Runs a query that yields one text value (or none).
bool queryText(const SqliteDatabase& database, const char* sql, const QString& argument, std::optional<QString>* result,
    QString* error)
{
    sqlite3* db = database.get();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        *error = database.errorMessage();
        return false;
    }
    const QByteArray utf8 = argument.toUtf8();
    if (!argument.isNull())
        sqlite3_bind_text(statement, 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    const int step = sqlite3_step(statement);
    bool ok = true;
    if (step == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        *result = text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, 0)) : QString();
    } else if (step == SQLITE_DONE) {
        *result = std::nullopt;
    } else {
        *error = database.errorMessage();
        ok = false;
    }
    sqlite3_finalize(statement);
    return ok;
}

// Opens one connection with the settings every context shares.
SqliteDatabase openConnection(const QString& path, QString* error)
{
    sqlite3* handle = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, flags, nullptr);
    SqliteDatabase db(handle);
    if (opened != SQLITE_OK) {
        *error = db.errorMessage();
        return {};
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, busyTimeoutMs);
    // The first statement reads the header: a file that is not a database fails here, untouched.
    // The journal mode is switched to WAL only once the file is known to be our store
    // (withWal), since that switch rewrites the file header.
    QString failure;
    if (!db.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"), &failure)
        || !db.exec(QStringLiteral("PRAGMA foreign_keys=ON"), &failure)
        || !db.exec(QStringLiteral("PRAGMA synchronous=NORMAL"), &failure)
        // Deleted entries are overwritten with zeros, whatever the SQLite build defaults to.
        || !db.exec(QStringLiteral("PRAGMA secure_delete=ON"), &failure)
        || !db.exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(journalSizeLimit), &failure)) {
        *error = failure;
        return {};
    }
    return db;
}

// Switches an accepted store to WAL; a connection that cannot switch is closed (null returned).
SqliteDatabase withWal(SqliteDatabase db, QString* error)
{
    if (db && !db.exec("PRAGMA journal_mode=WAL", error))
        return {};
    return db;
}

// Checks the schema version, and creates the schema in a new store. A store of a newer version
// and a database that is not a store are refused and left as they are.
bool prepareSchema(const SqliteDatabase& db, const QString& path, QString* error)
{
    std::optional<QString> metadata;
    if (!queryText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?",
            QString::fromLatin1(StoreSchema::metadataTable), &metadata, error))
        return false;

    if (metadata) {
        std::optional<QString> stored;
        const QString sql
            = QStringLiteral("SELECT value FROM \"%1\" WHERE key = ?").arg(QLatin1String(StoreSchema::metadataTable));
        if (!queryText(
                db, sql.toUtf8().constData(), QString::fromLatin1(StoreSchema::schemaVersionKey), &stored, error))
            return false;
        const QVersionNumber current = QVersionNumber::fromString(QLatin1String(ModelContainer::schemaVersion));
        const QVersionNumber found = stored ? QVersionNumber::fromString(*stored) : QVersionNumber();
        if (found.isNull()) {
            *error = QStringLiteral("The store at %1 has no readable schema version; it is left untouched").arg(path);
            return false;
        }
        if (found > current) {
            *error = QStringLiteral(
                "The store at %1 has schema version %2, newer than version %3 of this program; it is left untouched")
                         .arg(path, *stored, current.toString());
            return false;
        }
        if (found < current) {
            *error = QStringLiteral("The store at %1 has schema version %2, which this program cannot read (expected "
                                    "%3); it is left untouched")
                         .arg(path, *stored, current.toString());
            return false;
        }
    } else {
        std::optional<QString> otherTable;
        if (!queryText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' LIMIT 1",
                QString(), &otherTable, error))
            return false;
        if (otherTable) {
            *error = QStringLiteral("The file at %1 is a database but not a Quorvel store; it is left untouched")
                         .arg(path);
            return false;
        }
    }

    // A new store gives the pages of deleted entries back to the file system (after each prune).
    // This only takes effect before the first table exists.
    if (!metadata && !db.exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"), error))
        return false;

    // Creates what is missing (a new store, or indices of an existing one) in one transaction.
    return db.transaction(
        [&](QString* failure) {
            for (const QString& statement : StoreSchema::createStatements()) {
                if (!db.exec(statement, failure))
                    return false;
            }
            return db.exec(
                QStringLiteral("INSERT OR IGNORE INTO \"%1\" (key, value) VALUES ('%2', '%3')")
                    .arg(QLatin1String(StoreSchema::metadataTable), QLatin1String(StoreSchema::schemaVersionKey),
                        QLatin1String(ModelContainer::schemaVersion)),
                failure);
        },
        error);
}

qint64 queryInteger(const SqliteDatabase& db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    qint64 value = -1;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The store's folder holds thumbnails, file names and link titles: it is made 0700, and an
// existing one that others may read is tightened. Its parents are made with the usual mode.
bool prepareFolder(const QString& folder, QString* error)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat status { };
    if (::stat(name.constData(), &status) != 0) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent) || (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)) {
            *error = QStringLiteral("Cannot create the folder %1: %2").arg(folder, systemError());
            return false;
        }
        if (::stat(name.constData(), &status) != 0) {
            *error = QStringLiteral("Cannot create the folder %1: %2").arg(folder, systemError());
            return false;
        }
    }
    if (!S_ISDIR(status.st_mode)) {
        *error = QStringLiteral("Cannot create the folder %1: a file of that name is in the way").arg(folder);
        return false;
    }
    if ((status.st_mode & 077) != 0 && ::chmod(name.constData(), status.st_mode & 0700) != 0)
        Console::log(QStringLiteral("ModelContainer: cannot make %1 private: %2").arg(folder, systemError()));
    return true;
}

// A new store file is created 0600 before SQLite opens it; SQLite gives its -wal and -shm the
// mode of the store file.
void createPrivateFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

// A store file this user cannot write is refused before SQLite opens it: SQLite would open it
// read-only and create its -wal and -shm with the store file's read-only mode, and those would
// keep the store read-only after its own mode is mended. The error is empty when the store is
// missing or writable.
QString refuseReadOnlyStore(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::access(name.constData(), F_OK) != 0 || ::access(name.constData(), W_OK) == 0)
        return {};
    return QStringLiteral("The store at %1 is read-only (%2); Quorvel starts once it may write it again")
        .arg(path, systemError());
}

// A -wal or -shm left read-only by an earlier start on a read-only store (or by a program that
// copied the store's files) would keep the writable store read-only: it is made writable again,
// its content kept. Only regular files of this user, never through a link.
void mendReadOnlyCompanions(const QString& path)
{
    for (const QString& file : {path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
        const QByteArray name = QFile::encodeName(file);
        struct stat status { };
        if (::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()
            || ::access(name.constData(), R_OK | W_OK) == 0)
            continue;
        if (::chmod(name.constData(), 0600) != 0)
            Console::log(QStringLiteral("ModelContainer: cannot make %1 writable: %2").arg(file, systemError()));
    }
}

// Tightens the files of an accepted store that others could read (stores of earlier versions).
void tightenFiles(const QString& path)
{
    for (const QString& file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
        const QByteArray name = QFile::encodeName(file);
        struct stat status { };
        if (::stat(name.constData(), &status) != 0 || (status.st_mode & 077) == 0)
            continue;
        if (::chmod(name.constData(), status.st_mode & 0600) != 0)
            Console::log(QStringLiteral("ModelContainer: cannot make %1 private: %2").arg(file, systemError()));
    }
}

// A store made before its pages were given back can be mostly free space after large prunes.
// When more than half of it is free it is rewritten once, switched to incremental vacuuming on
// the way, so that later prunes return their pages as they go. This runs at open, before any
// window exists and before the monitor writes, so no save waits on it.
void compactIfMostlyFree(const SqliteDatabase& db, const QString& path)
{
    const qint64 pages = queryInteger(db, "PRAGMA page_count");
    const qint64 free = queryInteger(db, "PRAGMA freelist_count");
    if (pages <= 0 || free * 2 <= pages)
        return;
    QString error;
    const bool incremental = queryInteger(db, "PRAGMA auto_vacuum") == 2;
    if (incremental) {
        if (!db.exec(QStringLiteral("PRAGMA incremental_vacuum"), &error))
            Console::log(QStringLiteral("ModelContainer: cannot return the free pages of %1: %2").arg(path, error));
    } else {
        Console::log(
            QStringLiteral("ModelContainer: compacting %1 (%2 of %3 pages are free)").arg(path).arg(free).arg(pages));
        if (!db.exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"), &error)
            || !db.exec(QStringLiteral("VACUUM"), &error))
            Console::log(QStringLiteral("ModelContainer: cannot compact %1: %2").arg(path, error));
    }
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), nullptr);
}

} // namespace

std::shared_ptr<ModelContainer> ModelContainer::open(const QString& path, QString* error)
{
    // Every failure names the store file, whatever SQLite's own message says.
    const auto fail = [&](const QString& reason) -> std::shared_ptr<ModelContainer> {
        if (error)
            *error = reason.contains(path) ? reason
                                           : QStringLiteral("Cannot open the store at %1: %2").arg(path, reason);
        return nullptr;
    };
    QString failure;
    if (!prepareFolder(QFileInfo(path).absolutePath(), &failure))
        return fail(failure);
    createPrivateFile(path);
    failure = refuseReadOnlyStore(path);
    if (!failure.isEmpty())
        return fail(failure);
    mendReadOnlyCompanions(path);
    SqliteDatabase db = openConnection(path, &failure);
    if (db && !prepareSchema(db, path, &failure))
        return fail(failure);
    db = withWal(std::move(db), &failure);
    if (!db)
        return fail(failure);
    tightenFiles(path);
    compactIfMostlyFree(db, path);
    std::shared_ptr<ModelContainer> container(new ModelContainer);
    container->m_path = path;
    container->m_main = std::make_unique<ModelContext>(std::move(db), path);
    return container;
}

QString ModelContainer::defaultStorePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Quorvel/Quorvel.store");
}

ModelContainer::~ModelContainer() = default;

ModelContext& ModelContainer::mainContext()
{
    return *m_main;
}

std::unique_ptr<ModelContext> ModelContainer::makeContext()
{
    return makeContext(nullptr);
}

std::unique_ptr<ModelContext> ModelContainer::makeContext(QString* error)
{
    QString failure;
    SqliteDatabase db = withWal(openConnection(m_path, &failure), &failure);
    if (!db) {
        if (error)
            *error = failure;
        return nullptr;
    }
    auto context = std::make_unique<ModelContext>(std::move(db), m_path);
    if (m_sealer)
        context->setSealer(*m_sealer);
    return context;
}

void ModelContainer::setSealer(ClipboardCryptoService& sealer)
{
    m_sealer = &sealer;
    if (m_main)
        m_main->setSealer(sealer);
}
