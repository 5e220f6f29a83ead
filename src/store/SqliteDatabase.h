#pragma once
#include <QString>
#include <functional>

struct sqlite3;

// Owns one SQLite connection handle and closes it (sqlite3_close_v2) when it goes, on every path.
// Also the one place that runs plain SQL and wraps work in a write transaction.
class SqliteDatabase {
public:
    SqliteDatabase() = default;
    explicit SqliteDatabase(sqlite3* handle)
        : m_db(handle)
    {
    }
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept
        : m_db(other.release())
    {
    }
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    sqlite3* get() const { return m_db; }
    explicit operator bool() const { return m_db != nullptr; }
    // Gives the handle up without closing it.
    sqlite3* release();

    // SQLite's message for the last failure on this connection ("out of memory" without one).
    QString errorMessage() const;

    // Runs sql (one or more statements, no results). On failure sets error (when given) to
    // SQLite's message and returns false.
    bool exec(const char* sql, QString* error) const;
    bool exec(const QString& sql, QString* error) const;

    // BEGIN IMMEDIATE, then body; COMMIT when it returns true, else (or when COMMIT fails)
    // ROLLBACK. Returns whether the transaction was committed; error holds the first failure.
    bool transaction(const std::function<bool(QString* error)>& body, QString* error) const;

private:
    sqlite3* m_db = nullptr;
};
