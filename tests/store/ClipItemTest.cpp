#include "platform/PasteboardTypes.h"
#include "StoreTestSupport.h"

#include "store/ClipItem.h"
#include "store/UTIPriority.h"

namespace {

ClipItemPtr makeItem(
    const QString& searchIndex = QStringLiteral("text"), std::vector<ClipRepresentationPtr> representations = {})
{
    return makeEntry(searchIndex, std::move(representations));
}

ClipRepresentationPtr representation(const QString& type, const QByteArray& data)
{
    return sealedRepresentation(type, UTIPriority::priority(type), data);
}

} // namespace

using ClipItemTest = CryptoTest;

// Sealing happens when a context writes the entry: until then the values are plain, in memory only.
TEST_F(ClipItemTest, ANewEntryHoldsItsTextAndPayloadsPlainUntilWritten)
{
    const ClipItemPtr item = makeItem(
        QStringLiteral("Hello Clipboard"), {representation(PasteboardTypes::png, "png bytes")});
    EXPECT_EQ(item->searchIndex(), QStringLiteral("Hello Clipboard"));
    EXPECT_FALSE(item->encryptedSearchIndex);
    EXPECT_TRUE(item->legacySearchIndex.isEmpty());
    EXPECT_TRUE(item->searchPrefixHash.isEmpty());
    const ClipRepresentation& payload = *item->representations()[0];
    EXPECT_EQ(payload.data(), QByteArray("png bytes"));
    EXPECT_FALSE(payload.encryptedData);
    EXPECT_TRUE(payload.legacyData.isEmpty());
}

TEST_F(ClipItemTest, SearchIndexFallsBackToTheLegacyFieldOrIsAbsent)
{
    ClipItem legacy;
    legacy.legacySearchIndex = QStringLiteral("old entry");
    EXPECT_EQ(legacy.searchIndex(), QStringLiteral("old entry"));

    ClipItem emptyLegacy; // no sealed text: the (empty) legacy text is the text
    EXPECT_EQ(emptyLegacy.searchIndex(), QString());

    ClipItem unreadable;
    unreadable.encryptedSearchIndex = QByteArray(40, '\x01');
    unreadable.sealer = crypto;
    EXPECT_FALSE(unreadable.searchIndex());
    unreadable.legacySearchIndex = QStringLiteral("fallback");
    EXPECT_EQ(unreadable.searchIndex(), QStringLiteral("fallback"));

    ClipItem notUtf8;
    notUtf8.encryptedSearchIndex = crypto->encrypt(QByteArray("\xff\xfe\xc0", 3));
    notUtf8.sealer = crypto;
    EXPECT_FALSE(notUtf8.searchIndex());
}

TEST_F(ClipItemTest, RepresentationDataOpensOrFallsBackOrIsAbsent)
{
    ClipRepresentation sealed;
    sealed.encryptedData = crypto->encrypt(QByteArray("png bytes"));
    EXPECT_FALSE(sealed.data()); // without the sealer that opens it
    sealed.sealer = crypto;
    EXPECT_EQ(sealed.data(), QByteArray("png bytes"));

    const ClipRepresentation emptyPayload(PasteboardTypes::html, 400, QByteArray());
    ASSERT_TRUE(emptyPayload.data());
    EXPECT_TRUE(emptyPayload.data()->isEmpty());

    ClipRepresentation unreadable;
    unreadable.encryptedData = QByteArray(64, '\x02');
    unreadable.sealer = crypto;
    EXPECT_FALSE(unreadable.data()); // skipped by callers instead of writing nothing
    unreadable.legacyData = QByteArray("legacy");
    EXPECT_EQ(unreadable.data(), QByteArray("legacy"));

    ClipRepresentation legacy;
    legacy.legacyData = QByteArray("before encryption");
    EXPECT_EQ(legacy.data(), QByteArray("before encryption"));
}

TEST_F(ClipItemTest, ContentTypeIconFollowsTheRulesInOrder)
{
    ClipItem item;
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("doc.text"));
    item.linkTitle = QString();
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("link"));
    item.thumbnailData = QByteArray();
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("photo"));
    item.cachedIsFileCopy = true; // a file copy with an image gives "doc"
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("doc"));
    item.cachedIsVideo = true; // video wins over file copy
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("video"));
    item.cachedHasFCPContent = true;
    item.cachedFCPClipCount = 0;
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("film.fill"));
    item.cachedFCPClipCount = 1;
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("film.fill"));
    item.cachedFCPClipCount = 2;
    EXPECT_EQ(item.contentTypeIcon(), QStringLiteral("film.stack"));

    ClipItem image;
    image.cachedHasImage = true;
    image.linkImageData = QByteArray("jpeg");
    EXPECT_EQ(image.contentTypeIcon(), QStringLiteral("photo"));
}

