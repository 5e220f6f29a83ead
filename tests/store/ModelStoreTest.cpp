#include "StoreTestSupport.h"

#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

namespace {

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
    qint64 count(const QString& table) { return value(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)).toLongLong(); }

private:
    sqlite3* m_db = nullptr;
};

ClipItemPtr entryAt(const QString& text, const QDateTime& time, bool pinned = false)
{
    return makeEntry(text, {sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 100, text.toUtf8()),
        sealedRepresentation(QStringLiteral("public.html"), 400, ("<p>" + text + "</p>").toUtf8())}, time, pinned);
}

const QDateTime base = QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9, 123), Qt::UTC);

} // namespace

class StoreTest : public CryptoTest {
protected:
    void SetUp() override
    {
        QString error;
        container = ModelContainer::open(path, &error); // makes the missing folder
        ASSERT_TRUE(container) << qPrintable(error);
    }
    ModelContext& context() { return container->mainContext(); }

    qint64 saveEntry(const QString& text, const QDateTime& time, bool pinned = false)
    {
        ClipItemPtr item = entryAt(text, time, pinned);
        context().insert(item);
        QString error;
        EXPECT_TRUE(context().save(&error)) << qPrintable(error);
        return item->persistentID;
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Quorvel/Quorvel.store"));
    std::shared_ptr<ModelContainer> container;
};

TEST_F(StoreTest, SchemaVersionJournalAndReopening)
{
    RawStore raw(path);
    EXPECT_EQ(raw.value(QStringLiteral("SELECT value FROM Metadata WHERE key = 'schemaVersion'")).toString(), QStringLiteral("1.0.0"));
    EXPECT_EQ(raw.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    // Reopening an existing store works and keeps its rows.
    saveEntry(QStringLiteral("kept"), base);
    container.reset();
    QString error;
    container = ModelContainer::open(path, &error);
    ASSERT_TRUE(container) << qPrintable(error);
    EXPECT_EQ(context().fetchClipItemCount(), 1);
}

TEST_F(StoreTest, EntryRoundTripsEveryField)
{
    ClipItemPtr item = entryAt(QStringLiteral("Round trip"), base, true);
    item->linkTitle = QStringLiteral("Example Domain");
    item->linkImageData = QByteArray();
    item->cachedHasImage = true;
    item->cachedHasFCPContent = true;
    item->cachedFCPClipCount = 3;
    item->cachedFCPClipName = QStringLiteral("Interview");
    item->cachedFCPDuration = QStringLiteral("00:01:02");
    item->cachedIsFileCopy = true;
    item->cachedFileName = QStringLiteral("movie.mov");
    item->cachedIsVideo = true;
    item->cachedFileURL = QStringLiteral("file:///tmp/movie.mov");
    item->thumbnailData = QByteArray("\x89PNG\0thumb", 10);
    context().insert(item);
    ASSERT_TRUE(context().save());
    ASSERT_GT(item->persistentID, 0);
    ASSERT_GT(item->representations()[0]->persistentID, 0);

    auto other = container->makeContext();
    ClipItemPtr loaded = other->clipItem(item->persistentID);
    ASSERT_TRUE(loaded);
#define EXPECT_FIELD(field) EXPECT_EQ(loaded->field, item->field) << #field
    EXPECT_FIELD(timestamp); EXPECT_FIELD(appBundleID); EXPECT_FIELD(appName); EXPECT_FIELD(isPinned);
    EXPECT_FIELD(legacySearchIndex); EXPECT_FIELD(encryptedSearchIndex); EXPECT_FIELD(searchPrefixHash);
    EXPECT_FIELD(linkTitle); EXPECT_FIELD(linkImageData); EXPECT_FIELD(cachedHasImage); EXPECT_FIELD(cachedHasFCPContent);
    EXPECT_FIELD(cachedFCPClipCount); EXPECT_FIELD(cachedFCPClipName); EXPECT_FIELD(cachedFCPDuration);
    EXPECT_FIELD(cachedIsFileCopy); EXPECT_FIELD(cachedFileName); EXPECT_FIELD(cachedIsVideo); EXPECT_FIELD(cachedFileURL);
    EXPECT_FIELD(thumbnailData);
#undef EXPECT_FIELD
    EXPECT_EQ(loaded->searchIndex(), QStringLiteral("Round trip"));
    ASSERT_TRUE(loaded->linkImageData); // present but empty stays present

    const auto& representations = loaded->representations();
    ASSERT_EQ(representations.size(), 2u);
    EXPECT_EQ(representations[0]->typeUTI, QStringLiteral("public.utf8-plain-text"));
    EXPECT_EQ(representations[0]->priority, 100);
    EXPECT_EQ(representations[0]->data(), QByteArray("Round trip"));
    EXPECT_TRUE(representations[0]->legacyData.isEmpty());
    EXPECT_EQ(representations[1]->typeUTI, QStringLiteral("public.html"));
    EXPECT_EQ(representations[1]->data(), QByteArray("<p>Round trip</p>"));
    EXPECT_EQ(representations[1]->clipItem.lock(), loaded);

    // Optionals that were absent stay absent.
    ClipItemPtr bare = entryAt(QStringLiteral("bare"), base);
    context().insert(bare);
    ASSERT_TRUE(context().save());
    ClipItemPtr bareLoaded = other->clipItem(bare->persistentID);
    EXPECT_FALSE(bareLoaded->linkTitle);
    EXPECT_FALSE(bareLoaded->linkImageData);
    EXPECT_FALSE(bareLoaded->thumbnailData);
    EXPECT_FALSE(bareLoaded->cachedFCPClipName);
}

TEST_F(StoreTest, LegacyColumnsAreReadThroughTheFallbacks)
{
    RawStore raw(path);
    ASSERT_TRUE(raw.exec(QStringLiteral("INSERT INTO ClipItem (timestamp, searchIndex) VALUES (0, 'written before encryption')")));
    ASSERT_TRUE(raw.exec(QStringLiteral("INSERT INTO ClipRepresentation (typeUTI, priority, data, clipItem) "
                                        "VALUES ('public.utf8-plain-text', 100, x'6869', last_insert_rowid())")));
    std::vector<ClipItemPtr> items = context().fetchClipItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->searchIndex(), QStringLiteral("written before encryption"));
    ASSERT_EQ(items[0]->representations().size(), 1u);
    EXPECT_EQ(items[0]->representations()[0]->data(), QByteArray("hi"));
}

TEST_F(StoreTest, DeletingAnEntryDeletesItsRepresentations)
{
    const qint64 first = saveEntry(QStringLiteral("first"), base);
    saveEntry(QStringLiteral("second"), base.addSecs(1));
    RawStore raw(path);
    EXPECT_EQ(raw.count(QStringLiteral("ClipRepresentation")), 4);

    context().remove(context().clipItem(first));
    ASSERT_TRUE(context().save());
    EXPECT_EQ(raw.count(QStringLiteral("ClipItem")), 1);
    EXPECT_EQ(raw.count(QStringLiteral("ClipRepresentation")), 2);
    EXPECT_FALSE(context().clipItem(first));

    // Identities are not reused after a deletion (the paste stack keeps them).
    const qint64 third = saveEntry(QStringLiteral("third"), base.addSecs(2));
    EXPECT_GT(third, first + 1);
}

TEST_F(StoreTest, ListFetchesDoNotLoadRepresentations)
{
    const qint64 id = saveEntry(QStringLiteral("lazy"), base);
    auto list = container->makeContext();
    std::vector<ClipItemPtr> items = list->fetchClipItems();
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->representationLoader);

