#include "HistoryTestSupport.h"
#include "fakes/FakeKeychain.h"
#include "history/ClipQueryService.h"

#include <sqlite3.h>

namespace {
class ClipQueryTest : public HistoryTest {
protected:
    // The model of a stored entry (lists only ever show stored, sealed entries).
    ClipItemViewModel modelOf(const QString& text) { return ClipItemViewModel(add(text)); }
};
}

TEST_F(ClipQueryTest, PreviewCountsUserPerceivedCharactersAndKeepsBlanks)
{
    const ClipItemViewModel empty = modelOf(QString());
    EXPECT_EQ(empty.previewText, "[No text preview]");
    EXPECT_FALSE(empty.isURL);

    EXPECT_EQ(modelOf(QString(150, 'x')).previewText, QString(100, 'x'));
    EXPECT_EQ(modelOf(QStringLiteral("   ")).previewText, "   ");

    // A family emoji (seven code points joined) is one character: 99 letters, the emoji, then cut.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    const ClipItemViewModel emoji = modelOf(QString(99, 'a') + family + QStringLiteral("tail"));
    EXPECT_EQ(emoji.previewText, QString(99, 'a') + family);

    // A long text with multi-byte characters is cut at a character, whatever its byte length.
    const QString umlauts = QString(5000, QChar(0x00FC));
    EXPECT_EQ(modelOf(umlauts).previewText, QString(100, QChar(0x00FC)));
    EXPECT_EQ(modelOf(umlauts).searchIndex(), umlauts);
}

TEST_F(ClipQueryTest, WebAddressesAfterTrimmingAreUrlsCaseSensitively)
{
    EXPECT_TRUE(modelOf(QStringLiteral("\n https://example.org")).isURL);
    EXPECT_TRUE(modelOf(QStringLiteral("http://example.org")).isURL);
    EXPECT_TRUE(modelOf(QStringLiteral("\u00A0\u2028https://example.org")).isURL);
    EXPECT_FALSE(modelOf(QStringLiteral("\n HTTPS://example.org")).isURL);
    EXPECT_FALSE(modelOf(QStringLiteral("ftp://example.org")).isURL);
    EXPECT_FALSE(modelOf(QStringLiteral("see https://example.org")).isURL);
}

TEST_F(ClipQueryTest, IdentityIsTheRowAndEqualityComparesTheListedFields)
{
    EntrySpec spec {QStringLiteral("same time")};
    const ClipItemPtr first = add(spec);
    const ClipItemPtr second = add(spec);
    second->timestamp = first->timestamp;
    const ClipItemViewModel a(first);
    const ClipItemViewModel b(second);
    EXPECT_EQ(a.id, first->persistentID);
    EXPECT_NE(a.id, b.id); // same time, two entries

    ClipItemViewModel changed(first);
    changed.thumbnailData = QByteArray("other bytes");
    ClipItemViewModel withThumb(first);
    withThumb.thumbnailData = QByteArray("bytes");
    EXPECT_TRUE(changed == withThumb);
    EXPECT_FALSE(a == withThumb); // presence differs
    ClipItemViewModel pinned(first);
    pinned.isPinned = true;
    EXPECT_FALSE(a == pinned);
    EXPECT_EQ(qHash(a), qHash(pinned));
}

TEST_F(ClipQueryTest, FetchReturnsTheNewestWithinTheLimit)
{
    for (int i = 0; i < 800; ++i)
        add(QString::number(i));
    const std::vector<ClipItemViewModelPtr> models = ClipQueryService::fetchRecentViewModels(context(), 500);
    ASSERT_EQ(models.size(), 500u);
    EXPECT_EQ(models.front()->searchIndex(), "799");
    EXPECT_EQ(models.back()->searchIndex(), "300");
}