TEST_F(ClipItemTest, HasImageAndHasLinkPreview)
{
    ClipItem item;
    EXPECT_FALSE(item.hasImage());
    EXPECT_FALSE(item.hasLinkPreview());
    item.thumbnailData = QByteArray();
    EXPECT_TRUE(item.hasImage());
    item.thumbnailData.reset();
    item.cachedHasImage = true;
    EXPECT_TRUE(item.hasImage());
    item.linkImageData = QByteArray("x");
    EXPECT_TRUE(item.hasLinkPreview());
    item.linkImageData.reset();
    item.linkTitle = QStringLiteral("Title");
    EXPECT_TRUE(item.hasLinkPreview());
}

TEST_F(ClipItemTest, FcpDescriptionAndThumbnail)
{
    ClipItemPtr plain = makeItem(QStringLiteral("Some clip"));
    plain->thumbnailData = QByteArray("thumb");
    EXPECT_FALSE(plain->fcpDescription());
    EXPECT_FALSE(plain->fcpThumbnailData());

    ClipItemPtr named = makeItem(QStringLiteral("search text"));
    named->cachedHasFCPContent = true;
    named->cachedFCPClipName = QStringLiteral("Interview A");
    named->thumbnailData = QByteArray("thumb");
    EXPECT_EQ(named->fcpDescription(), QStringLiteral("Interview A"));
    EXPECT_EQ(named->fcpThumbnailData(), QByteArray("thumb"));

    named->cachedFCPClipName = QString(); // empty name: falls through to the search text
    EXPECT_EQ(named->fcpDescription(), QStringLiteral("search text"));
    EXPECT_FALSE(makeItem()->fcpThumbnailData());

    auto fcpWithText = [](const QString& text) {
        ClipItemPtr item = makeItem(text);
        item->cachedHasFCPContent = true;
        return item->fcpDescription();
    };
    EXPECT_EQ(fcpWithText(QStringLiteral("  \n Interview B \t\n")), QStringLiteral("Interview B"));
    EXPECT_EQ(fcpWithText(QString(99, QLatin1Char('a'))), QString(99, QLatin1Char('a')));
    EXPECT_FALSE(fcpWithText(QString(100, QLatin1Char('a'))));
    EXPECT_FALSE(fcpWithText(QStringLiteral(" \n\t ")));
    EXPECT_FALSE(fcpWithText(QString()));

    // Characters are user-perceived: 99 accented letters of two code points each fit.
    QString accented;
    for (int i = 0; i < 99; ++i)
        accented += QStringLiteral("e\u0301");
    EXPECT_EQ(fcpWithText(accented), accented);
    EXPECT_FALSE(fcpWithText(accented + QStringLiteral("e\u0301")));

    // Unreadable search text gives no description.
    ClipItem unreadable;
    unreadable.cachedHasFCPContent = true;
    unreadable.encryptedSearchIndex = QByteArray(30, '\x03');
    EXPECT_FALSE(unreadable.fcpDescription());
}

TEST_F(ClipItemTest, FullImageDataPrefersTypeOverPosition)
{
    ClipItemPtr item = makeItem(
        QString(), {representation(PasteboardTypes::tiff, "TIFF"), representation(PasteboardTypes::png, "PNG")});
    EXPECT_EQ(item->fullImageData(), QByteArray("PNG"));

    ClipItemPtr jpeg2000 = makeItem(QString(),
        {representation(PasteboardTypes::utf8PlainText, "text"),
            representation(QStringLiteral("public.jpeg-2000"), "J2K"), representation(PasteboardTypes::tiff, "TIFF")});
    EXPECT_EQ(jpeg2000->fullImageData(), QByteArray("J2K"));

    ClipItemPtr generic = makeItem(QString(),
        {representation(QStringLiteral("public.image.webp"), "WEBP"), representation(PasteboardTypes::image, "IMG")});
    EXPECT_EQ(generic->fullImageData(), QByteArray("WEBP"));

    ClipItemPtr heic = makeItem(QString(), {representation(QStringLiteral("public.heic"), "HEIC")});
    EXPECT_FALSE(heic->fullImageData());
    EXPECT_FALSE(makeItem()->fullImageData());
}

TEST_F(ClipItemTest, RepresentationsKnowTheirEntry)
{
    ClipItemPtr item = makeItem(QString(), {representation(PasteboardTypes::png, "PNG")});
    ASSERT_EQ(item->representations().size(), 1u);
    EXPECT_EQ(item->representations()[0]->clipItem.lock(), item);
    const ClipRepresentationPtr added = representation(PasteboardTypes::html, "<b>");
    item->appendRepresentation(added);
    ASSERT_EQ(item->representations().size(), 2u);
    EXPECT_EQ(item->representations()[1], added);
    EXPECT_EQ(added->clipItem.lock(), item);
}
