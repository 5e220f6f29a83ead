#pragma once
// A clipboard key in a fake keychain, installed as the process-wide crypto service for a test.
#include "fakes/TestSupport.h"

#include <openssl/hmac.h>

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
            bytes.isEmpty() ? &empty : reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()), digest, &length);
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }

    TestCrypto test;
    ClipboardCryptoService* crypto = &test.service;
};
