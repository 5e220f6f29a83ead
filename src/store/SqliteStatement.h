#pragma once

#include "store/SqliteDatabase.h"
#include "store/StoreSchema.h"

#include <QString>
#include <QVariant>
#include <deque>
#include <sqlite3.h>
#include <string>
#include <unordered_map>

// One SQLite connection with its cache of fixed statements. Shared with the representation
// loaders of fetched entries, which find it gone once the context is destroyed.
struct SqliteConnection {
    explicit SqliteConnection(SqliteDatabase handle)
        : database(std::move(handle))
        , db(database.get())
    {
    }
    ~SqliteConnection()
    {
        // The statements go before the handle closes (after this body).
        for (auto& entry : cache)
            sqlite3_finalize(entry.second);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    QString error() const { return database.errorMessage(); }
    bool exec(const char* sql, QString* failure) const { return database.exec(sql, failure); }

    SqliteDatabase database;
    sqlite3* db;
    std::unordered_map<std::string, sqlite3_stmt*> cache;
};

// A statement in use: cached statements are reset when it goes out of scope, one-off ones
// finalized. Bound values are kept alive until then (BLOBs are bound without a copy).
class SqliteStatement {
public:
    SqliteStatement(SqliteConnection& connection, const QString& sql, bool cached)
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
    ~SqliteStatement()
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
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    explicit operator bool() const { return m_statement != nullptr; }
    sqlite3_stmt* get() const { return m_statement; }

    bool bind(int index, const QVariant& value)
    {
        m_values.push_back(value);
        return StoreSchema::bindValue(m_statement, index, m_values.back());
    }
    int step() { return sqlite3_step(m_statement); }

private:
    bool m_cached;
    sqlite3_stmt* m_statement = nullptr;
    std::deque<QVariant> m_values;
};
