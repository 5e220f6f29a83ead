// Runs against a real gnome-keyring in a private D-Bus session (scripts/with-keyring).
#include "platform/linux/KeychainFactory.h"
#include "platform/linux/SecretServiceKeychain.h"
#include "platform/linux/SystemKeychain.h"

#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString reason;
        if (!SecretServiceKeychain::probe(&reason))
            GTEST_SKIP() << "No Secret Service reachable (" << reason.toStdString()
                         << "); run this test through scripts/with-keyring";
    }

    // A service name of its own for every test, so that runs never see each other's items.
    static QString uniqueService()
    {
        return QStringLiteral("com.fernhollow.quorvel.test.%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
    }

    static QByteArray randomKey()
    {
        QByteArray key(32, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(key.data()), 8);
        // Bytes that text handling would break: a zero, a high byte, a newline.
        key[3] = '\0';
        key[7] = char(0xff);
        key[11] = '\n';
        return key;
    }

    SecretServiceKeychain keychain;
};

TEST_F(SecretServiceKeychainTest, AddReadDuplicateAndNotFound)
{
    const QString service = uniqueService();
    const auto missing = keychain.read(service, QStringLiteral("encryption-key"));
    EXPECT_EQ(missing.status, Keychain::Status::NotFound) << missing.error.toStdString();
    EXPECT_TRUE(missing.data.isEmpty());

    const QByteArray key = randomKey();
    QString error;
    ASSERT_EQ(keychain.add(service, QStringLiteral("encryption-key"), key, &error), Keychain::Status::Success)
        << error.toStdString();
    const auto result = keychain.read(service, QStringLiteral("encryption-key"));
    ASSERT_EQ(result.status, Keychain::Status::Success) << result.error.toStdString();
    EXPECT_EQ(result.data, key);
    // A fresh instance finds the same item: nothing is cached in the object.
    EXPECT_EQ(SecretServiceKeychain().read(service, QStringLiteral("encryption-key")).data, key);

    // A second add is a duplicate and keeps the first value.
    EXPECT_EQ(keychain.add(service, QStringLiteral("encryption-key"), randomKey()), Keychain::Status::Duplicate);
    EXPECT_EQ(keychain.read(service, QStringLiteral("encryption-key")).data, key);

    // Items are kept apart by service and account.
    const QByteArray other = randomKey();
    ASSERT_EQ(keychain.add(service, QStringLiteral("other"), other), Keychain::Status::Success);
    EXPECT_EQ(keychain.read(service, QStringLiteral("other")).data, other);
    EXPECT_EQ(keychain.read(service + QStringLiteral(".other"), QStringLiteral("encryption-key")).status,
        Keychain::Status::NotFound);
}

TEST_F(SecretServiceKeychainTest, FactoryChoosesTheSecretService)
{
    const std::unique_ptr<Keychain> chosen = makeSystemKeychain();
    auto* system = dynamic_cast<SystemKeychain*>(chosen.get());
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(system->usesSecretService());
}

}

// Locks the default collection for the rest of the process, so it runs last in this file.
TEST(SecretServiceKeychainLockedTest, LockedCollectionIsUnavailableNotNotFound)
{
    QString reason;
    if (!SecretServiceKeychain::probe(&reason))
        GTEST_SKIP() << "No Secret Service reachable (" << reason.toStdString() << ")";
    SecretServiceKeychain keychain;
    const QString service
        = QStringLiteral("com.fernhollow.quorvel.test.locked.%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
    ASSERT_EQ(keychain.add(service, QStringLiteral("encryption-key"), QByteArray(32, 'k')), Keychain::Status::Success);

    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"),
        {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("--object-path"),
            QStringLiteral("/org/freedesktop/secrets"), QStringLiteral("--method"),
            QStringLiteral("org.freedesktop.Secret.Service.Lock"),
            QStringLiteral("['/org/freedesktop/secrets/aliases/default']")});
    if (!gdbus.waitForFinished(10000) || gdbus.exitCode() != 0)
        GTEST_SKIP() << "Could not lock the keyring: " << gdbus.readAllStandardError().toStdString();

    // No prompt can be shown here, so the item stays locked.
    const auto result = keychain.read(service, QStringLiteral("encryption-key"));
    EXPECT_EQ(result.status, Keychain::Status::Unavailable);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_TRUE(result.data.isEmpty());
    QString error;
    EXPECT_EQ(keychain.add(service, QStringLiteral("encryption-key"), QByteArray(32, 'x'), &error),
        Keychain::Status::Unavailable);
}
