#include "platform/PasteboardTypes.h"
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

ClipItemPtr entryAt(const QString& text, const QDateTime& time, bool pinned = false)
{
    return makeEntry(text,
        {sealedRepresentation(PasteboardTypes::utf8PlainText, 100, text.toUtf8()),
            sealedRepresentation(PasteboardTypes::html, 400, ("<p>" + text + "</p>").toUtf8())},
        time, pinned);
}

const QDateTime base = QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9, 123), Qt::UTC);

} // namespace

class StoreTest : public CryptoTest {
protected:
    void SetUp() override
    {
        QString error;
        container = openStore(path, &error); // makes the missing folder
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
    EXPECT_EQ(raw.value(QStringLiteral("SELECT value FROM Metadata WHERE key = 'schemaVersion'")).toString(),
        QStringLiteral("1.0.0"));
    EXPECT_EQ(raw.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    // Reopening an existing store works and keeps its rows.
    saveEntry(QStringLiteral("kept"), base);
    container.reset();
    QString error;
    container = openStore(path, &error);
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
    EXPECT_FIELD(timestamp);
    EXPECT_FIELD(appBundleID);
    EXPECT_FIELD(appName);
    EXPECT_FIELD(isPinned);
    EXPECT_FIELD(legacySearchIndex);
    EXPECT_FIELD(encryptedSearchIndex);
    EXPECT_FIELD(searchPrefixHash);
    EXPECT_FIELD(linkTitle);
    EXPECT_FIELD(linkImageData);
    EXPECT_FIELD(cachedHasImage);
    EXPECT_FIELD(cachedHasFCPContent);
    EXPECT_FIELD(cachedFCPClipCount);
    EXPECT_FIELD(cachedFCPClipName);
    EXPECT_FIELD(cachedFCPDuration);
    EXPECT_FIELD(cachedIsFileCopy);
    EXPECT_FIELD(cachedFileName);
    EXPECT_FIELD(cachedIsVideo);
    EXPECT_FIELD(cachedFileURL);
    EXPECT_FIELD(thumbnailData);
#undef EXPECT_FIELD
    EXPECT_EQ(loaded->searchIndex(), QStringLiteral("Round trip"));
    ASSERT_TRUE(loaded->linkImageData); // present but empty stays present

    const auto& representations = loaded->representations();
    ASSERT_EQ(representations.size(), 2u);
    EXPECT_EQ(representations[0]->typeUTI, PasteboardTypes::utf8PlainText);
    EXPECT_EQ(representations[0]->priority, 100);
    EXPECT_EQ(representations[0]->data(), QByteArray("Round trip"));
    EXPECT_TRUE(representations[0]->legacyData.isEmpty());
    EXPECT_EQ(representations[1]->typeUTI, PasteboardTypes::html);
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

// The context seals at the column boundary with the service it was given (AES-GCM layout, keyed
// prefix hash), drops the plain values once written, and never writes them to a plain column.
TEST_F(StoreTest, SavingSealsWithTheContextsServiceAndNeverStoresPlainValues)
{
    FakeKeychain keychain;
    ClipboardCryptoService own(keychain);
    ASSERT_TRUE(own.ensureKey());
    std::unique_ptr<ModelContext> writer = container->makeContext();
    writer->setSealer(own);
    ClipItemPtr item = entryAt(QStringLiteral("PLAIN-MARKER-0815"), base);
    ClipRepresentationPtr appended = sealedRepresentation(PasteboardTypes::rtf, 500, "PLAIN-MARKER-0815 rtf");
    writer->insert(item);
    ASSERT_TRUE(writer->save());
    item->appendRepresentation(appended); // appended to a stored entry: sealed by the next save
    ASSERT_TRUE(writer->save());

    ASSERT_TRUE(item->encryptedSearchIndex);
    EXPECT_EQ(item->encryptedSearchIndex->size(),
        QByteArray("PLAIN-MARKER-0815").size() + ClipboardCryptoService::sealedOverhead);
    EXPECT_EQ(own.decrypt(*item->encryptedSearchIndex), QByteArray("PLAIN-MARKER-0815"));
    EXPECT_FALSE(crypto->decrypt(*item->encryptedSearchIndex)); // not the process-wide key
    EXPECT_EQ(item->searchPrefixHash, own.hashPrefix(QStringLiteral("plain-marker-0815")));
    EXPECT_EQ(item->searchPrefixHash, writer->searchPrefixHash(QStringLiteral("PLAIN-MARKER-0815")));
    EXPECT_EQ(item->searchIndex(), QStringLiteral("PLAIN-MARKER-0815")); // opened through the writer's service
    for (const ClipRepresentationPtr& representation : item->representations()) {
        ASSERT_TRUE(representation->encryptedData);
        EXPECT_TRUE(representation->legacyData.isEmpty());
        EXPECT_TRUE(own.decrypt(*representation->encryptedData));
    }
    EXPECT_EQ(appended->data(), QByteArray("PLAIN-MARKER-0815 rtf"));

    RawStore raw(path);
    ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    EXPECT_FALSE(readFile(path).contains("PLAIN-MARKER-0815"));
    EXPECT_EQ(raw.value(QStringLiteral(
                            "SELECT COUNT(*) FROM ClipRepresentation WHERE encryptedData IS NULL OR length(data) > 0"))
                  .toLongLong(),
        0);
}

// Without the key a save fails and writes nothing; the entry stays unsealed and a later save with the key stores it.
TEST_F(StoreTest, AContextWithoutTheKeyRefusesToWriteAndStoresNothingPlain)
{
    FakeKeychain locked;
    locked.setUnavailable(true);
    ClipboardCryptoService lockedCrypto(locked);
    std::unique_ptr<ModelContext> writer = container->makeContext();
    writer->setSealer(lockedCrypto);
    ClipItemPtr item = entryAt(QStringLiteral("PLAIN-MARKER-0815"), base);
    writer->insert(item);
    QString error;
    EXPECT_FALSE(writer->save(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(writer->hasChanges());
    EXPECT_EQ(item->persistentID, 0);
    EXPECT_FALSE(item->encryptedSearchIndex);
    EXPECT_TRUE(writer->searchPrefixHash(QStringLiteral("x")).isEmpty());
    RawStore raw(path);
    ASSERT_TRUE(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    EXPECT_EQ(raw.count(QStringLiteral("ClipItem")), 0);
    EXPECT_FALSE(readFile(path).contains("PLAIN-MARKER-0815"));

    context().insert(item);
    ASSERT_TRUE(context().save());
    EXPECT_EQ(crypto->decrypt(*item->encryptedSearchIndex), QByteArray("PLAIN-MARKER-0815"));
    EXPECT_EQ(item->representations()[1]->data(), QByteArray("<p>PLAIN-MARKER-0815</p>"));
}

// A store given no sealer seals nothing and opens nothing: a save fails without a plain byte
// written, and sealed entries it fetches stay closed.
TEST_F(StoreTest, AStoreWithoutASealerNeitherWritesNorOpensSealedEntries)
{
    saveEntry(QStringLiteral("sealed before"), base);
    std::shared_ptr<ModelContainer> unsealed = ModelContainer::open(path, nullptr);
    ASSERT_TRUE(unsealed);
    ModelContext& writer = unsealed->mainContext();
    writer.insert(entryAt(QStringLiteral("PLAIN-MARKER-4711"), base.addSecs(1)));
    QString error;
    EXPECT_FALSE(writer.save(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot be sealed"))) << qPrintable(error);
    EXPECT_FALSE(readFile(path).contains("PLAIN-MARKER-4711"));
    EXPECT_FALSE(readFile(path + QStringLiteral("-wal")).contains("PLAIN-MARKER-4711"));

    const std::unique_ptr<ModelContext> reader = unsealed->makeContext();
    const std::vector<ClipItemPtr> fetched = reader->fetchClipItems();
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_FALSE(fetched[0]->searchIndex());
    ASSERT_FALSE(fetched[0]->representations().empty());
    EXPECT_FALSE(fetched[0]->representations()[0]->data());
}

TEST_F(StoreTest, LegacyColumnsAreReadThroughTheFallbacks)
{
    RawStore raw(path);
    ASSERT_TRUE(raw.exec(
        QStringLiteral("INSERT INTO ClipItem (timestamp, searchIndex) VALUES (0, 'written before encryption')")));
    ASSERT_TRUE(raw.exec(QStringLiteral("INSERT INTO ClipRepresentation (typeUTI, priority, data, clipItem) "
                                        "VALUES ('public.utf8-plain-text', 100, x'6869', last_insert_rowid())")));
    std::vector<ClipItemPtr> items = context().fetchClipItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->searchIndex(), QStringLiteral("written before encryption"));
    ASSERT_EQ(items[0]->representations().size(), 1u);
    EXPECT_EQ(items[0]->representations()[0]->data(), QByteArray("hi"));
    // Written before encryption: nothing a lost key would make unreadable.
    EXPECT_EQ(context().countSealedEntries(), 0);
    context().insert(makeTextEntry(QStringLiteral("sealed")));
    ASSERT_TRUE(context().save());
    EXPECT_EQ(context().countSealedEntries(), 1);
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
    auto shot = std::make_shared<ScreenshotItem>(
        base, QStringLiteral("area"), QByteArray("png-1"), QByteArray("png-1"), std::nullopt);
    auto recording = std::make_shared<RecordingItem>(base, QStringLiteral("window"),
        QStringLiteral("2026-03-05_14-07-09.mov"), 12.5, qint64(5) << 32, true, QByteArray("jpeg"));
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
    pinned.arguments = {true, base.addSecs(3)};
    pinned.ascending = true;
    std::vector<ClipItemPtr> filtered = context().fetchClipItems(pinned);
    ASSERT_EQ(filtered.size(), 3u); // 3, 6, 9
    EXPECT_EQ(filtered[0]->searchIndex(), QStringLiteral("entry 3"));
    EXPECT_EQ(filtered[2]->searchIndex(), QStringLiteral("entry 9"));
    EXPECT_EQ(context().fetchClipItemCount(pinned), 3);

    FetchDescriptor byHash;
    byHash.predicate = QStringLiteral("searchPrefixHash = ?");
    byHash.arguments = {crypto->hashPrefix(QStringLiteral("ENTRY 4"))};
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
    unpinned.arguments = {false};
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
