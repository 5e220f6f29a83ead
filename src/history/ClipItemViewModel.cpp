#include "history/ClipItemViewModel.h"

#include "platform/Unicode.h"
#include "store/ClipboardCryptoService.h"

const QString ClipItemViewModel::noTextPreview = QStringLiteral("[No text preview]");
const QString ClipItemViewModel::cannotBeOpenedText = QStringLiteral("[Sealed text cannot be opened]");
const QString ClipItemViewModel::keychainLockedText = QStringLiteral("[Sealed text hidden: keychain locked]");

namespace {

// The opened search text as UTF-8: the sealed text when it opens, else the plain field (which
// only counts for a sealed entry when it holds something). Empty when nothing can be read.
QByteArray openSearchText(const ClipItem& item, ClipItemViewModel::TextProblem& problem)
{
    // An entry not yet written holds its text in plain.
    if (!item.encryptedSearchIndex)
        return item.searchIndex().value_or(QString()).toUtf8();
    // Opened as bytes by the crypto service of the context that fetched it: no decode to a string
    // for texts that are only searched.
    // Without one (a store opened without its key service) sealed text stays closed, as without a key.
    ClipboardCryptoService* crypto = item.sealer;
    if (crypto) {
        if (std::optional<QByteArray> opened = crypto->decrypt(*item.encryptedSearchIndex))
            return *opened;
    }
    if (item.legacySearchIndex.isEmpty())
        problem = crypto && crypto->hasKey() ? ClipItemViewModel::TextProblem::cannotBeOpened
                                             : ClipItemViewModel::TextProblem::keychainLocked;
    return item.legacySearchIndex.toUtf8();
}

// The first 100 user-perceived characters. Decodes a growing prefix of the UTF-8 bytes, so that
// a long text is never decoded whole; a cluster is only taken once the next one has begun.
QString previewOf(const QByteArray& utf8)
{
    constexpr int maxCharacters = 100;
    // Plain ASCII without a carriage return: every byte is one character (the byte after the
    // 100th must be ASCII too, or it could be a mark that belongs to the 100th).
    const qsizetype probe = std::min<qsizetype>(utf8.size(), maxCharacters + 1);
    bool simple = true;
    for (qsizetype i = 0; i < probe && simple; ++i)
        simple = static_cast<unsigned char>(utf8[i]) < 0x80 && utf8[i] != '\r';
    if (simple)
        return QString::fromLatin1(utf8.constData(), std::min<qsizetype>(utf8.size(), maxCharacters));
    qsizetype prefix = 512;
    for (;;) {
        const bool whole = prefix >= utf8.size();
        qsizetype cut = std::min(prefix, utf8.size());
        // Never cut inside a UTF-8 sequence.
        while (!whole && cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        const QString text = QString::fromUtf8(utf8.constData(), cut);
        // Once a 101st cluster has begun, the 100th is complete.
        if (whole || Unicode::graphemeCount(text, maxCharacters) > maxCharacters)
            return Unicode::graphemePrefix(text, maxCharacters);
        prefix *= 4;
    }
}

bool beginsWithWebScheme(const QByteArray& utf8)
{
    // Trimming white space and line breaks; the scheme test is case-sensitive.
    qsizetype start = 0;
    while (start < utf8.size()) {
        const unsigned char byte = static_cast<unsigned char>(utf8[start]);
        if (byte < 0x80) {
            if (!QChar::isSpace(byte))
                break;
            ++start;
            continue;
        }
        // Non-ASCII white space (no-break space, line separator, ...) is checked on the decoded text.
        const QString rest = QString::fromUtf8(utf8.constData() + start, std::min<qsizetype>(utf8.size() - start, 64));
        qsizetype k = 0;
        while (k < rest.size() && rest.at(k).isSpace())
            ++k;
        if (k == 0)
            break;
        start += rest.left(k).toUtf8().size();
    }
    const QByteArrayView rest(utf8.constData() + start, utf8.size() - start);
    return rest.startsWith("http://") || rest.startsWith("https://");
}

}

ClipItemViewModel::ClipItemViewModel(const ClipItemPtr& item)
    : id(item->persistentID)
    , clipItem(item)
    , timestamp(item->timestamp)
    , appBundleID(item->appBundleID)
    , appName(Unicode::singleLine(item->appName, ClipItem::maxAppNameCharacters))
    , isPinned(item->isPinned)
    , hasImage(item->hasImage())
    , hasFCPContent(item->cachedHasFCPContent)
    , hasLinkPreview(item->hasLinkPreview())
    , thumbnailData(item->thumbnailData)
    , linkImageData(item->linkImageData)
    , linkTitle(item->linkTitle)
    , fcpClipCount(item->cachedFCPClipCount)
    , fcpDuration(item->cachedFCPDuration)
    , fcpThumbnailData(item->fcpThumbnailData())
    , isFileCopy(item->cachedIsFileCopy)
    , fileName(item->cachedFileName)
    , isVideo(item->cachedIsVideo)
    , contentTypeIcon(item->contentTypeIcon())
{
    m_searchText = openSearchText(*item, textProblem);
    if (m_searchText.size() > maxHeldTextBytes) {
        // Cut at a character boundary: never inside a UTF-8 sequence.
        qsizetype cut = maxHeldTextBytes;
        while (cut > 0 && (static_cast<unsigned char>(m_searchText[cut]) & 0xC0) == 0x80)
            --cut;
        m_searchText.truncate(cut);
    }
    m_searchKey = SearchKey::fromUtf8(m_searchText);
    if (!m_searchKey.valid()) {
        // Opened bytes that are not UTF-8 count as no text, as the entry itself reads them.
        m_searchText.clear();
        m_searchKey = SearchKey();
        textProblem = TextProblem::cannotBeOpened;
    }
    m_appNameKey = SearchKey::fromText(appName);
    switch (textProblem) {
    case TextProblem::none:
        previewText = m_searchText.isEmpty() ? noTextPreview : previewOf(m_searchText);
        break;
    case TextProblem::cannotBeOpened:
        previewText = cannotBeOpenedText;
        break;
    case TextProblem::keychainLocked:
        previewText = keychainLockedText;
        break;
    }
    isURL = beginsWithWebScheme(m_searchText);
    // Only entries with Final Cut Pro content have a description; it may read the search text.
    if (hasFCPContent)
        fcpDescription = item->fcpDescription();
    if (item->cachedFileURL) {
        const QUrl url(*item->cachedFileURL, QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty())
            videoFileURL = url;
    }
}

bool ClipItemViewModel::operator==(const ClipItemViewModel& other) const
{
    return id == other.id && isPinned == other.isPinned && hasLinkPreview == other.hasLinkPreview
        && linkTitle == other.linkTitle && thumbnailData.has_value() == other.thumbnailData.has_value();
}

std::vector<ClipItemViewModelPtr> toViewModels(const std::vector<ClipItemPtr>& items)
{
    std::vector<ClipItemViewModelPtr> models;
    models.reserve(items.size());
    for (const ClipItemPtr& item : items)
        models.push_back(std::make_shared<ClipItemViewModel>(item));
    return models;
}
