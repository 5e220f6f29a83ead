#pragma once
// A clipboard key in a fake keychain, installed as the process-wide crypto service for a test.
#include "clipboard/ClipboardCryptoService.h"
#include "fakes/FakeKeychain.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <memory>
#include <openssl/hmac.h>

class CryptoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        keychain = std::make_unique<FakeKeychain>();
        crypto = std::make_unique<ClipboardCryptoService>(*keychain);
        ASSERT_TRUE(crypto->ensureKey());
        ClipboardCryptoService::setShared(crypto.get());
    }
    void TearDown() override { ClipboardCryptoService::setShared(nullptr); }

    QByteArray storedKey() const
    {
        return keychain->item(QString::fromLatin1(ClipboardCryptoService::keychainService),
            QString::fromLatin1(ClipboardCryptoService::keychainAccount))
            .value_or(QByteArray());
    }

    // HMAC-SHA256 of bytes under the stored key, computed independently of the service.
    QString expectedHash(const QByteArray& bytes) const
    {
        const QByteArray key = storedKey();
        unsigned char digest[32];
        unsigned int length = 0;
        static const unsigned char empty = 0;
        HMAC(EVP_sha256(), key.constData(), key.size(),
            bytes.isEmpty() ? &empty : reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()), digest,
            &length);
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }

    std::unique_ptr<FakeKeychain> keychain;
    std::unique_ptr<ClipboardCryptoService> crypto;
};
