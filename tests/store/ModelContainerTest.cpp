#include "StoreTestSupport.h"

#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <cstdio>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

static void expectRefusedAndUntouched(const QString& path, const QStringList& errorParts)
{
    const QByteArray before = readFile(path);
    QString error;
    EXPECT_FALSE(ModelContainer::open(path, &error));
    EXPECT_FALSE(error.isEmpty());
    for (const QString& part : errorParts)
        EXPECT_TRUE(error.contains(part)) << qPrintable(error);
    EXPECT_TRUE(readFile(path) == before);
}

TEST(StoreOpenTest, NewerSchemaAndForeignFilesAreRefusedAndLeftUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorvel.store"));
    ASSERT_TRUE(ModelContainer::open(path, nullptr));
    {
        RawStore raw(path);
        ASSERT_TRUE(raw.exec(QStringLiteral("UPDATE Metadata SET value = '1.1.0' WHERE key = 'schemaVersion'")));
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    }
    expectRefusedAndUntouched(path, {QStringLiteral("newer"), QStringLiteral("1.1.0")});

    const QString garbage = dir.filePath(QStringLiteral("garbage.store"));
    writeFile(garbage, QByteArray(8192, 'q'));
    expectRefusedAndUntouched(garbage, {});

    // A database of another program is not taken over, not even switched to another journal mode.
    const QString foreign = dir.filePath(QStringLiteral("other.db"));
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(foreign).constData(), &db);
        sqlite3_exec(db, "CREATE TABLE notes (body TEXT)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    expectRefusedAndUntouched(foreign, {QStringLiteral("not a Quorvel store")});
    RawStore raw(foreign);
    EXPECT_EQ(raw.value(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")).toInt(), 1);
}

namespace {
int modeOf(const QString& path)
{
    struct stat status { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
}
}

TEST(StoreFilesTest, FolderAndFilesArePrivateAndLooseOnesAreTightened)
{
    TestCrypto crypto;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("share/Quorvel"));
    const QString path = folder + QStringLiteral("/Quorvel.store");
    qint64 marked = 0;
    {
        auto container = openStore(path);
        ASSERT_TRUE(container);
        container->mainContext().insert(makeTextEntry(QStringLiteral("x")));
        ASSERT_TRUE(container->mainContext().save());
        EXPECT_EQ(modeOf(folder), 0700);
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(path + QLatin1String(suffix)), 0600) << suffix;

        // A deleted entry's bytes are zeroed, not left in free pages.
        RawStore raw(path);
        ASSERT_TRUE(
            raw.exec(QStringLiteral("INSERT INTO ClipItem (timestamp, searchIndex) VALUES (0, 'SECRET-MARKER-4711')")));
        marked = raw.value(QStringLiteral("SELECT MAX(id) FROM ClipItem")).toLongLong();
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        ASSERT_TRUE(readFile(path).contains("SECRET-MARKER-4711"));
        ClipItemPtr markedItem = container->mainContext().clipItem(marked);
        ASSERT_TRUE(markedItem);
        container->mainContext().remove(markedItem);
        ASSERT_TRUE(container->mainContext().save());
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        EXPECT_FALSE(readFile(path).contains("SECRET-MARKER-4711"));
    }
    ASSERT_GT(marked, 0);

    // A store of an earlier version that others could read is tightened at the next start.
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    auto container = openStore(path);
    ASSERT_TRUE(container);
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(modeOf(path + QStringLiteral("-wal")), 0600);

    // A store that cannot be opened is named in the message, whatever failed.
    writeFile(dir.filePath(QStringLiteral("blocker")), "x");
    const QString blocked = dir.filePath(QStringLiteral("blocker/Quorvel/Quorvel.store"));
    QString error;
    EXPECT_FALSE(ModelContainer::open(blocked, &error));
    EXPECT_TRUE(error.contains(blocked)) << qPrintable(error);
}

TEST(StoreFilesTest, AnOldStoreThatIsMostlyFreeSpaceIsCompactedOnceAtOpen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorvel.store"));
    {
        // A store as earlier versions made it: no incremental vacuuming.
        auto container = openStore(path);
        ASSERT_TRUE(container);
    }
    {
        RawStore raw(path);
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA auto_vacuum=NONE")));
        ASSERT_TRUE(raw.exec(QStringLiteral("VACUUM")));
        ASSERT_EQ(raw.value(QStringLiteral("PRAGMA auto_vacuum")).toInt(), 0);
        ASSERT_TRUE(raw.exec(
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                           "INSERT INTO ClipItem (timestamp, searchIndex) SELECT i, hex(randomblob(4000)) FROM n")));
        ASSERT_TRUE(raw.exec(QStringLiteral("DELETE FROM ClipItem WHERE timestamp > 3")));
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    }
    const qint64 bloated = QFileInfo(path).size();
    auto container = openStore(path);
    ASSERT_TRUE(container);
    EXPECT_LT(QFileInfo(path).size(), bloated / 4);
    EXPECT_LT(QFileInfo(path + QStringLiteral("-wal")).size(), bloated / 4);
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 3);
    RawStore raw(path);
    EXPECT_EQ(raw.value(QStringLiteral("PRAGMA auto_vacuum")).toInt(), 2); // later prunes give pages back
}

namespace {
// A store made read-only (a backup tool, a mistaken chmod) is refused, and opens again once its
// mode is mended, also where an earlier start left read-only -wal and -shm files. Run as a user
// that file modes bind (root writes past them); the exit status counts the failures.
int readOnlyStoreScenario()
{
    if (::geteuid() == 0
        && (::setgroups(0, nullptr) || ::setresgid(65534, 65534, 65534) || ::setresuid(65534, 65534, 65534)))
        return 100;
    int failures = 0;
    const auto check = [&](bool ok, const QString& what) {
        failures += ok ? 0 : 1;
        if (!ok)
            std::fprintf(stderr, "failed: %s\n", qPrintable(what));
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorvel/Quorvel.store"));
    check(openStore(path) && RawStore(path).exec(QStringLiteral("INSERT INTO ClipItem (timestamp) VALUES (1)")),
        QStringLiteral("a store with an entry"));
    ::chmod(QFile::encodeName(path).constData(), 0400);
    QString error;
    check(!openStore(path, &error) && error.contains(QStringLiteral("read-only")), error);
    check(!QFile::exists(path + QStringLiteral("-shm")), QStringLiteral("no -shm made"));
    // What a start on the read-only store used to leave: SQLite's -wal and -shm with its mode.
    RawStore(path).value(QStringLiteral("SELECT COUNT(*) FROM ClipItem"));
    check(modeOf(path + QStringLiteral("-shm")) == 0400, QStringLiteral("a read-only -shm"));
    ::chmod(QFile::encodeName(path).constData(), 0600);
    const std::shared_ptr<ModelContainer> container = openStore(path, &error);
    check(container && container->mainContext().save(), QStringLiteral("opens once writable: ") + error);
    check(RawStore(path).value(QStringLiteral("SELECT COUNT(*) FROM ClipItem")).toInt() == 1, QStringLiteral("kept"));
    return failures;
}
}

TEST(StoreFilesTest, AReadOnlyStoreStartsAgainOnceWritable)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(readOnlyStoreScenario()), ::testing::ExitedWithCode(0), "");
}