    int loads = 0;
    auto loader = items[0]->representationLoader;
    items[0]->representationLoader = [&loads, loader](qint64 itemID) {
        ++loads;
        return loader(itemID);
    };
    // Cached facts and the search text come without the payloads.
    EXPECT_EQ(items[0]->searchIndex(), QStringLiteral("lazy"));
    EXPECT_EQ(items[0]->contentTypeIcon(), QStringLiteral("doc.text"));
    EXPECT_EQ(loads, 0);

    // Representations removed behind the context's back after the fetch are gone when first read:
    // the fetch did not read them.
    RawStore raw(path);
    ASSERT_TRUE(raw.exec(QStringLiteral("DELETE FROM ClipRepresentation WHERE clipItem = %1").arg(id)));
    EXPECT_TRUE(items[0]->representations().empty());
    EXPECT_EQ(loads, 1);
    items[0]->representations();
    EXPECT_EQ(loads, 1);
}

TEST_F(StoreTest, RepresentationLoaderOutlivingItsContextGivesNothing)
{
    saveEntry(QStringLiteral("orphan"), base);
    auto list = container->makeContext();
    ClipItemPtr item = list->fetchClipItems().front();
    list.reset();
    EXPECT_TRUE(item->representations().empty());
}

TEST_F(StoreTest, FailedSaveRollsBackAndLaterSavesWork)
{
    saveEntry(QStringLiteral("existing"), base);
    RawStore raw(path);
    ASSERT_TRUE(raw.exec(QStringLiteral("CREATE TRIGGER poison BEFORE INSERT ON ClipRepresentation "
                                        "WHEN NEW.typeUTI = 'poison' BEGIN SELECT RAISE(ABORT, 'poisoned row'); END")));

    ClipItemPtr pinned = context().fetchClipItems().front();
    pinned->isPinned = true;
    ClipItemPtr bad = entryAt(QStringLiteral("bad"), base.addSecs(1));
    bad->appendRepresentation(std::make_shared<ClipRepresentation>(QStringLiteral("poison"), 50, QByteArray("x")));
    context().insert(bad);
    QString error;
    EXPECT_FALSE(context().save(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("poisoned row"))) << qPrintable(error);

    // Nothing of the failed transaction reached the store, and the context forgot it.
    EXPECT_EQ(raw.count(QStringLiteral("ClipItem")), 1);
    EXPECT_EQ(raw.count(QStringLiteral("ClipRepresentation")), 2);
    EXPECT_EQ(raw.value(QStringLiteral("SELECT isPinned FROM ClipItem")).toInt(), 0);
    EXPECT_EQ(bad->persistentID, 0);
    for (const auto& representation : bad->representations())
        EXPECT_EQ(representation->persistentID, 0);
    EXPECT_FALSE(pinned->isPinned);
    EXPECT_FALSE(context().hasChanges());

    const qint64 good = saveEntry(QStringLiteral("good"), base.addSecs(2));
    EXPECT_GT(good, 0);
    EXPECT_EQ(raw.count(QStringLiteral("ClipItem")), 2);
    EXPECT_EQ(raw.count(QStringLiteral("ClipRepresentation")), 4);
}

