#include "store/SqliteDatabase.h"

#include <sqlite3.h>
#include <utility>

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept
{
    if (this != &other) {
        sqlite3_close_v2(m_db);
        m_db = other.release();
    }
    return *this;
}

sqlite3* SqliteDatabase::release()
{
    return std::exchange(m_db, nullptr);
}

QString SqliteDatabase::errorMessage() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
}

bool SqliteDatabase::exec(const char* sql, QString* error) const
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = message ? QString::fromUtf8(message) : errorMessage();
    sqlite3_free(message);
    return false;
}

bool SqliteDatabase::exec(const QString& sql, QString* error) const
{
    return exec(sql.toUtf8().constData(), error);
}

bool SqliteDatabase::transaction(const std::function<bool(QString* error)>& body, QString* error) const
{
    if (!exec("BEGIN IMMEDIATE", error))
        return false;
    const bool ok = body(error) && exec("COMMIT", error);
    if (!ok)
        exec("ROLLBACK", nullptr);
    return ok;
}
