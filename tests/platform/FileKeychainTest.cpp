#include "fakes/TestSupport.h"
#include "platform/linux/FileKeychain.h"
#include "platform/linux/SystemKeychain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat st { };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class FileKeychainTest : public ::testing::Test {
protected:
    QString keys() const { return dir.path() + QStringLiteral("/Quorvel/keys"); }
    QTemporaryDir dir;
    const QString service = QStringLiteral("com.fernhollow.quorvel.encryption");
    const QString account = QStringLiteral("clipboard-key");
    const QByteArray key = QByteArray("0123456789abcdef\0\xff\n3456789abcde", 32);
};

TEST_F(FileKeychainTest, AddsPrivateFilesAndReadsThemBack)
{
    FileKeychain keychain(keys());
    EXPECT_EQ(keychain.read(service, account).status, Keychain::Status::NotFound); // no folder yet

    QString error;
    ASSERT_EQ(keychain.add(service, account, key, &error), Keychain::Status::Success) << error.toStdString();
    EXPECT_EQ(modeOf(keys()), 0700u);
    EXPECT_EQ(modeOf(keychain.itemPath(service, account)), 0600u);
    EXPECT_EQ(QDir(keys()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left behind

    const auto result = keychain.read(service, account);
    ASSERT_EQ(result.status, Keychain::Status::Success) << result.error.toStdString();
    EXPECT_EQ(result.data, key);
    EXPECT_EQ(keychain.read(service, QStringLiteral("other")).status, Keychain::Status::NotFound);
}

TEST_F(FileKeychainTest, NeverOverwritesAnItem)
{
    FileKeychain keychain(keys());
    ASSERT_EQ(keychain.add(service, account, key), Keychain::Status::Success);
    EXPECT_EQ(keychain.add(service, account, QByteArray(32, 'x')), Keychain::Status::Duplicate);
    EXPECT_EQ(keychain.read(service, account).data, key);
}

TEST_F(FileKeychainTest, NamesDoNotCollide)
{
    FileKeychain keychain(keys());
    ASSERT_EQ(keychain.add(QStringLiteral("a@b"), QStringLiteral("c"), "first"), Keychain::Status::Success);
    ASSERT_EQ(keychain.add(QStringLiteral("a"), QStringLiteral("b@c"), "second"), Keychain::Status::Success);
    ASSERT_EQ(keychain.add(QStringLiteral("../x"), QStringLiteral("/"), "third"), Keychain::Status::Success);
    const QString longName(300, QLatin1Char('s'));
    ASSERT_EQ(keychain.add(longName, account, "fourth"), Keychain::Status::Success);
    EXPECT_EQ(keychain.read(QStringLiteral("a@b"), QStringLiteral("c")).data, "first");
    EXPECT_EQ(keychain.read(QStringLiteral("a"), QStringLiteral("b@c")).data, "second");
    EXPECT_EQ(keychain.read(QStringLiteral("../x"), QStringLiteral("/")).data, "third");
    EXPECT_EQ(keychain.read(longName, account).data, "fourth");
    EXPECT_EQ(QDir(keys()).entryList(QDir::Files | QDir::Hidden).size(), 4); // all inside the folder
}

TEST_F(FileKeychainTest, LooseModesAndLinksAreUnavailableNotNotFound)
{
    FileKeychain keychain(keys());
    ASSERT_EQ(keychain.add(service, account, key), Keychain::Status::Success);
    const QString item = keychain.itemPath(service, account);

    ASSERT_EQ(::chmod(QFile::encodeName(item).constData(), 0644), 0);
    auto result = keychain.read(service, account);
    EXPECT_EQ(result.status, Keychain::Status::Unavailable);
    EXPECT_TRUE(result.error.contains(QStringLiteral("0644"))) << result.error.toStdString();
    EXPECT_TRUE(result.data.isEmpty());
    QString error;
    EXPECT_EQ(keychain.add(service, account, key, &error), Keychain::Status::Unavailable);
    EXPECT_FALSE(error.isEmpty());
    ASSERT_EQ(::chmod(QFile::encodeName(item).constData(), 0600), 0);

    ASSERT_EQ(::chmod(QFile::encodeName(keys()).constData(), 0755), 0);
    result = keychain.read(service, account);
    EXPECT_EQ(result.status, Keychain::Status::Unavailable);
    EXPECT_TRUE(result.error.contains(QStringLiteral("0755"))) << result.error.toStdString();
    // Not even an absent item is reported missing from a folder that cannot be trusted.
    EXPECT_EQ(keychain.read(service, QStringLiteral("other")).status, Keychain::Status::Unavailable);
    EXPECT_EQ(keychain.add(service, QStringLiteral("other"), key), Keychain::Status::Unavailable);
    ASSERT_EQ(::chmod(QFile::encodeName(keys()).constData(), 0700), 0);

    // A symbolic link in place of an item is not followed.
    QFile target(dir.path() + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.close();
    ASSERT_TRUE(QFile::link(target.fileName(), keychain.itemPath(service, QStringLiteral("linked"))));
    EXPECT_EQ(keychain.read(service, QStringLiteral("linked")).status, Keychain::Status::Unavailable);
}

TEST_F(FileKeychainTest, ForeignOwnerIsUnavailable)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "Changing a file's owner needs root";
    FileKeychain keychain(keys());
    ASSERT_EQ(keychain.add(service, account, key), Keychain::Status::Success);
    ASSERT_EQ(::chown(QFile::encodeName(keychain.itemPath(service, account)).constData(), 65534, 65534), 0);
    const auto result = keychain.read(service, account);
    EXPECT_EQ(result.status, Keychain::Status::Unavailable);
    EXPECT_TRUE(result.error.contains(QStringLiteral("another user"))) << result.error.toStdString();
}

TEST(SystemKeychainTest, WithoutASessionBusKeysGoToFilesWithOneWarning)
{
    const QByteArray savedBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir emptyRuntime;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", emptyRuntime.path().toUtf8());
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    qunsetenv("DISPLAY"); // no X display to find an autolaunched bus on
    ConsoleCapture console;
    QTemporaryDir keys;
    SystemKeychain keychain(keys.path());
    EXPECT_EQ(console.lines.size(), 0); // constructing asks nobody
    EXPECT_FALSE(keychain.usesSecretService());
    const QByteArray key(32, 'f');
    EXPECT_EQ(keychain.add(QStringLiteral("s"), QStringLiteral("a"), key), Keychain::Status::Success);
    EXPECT_EQ(FileKeychain(keys.path()).read(QStringLiteral("s"), QStringLiteral("a")).data, key);
    if (!savedDisplay.isNull())
        qputenv("DISPLAY", savedDisplay);
    if (!savedBus.isNull())
        qputenv("DBUS_SESSION_BUS_ADDRESS", savedBus);
    if (!savedRuntime.isNull())
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    else
        qunsetenv("XDG_RUNTIME_DIR");

    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines.first().startsWith(QStringLiteral("Keychain: "))) << console.lines.first().toStdString();
}

}