TEST_F(ClipQueryTest, LargeTextsOpenInParallelWithTheSameResult)
{
    // Enough sealed text to take the worker path.
    for (int i = 0; i < 24; ++i)
        add(QStringLiteral("Entry %1 ").arg(i).repeated(4000));
    const std::vector<ClipItemViewModelPtr> models = ClipQueryService::fetchRecentViewModels(context(), 500);
    ASSERT_EQ(models.size(), 24u);
    for (size_t i = 0; i < models.size(); ++i) {
        const ClipItemViewModel serial(models[i]->clipItem);
        EXPECT_EQ(models[i]->searchIndex(), serial.searchIndex());
        EXPECT_EQ(models[i]->previewText, serial.previewText);
        EXPECT_EQ(models[i]->searchKey().folded(), serial.searchKey().folded());
    }
}

TEST_F(ClipQueryTest, ApplicationNamesAreOneCappedLineWithoutDirectionControls)
{
    EntrySpec spec(QStringLiteral("text"));
    spec.appName = QStringLiteral("Evil\u202Etxt.exe\nSecond line\u2066") + QString(1 << 20, QLatin1Char('n'));
    const ClipItemViewModel model(add(spec));
    EXPECT_TRUE(model.appName.startsWith(QStringLiteral("Eviltxt.exe Second line")));
    EXPECT_LE(model.appName.size(), ClipItem::maxAppNameCharacters);
    EXPECT_GT(model.appName.size(), ClipItem::maxAppNameCharacters - 4);
    EXPECT_FALSE(model.appName.contains(QChar(0x202E)));
}

TEST_F(ClipQueryTest, AHugeStoredTextIsHeldAndSearchedOnlyInPart)
{
    // Two-byte characters, so that the cut has to find a character boundary.
    const QString huge = QStringLiteral("needle ") + QString(1 << 20, QChar(0x00E9));
    const ClipItemViewModel model(add(huge));
    EXPECT_LE(model.searchIndexUtf8Size(), ClipItemViewModel::maxHeldTextBytes);
    EXPECT_GT(model.searchIndexUtf8Size(), ClipItemViewModel::maxHeldTextBytes - 4);
    EXPECT_EQ(model.textProblem, ClipItemViewModel::TextProblem::none);
    EXPECT_TRUE(model.searchIndex().startsWith(QStringLiteral("needle ")));
    EXPECT_FALSE(model.searchIndex().contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(model.searchKey().contains(SearchKey::foldQuery(QStringLiteral("needle"))));
}

TEST_F(ClipQueryTest, UnreadableSealAndFailedFetchGiveEmptyResults)
{
    const ClipItemPtr item = add(QStringLiteral("secret"));
    item->encryptedSearchIndex = QByteArray(60, 'x');
    const ClipItemViewModel unreadable(item);
    EXPECT_EQ(unreadable.previewText, "[Sealed text cannot be opened]");
    EXPECT_EQ(unreadable.textProblem, ClipItemViewModel::TextProblem::cannotBeOpened);
    EXPECT_TRUE(unreadable.searchIndex().isEmpty());

    // Sealed well, but the keychain with the key is locked: the row says so.
    const ClipItemPtr sealed = add(QStringLiteral("locked away"));
    FakeKeychain lockedKeychain;
    ClipboardCryptoService locked(lockedKeychain);
    sealed->sealer = &locked;
    const ClipItemViewModel hidden(sealed);
    EXPECT_EQ(hidden.previewText, "[Sealed text hidden: keychain locked]");
    EXPECT_EQ(hidden.textProblem, ClipItemViewModel::TextProblem::keychainLocked);
    // An entry without any text is no problem.
    EXPECT_EQ(modelOf(QString()).textProblem, ClipItemViewModel::TextProblem::none);

    // Another connection takes the table away under the main context.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(store.container->path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "PRAGMA foreign_keys=OFF; ALTER TABLE ClipItem RENAME TO Gone;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(other);

    ConsoleCapture console;
    EXPECT_TRUE(ClipQueryService::fetchRecentViewModels(context(), 500).empty());
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines.front().startsWith("Failed to fetch clip items: "))
        << console.lines.front().toStdString();
}
