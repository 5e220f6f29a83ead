#pragma once
// A clipboard key in a fake keychain, installed as the process-wide crypto service for a test.
#include "fakes/TestSupport.h"

#include <QFile>
#include <QVariant>
#include <openssl/hmac.h>
#include <sqlite3.h>

class CryptoTest : public ::testing::Test {
protected:
    QByteArray storedKey() const { return test.storedKey(); }
    // HMAC-SHA256 of bytes under the stored key, computed independently of the service.
    QString expectedHash(const QByteArray& bytes) const
    {
        const QByteArray key = storedKey();
        unsigned char digest[32];
        unsigned int length = 0;
        static const unsigned char empty = 0;
        HMAC(EVP_sha256(), key.constData(), key.size(),
            bytes.isEmpty() ? &empty : reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()),
            digest, &length);
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }

    TestCrypto test;
    ClipboardCryptoService* crypto = &test.service;
};

// A second, raw connection to the store file, for looking behind the context's back.
class RawStore {
public:
    explicit RawStore(const QString& path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~RawStore() { sqlite3_close_v2(m_db); }
    bool exec(const QString& sql)
    {
        return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    QVariant value(const QString& sql)
    {
        sqlite3_stmt* statement = nullptr;
        QVariant result;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            switch (sqlite3_column_type(statement, 0)) {
            case SQLITE_INTEGER:
                result = QVariant::fromValue<qint64>(sqlite3_column_int64(statement, 0));
                break;
            case SQLITE_NULL:
                break;
            default:
                result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            }
        }
        sqlite3_finalize(statement);
        return result;
    }
    qint64 count(const QString& table)
    {
        return value(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)).toLongLong();
    }

private:
    sqlite3* m_db = nullptr;
};
