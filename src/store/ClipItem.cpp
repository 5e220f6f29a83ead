#include "store/ClipItem.h"

#include "platform/PasteboardTypes.h"
#include "platform/Unicode.h"
#include "store/ClipboardCryptoService.h"

#include <array>

ClipItem::ClipItem(const QDateTime& timestamp, const QString& appBundleID, const QString& appName, bool isPinned,
    const QString& searchIndex, std::vector<ClipRepresentationPtr> representations, std::optional<QString> linkTitle,
    std::optional<QByteArray> linkImageData, bool cachedHasImage, bool cachedHasFCPContent, int cachedFCPClipCount,
    std::optional<QString> cachedFCPClipName, std::optional<QString> cachedFCPDuration,
    std::optional<QByteArray> thumbnailData, bool cachedIsFileCopy, std::optional<QString> cachedFileName,
    bool cachedIsVideo, std::optional<QString> cachedFileURL)
    : timestamp(timestamp)
    , appBundleID(appBundleID)
    , appName(appName)
    , isPinned(isPinned)
    , linkTitle(std::move(linkTitle))
    , linkImageData(std::move(linkImageData))
    , cachedHasImage(cachedHasImage)
    , cachedHasFCPContent(cachedHasFCPContent)
    , cachedFCPClipCount(cachedFCPClipCount)
    , cachedFCPClipName(std::move(cachedFCPClipName))
    , cachedFCPDuration(std::move(cachedFCPDuration))
    , cachedIsFileCopy(cachedIsFileCopy)
    , cachedFileName(std::move(cachedFileName))
    , cachedIsVideo(cachedIsVideo)
    , cachedFileURL(std::move(cachedFileURL))
    , thumbnailData(std::move(thumbnailData))
    , m_representations(std::move(representations))
    , m_plainSearchIndex(searchIndex)
{
}

const std::vector<ClipRepresentationPtr>& ClipItem::representations() const
{
    if (!m_representationsLoaded) {
        m_representationsLoaded = true;
        if (representationLoader && persistentID != 0)
            m_representations = representationLoader(persistentID);
    }
    // Representations built before the entry was owned by a shared pointer learn their owner here.
    if (std::shared_ptr<const ClipItem> self = weak_from_this().lock()) {
        const std::shared_ptr<ClipItem> owner = std::const_pointer_cast<ClipItem>(self);
        for (const ClipRepresentationPtr& representation : m_representations) {
            if (representation && representation->clipItem.expired())
                representation->clipItem = owner;
        }
    }
    return m_representations;
}

void ClipItem::appendRepresentation(const ClipRepresentationPtr& representation)
{
    representations(); // a fetched entry keeps its stored representations
    if (!representation)
        return;
    representation->clipItem = weak_from_this();
    m_representations.push_back(representation);
}

std::optional<QString> ClipItem::searchIndex() const
{
    if (m_plainSearchIndex)
        return m_plainSearchIndex;
    if (encryptedSearchIndex) {
        if (std::optional<QByteArray> opened
            = sealer ? sealer->decrypt(*encryptedSearchIndex) : std::nullopt) {
            if (std::optional<QString> text = Unicode::decodeUtf8(*opened))
                return text;
        }
        // Sealed text that cannot be read: the plain field only counts when it holds something.
        if (legacySearchIndex.isEmpty())
            return std::nullopt;
    }
    return legacySearchIndex;
}

bool ClipItem::hasImage() const
{
    return cachedHasImage || thumbnailData.has_value();
}

bool ClipItem::hasLinkPreview() const
{
    return linkTitle.has_value() || linkImageData.has_value();
}

QString ClipItem::contentTypeIcon() const
{
    if (cachedHasFCPContent && cachedFCPClipCount > 1)
        return QStringLiteral("film.stack");
    if (cachedHasFCPContent)
        return QStringLiteral("film.fill");
    if (cachedIsVideo)
        return QStringLiteral("video");
    if (cachedIsFileCopy)
        return QStringLiteral("doc");
    if (hasImage())
        return QStringLiteral("photo");
    if (hasLinkPreview())
        return QStringLiteral("link");
    return QStringLiteral("doc.text");
}

std::optional<QString> ClipItem::fcpDescription() const
{
    if (!cachedHasFCPContent)
        return std::nullopt;
    if (cachedFCPClipName && !cachedFCPClipName->isEmpty())
        return cachedFCPClipName;
    const std::optional<QString> text = searchIndex();
    if (!text || text->isEmpty())
        return std::nullopt;
    const QString trimmed = text->trimmed();
    constexpr int maxLength = 100;
    if (trimmed.isEmpty() || Unicode::graphemeCount(trimmed, maxLength) >= maxLength)
        return std::nullopt;
    return trimmed;
}

std::optional<QByteArray> ClipItem::fcpThumbnailData() const
{
    if (!cachedHasFCPContent)
        return std::nullopt;
    return thumbnailData;
}

std::optional<QByteArray> ClipItem::fullImageData() const
{
    // The preferred type decides first, then the stored order of the representations.
    static const std::array<QString, 4> preferred {
        PasteboardTypes::png,
        PasteboardTypes::jpeg,
        PasteboardTypes::tiff,
        PasteboardTypes::image,
    };
    const std::vector<ClipRepresentationPtr>& all = representations();
    for (const QString& type : preferred) {
        for (const ClipRepresentationPtr& representation : all) {
            if (representation && representation->typeUTI.startsWith(type))
                return representation->data();
        }
    }
    return std::nullopt;
}