TEST_F(StoreTest, ChangedFieldsOfTrackedObjectsAreSaved)
{
    const qint64 id = saveEntry(QStringLiteral("pin me"), base);
    ClipItemPtr item = context().clipItem(id);
    EXPECT_FALSE(context().hasChanges());
    item->isPinned = true;
    EXPECT_TRUE(context().hasChanges());
    ASSERT_TRUE(context().save());
    EXPECT_FALSE(context().hasChanges());

    auto other = container->makeContext();
    EXPECT_TRUE(other->clipItem(id)->isPinned);

    // An inserted object is tracked after its save, too.
    ClipItemPtr fresh = entryAt(QStringLiteral("fresh"), base.addSecs(5));
    context().insert(fresh);
    ASSERT_TRUE(context().save());
    fresh->isPinned = true;
    ASSERT_TRUE(context().save());
    EXPECT_TRUE(other->clipItem(fresh->persistentID)->isPinned);

    // rollback() gives the stored value back.
    item->isPinned = false;
    context().rollback();
    EXPECT_TRUE(item->isPinned);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(StoreTest, ScreenshotEditsAndRecordingsAreSaved)
{
    auto shot = std::make_shared<ScreenshotItem>(base, QStringLiteral("area"), QByteArray("png-1"), QByteArray("png-1"), std::nullopt);
    auto recording = std::make_shared<RecordingItem>(base, QStringLiteral("window"), QStringLiteral("2026-03-05_14-07-09.mov"), 12.5,
        qint64(5) << 32, true, QByteArray("jpeg"));
    context().insert(shot);
    context().insert(recording);
    ASSERT_TRUE(context().save());
    shot->pngData = QByteArray("png-2");
    shot->strokesData = QByteArray("[]");
    shot->timestamp = base.addSecs(60);
    ASSERT_TRUE(context().save());

    auto other = container->makeContext();
    ScreenshotItemPtr loaded = other->screenshotItem(shot->persistentID);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->captureKind, QStringLiteral("area"));
    EXPECT_EQ(loaded->pngData, QByteArray("png-2"));
    EXPECT_EQ(loaded->sourceImageData, QByteArray("png-1"));
    EXPECT_EQ(loaded->strokesData, QByteArray("[]"));
    EXPECT_EQ(loaded->timestamp, base.addSecs(60));

    std::vector<RecordingItemPtr> all = other->fetchRecordingItems();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]->timestamp, base);
    EXPECT_EQ(all[0]->recordingKind, QStringLiteral("window"));
    EXPECT_EQ(all[0]->fileName, recording->fileName);
    EXPECT_DOUBLE_EQ(all[0]->durationSeconds, 12.5);
    EXPECT_EQ(all[0]->fileSizeBytes, qint64(5) << 32);
    EXPECT_TRUE(all[0]->hasSystemAudio);
    EXPECT_EQ(all[0]->thumbnailData, QByteArray("jpeg"));
    EXPECT_EQ(other->recordingItem(recording->persistentID), all[0]);

    context().remove(shot);
    ASSERT_TRUE(context().save());
    EXPECT_TRUE(other->fetchScreenshotItems().empty());
}

TEST_F(StoreTest, FetchReturnsTheObjectItHoldsAndKeepsUnsavedChanges)
{
    const qint64 id = saveEntry(QStringLiteral("same"), base);
    ClipItemPtr first = context().clipItem(id);
    EXPECT_EQ(context().clipItem(id), first);
    first->isPinned = true;
    EXPECT_TRUE(context().fetchClipItems().front()->isPinned);

    // Unchanged objects are refreshed from the store.
    auto other = container->makeContext();
    ClipItemPtr elsewhere = other->clipItem(id);
    RawStore raw(path);
    ASSERT_TRUE(raw.exec(QStringLiteral("UPDATE ClipItem SET appName = 'Renamed'")));
    EXPECT_EQ(other->clipItem(id)->appName, QStringLiteral("Renamed"));
    EXPECT_EQ(elsewhere->appName, QStringLiteral("Renamed"));
}

TEST_F(StoreTest, FetchDescriptorsFilterSortAndPage)
{
    for (int i = 0; i < 10; ++i)
        saveEntry(QStringLiteral("entry %1").arg(i), base.addSecs(i), i % 3 == 0);

    std::vector<ClipItemPtr> newest = context().fetchClipItems();
    ASSERT_EQ(newest.size(), 10u);
    EXPECT_EQ(newest.front()->searchIndex(), QStringLiteral("entry 9"));
    EXPECT_EQ(newest.back()->searchIndex(), QStringLiteral("entry 0"));

    FetchDescriptor page;
    page.limit = 3;
    page.offset = 2;
    std::vector<ClipItemPtr> paged = context().fetchClipItems(page);
    ASSERT_EQ(paged.size(), 3u);
    EXPECT_EQ(paged[0]->searchIndex(), QStringLiteral("entry 7"));

    FetchDescriptor pinned;
    pinned.predicate = QStringLiteral("isPinned = ? AND timestamp >= ?");
    pinned.arguments = { true, base.addSecs(3) };
    pinned.ascending = true;
    std::vector<ClipItemPtr> filtered = context().fetchClipItems(pinned);
    ASSERT_EQ(filtered.size(), 3u); // 3, 6, 9
    EXPECT_EQ(filtered[0]->searchIndex(), QStringLiteral("entry 3"));
    EXPECT_EQ(filtered[2]->searchIndex(), QStringLiteral("entry 9"));
    EXPECT_EQ(context().fetchClipItemCount(pinned), 3);

    FetchDescriptor byHash;
    byHash.predicate = QStringLiteral("searchPrefixHash = ?");
    byHash.arguments = { crypto->hashPrefix(QStringLiteral("ENTRY 4")) };
    EXPECT_EQ(context().fetchClipItemCount(byHash), 1);

    QString error;
    FetchDescriptor badSort;
    badSort.sortBy = QStringLiteral("timestamp; DROP TABLE ClipItem");
    EXPECT_TRUE(context().fetchClipItems(badSort, &error).empty());
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    FetchDescriptor badPredicate;
    badPredicate.predicate = QStringLiteral("noSuchColumn = 1");
    EXPECT_TRUE(context().fetchClipItems(badPredicate, &error).empty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(context().fetchClipItemCount(badPredicate), -1);
    EXPECT_EQ(context().fetchClipItemCount(), 10);
}

TEST_F(StoreTest, RemoveAllClipItemsHonoursItsPredicate)
{
    for (int i = 0; i < 6; ++i)
        saveEntry(QStringLiteral("entry %1").arg(i), base.addSecs(i), i < 2);
    std::vector<ClipItemPtr> held = context().fetchClipItems();

    FetchDescriptor unpinned;
    unpinned.predicate = QStringLiteral("isPinned = ?");
    unpinned.arguments = { false };
    context().removeAllClipItems(unpinned);
    EXPECT_TRUE(context().hasChanges());
    ASSERT_TRUE(context().save());
    EXPECT_EQ(context().fetchClipItemCount(), 2);
    RawStore raw(path);
    EXPECT_EQ(raw.count(QStringLiteral("ClipRepresentation")), 4);

    context().removeAllClipItems();
    ASSERT_TRUE(context().save());
    EXPECT_EQ(context().fetchClipItemCount(), 0);
    EXPECT_EQ(raw.count(QStringLiteral("ClipRepresentation")), 0);
    // A change to an object deleted meanwhile writes nothing and fails nothing.
    held.front()->isPinned = !held.front()->isPinned;
    EXPECT_TRUE(context().save());
}

TEST_F(StoreTest, RemovingAnUnsavedObjectCancelsItsInsertion)
{
    ClipItemPtr item = entryAt(QStringLiteral("never"), base);
    context().insert(item);
    context().insert(item);
    context().remove(item);
    EXPECT_FALSE(context().hasChanges());
    ASSERT_TRUE(context().save());
    EXPECT_EQ(context().fetchClipItemCount(), 0);
}

TEST_F(StoreTest, BackgroundContextWritesAreSeenByTheMainContext)
{
    std::shared_ptr<ModelContainer> shared = container;
    bool saved = false;
    std::thread worker([&] {
        std::unique_ptr<ModelContext> own = shared->makeContext();
        for (int i = 0; i < 20; ++i)
            own->insert(entryAt(QStringLiteral("bg %1").arg(i), base.addSecs(i)));
        saved = own->save();
    });
    for (int i = 0; i < 20; ++i)
        saveEntry(QStringLiteral("fg %1").arg(i), base.addSecs(100 + i));
    worker.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(context().fetchClipItemCount(), 40);
}

// Opening refuses the file with an error naming each of `errorParts` and leaves its bytes as they were.
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
    struct stat status {};
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
        auto container = ModelContainer::open(path, nullptr);
        ASSERT_TRUE(container);
        container->mainContext().insert(makeTextEntry(QStringLiteral("x")));
        ASSERT_TRUE(container->mainContext().save());
        EXPECT_EQ(modeOf(folder), 0700);
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(path + QLatin1String(suffix)), 0600) << suffix;

        // A deleted entry's bytes are zeroed, not left in free pages.
        RawStore raw(path);
        ASSERT_TRUE(raw.exec(QStringLiteral("INSERT INTO ClipItem (timestamp, searchIndex) VALUES (0, 'SECRET-MARKER-4711')")));
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
    auto container = ModelContainer::open(path, nullptr);
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
        auto container = ModelContainer::open(path, nullptr);
        ASSERT_TRUE(container);
    }
    {
        RawStore raw(path);
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA auto_vacuum=NONE")));
        ASSERT_TRUE(raw.exec(QStringLiteral("VACUUM")));
        ASSERT_EQ(raw.value(QStringLiteral("PRAGMA auto_vacuum")).toInt(), 0);
        ASSERT_TRUE(raw.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                                            "INSERT INTO ClipItem (timestamp, searchIndex) SELECT i, hex(randomblob(4000)) FROM n")));
        ASSERT_TRUE(raw.exec(QStringLiteral("DELETE FROM ClipItem WHERE timestamp > 3")));
        ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    }
    const qint64 bloated = QFileInfo(path).size();
    auto container = ModelContainer::open(path, nullptr);
    ASSERT_TRUE(container);
    EXPECT_LT(QFileInfo(path).size(), bloated / 4);
    EXPECT_LT(QFileInfo(path + QStringLiteral("-wal")).size(), bloated / 4);
    EXPECT_EQ(container->mainContext().fetchClipItemCount(), 3);
    RawStore raw(path);
    EXPECT_EQ(raw.value(QStringLiteral("PRAGMA auto_vacuum")).toInt(), 2); // later prunes give pages back
}
