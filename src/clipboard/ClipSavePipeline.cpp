#include "clipboard/ClipSavePipeline.h"

#include "clipboard/FCPMetadataReader.h"
#include "clipboard/FCPPropertyList.h"
#include "clipboard/ImageCache.h"
#include "platform/PasteboardTypes.h"
#include "platform/Unicode.h"
#include "store/ModelContext.h"
#include "store/UTIPriority.h"

#include <QHash>
#include <algorithm>

namespace ClipSavePipeline {

namespace {

const char* const imageExtensions[] = {".png", ".jpg", ".jpeg", ".gif", ".tiff", ".bmp", ".webp"};
const char* const videoExtensions[] = {".mp4", ".mov", ".m4v", ".avi", ".mkv", ".webm", ".wmv", ".flv"};
const QString* const thumbnailSourceTypes[] = {
    &PasteboardTypes::png, &PasteboardTypes::jpeg, &PasteboardTypes::tiff, &PasteboardTypes::image};

template <size_t N> bool endsWithAny(const QString& lowered, const char* const (&suffixes)[N])
{
    return std::any_of(
        std::begin(suffixes), std::end(suffixes), [&](const char* s) { return lowered.endsWith(QLatin1String(s)); });
}

bool isFileURLType(const QString& uti)
{
    return uti == PasteboardTypes::fileURL || uti.contains(QLatin1String("file-url"));
}

// The last component of a path, ignoring trailing slashes ("/a/b/" gives "b", "/" gives "/").
QString lastPathComponent(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == u"/")
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<QUrl> parseURL(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

std::optional<QString> fileNameOf(const std::vector<CapturedRepresentation>& ranked)
{
    for (const CapturedRepresentation& r : ranked) {
        if (!isFileURLType(r.uti))
            continue;
        const auto text = Unicode::decodeUtf8(r.data);
        if (!text)
            continue;
        if (const auto url = parseURL(text->trimmed()))
            return lastPathComponent(url->path(QUrl::FullyDecoded));
    }
    for (const CapturedRepresentation& r : ranked) {
        if (r.uti != u"NSFilenamesPboardType")
            continue;
        const FCPPropertyList::ValuePtr list = FCPPropertyList::parse(r.data);
        if (!list || !list->isArray() || list->array.empty())
            continue;
        const bool allStrings = std::all_of(
            list->array.begin(), list->array.end(), [](const FCPPropertyList::ValuePtr& v) { return v->isString(); });
        if (allStrings)
            return lastPathComponent(list->array.front()->string);
    }
    return std::nullopt;
}

}

void rank(std::vector<CapturedRepresentation>& representations)
{
    UTIPriority::sortByPriority(representations, [](const CapturedRepresentation& r) { return r.priority; });
}

qint64 contentHash(const std::vector<CapturedRepresentation>& ranked, const QString& searchText)
{
    size_t hash = 0;
    if (!ranked.empty())
        hash = qHashBits(ranked.front().data.constData(), static_cast<size_t>(ranked.front().data.size()), 0x51ed270b);
    hash = qHashBits(searchText.constData(), static_cast<size_t>(searchText.size()) * sizeof(QChar), hash);
    return static_cast<qint64>(hash);
}

std::optional<QUrl> extractURL(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(QLatin1String("http://")) && !trimmed.startsWith(QLatin1String("https://")))
        return std::nullopt;
    if (trimmed.contains(QLatin1Char('\n')))
        return std::nullopt;
    // Fewer than 2,000 characters: a prefix of 1,999 must already be the whole text.
    if (trimmed.size() >= maxLinkCharacters
        && Unicode::graphemePrefix(trimmed, maxLinkCharacters - 1).size() < trimmed.size())
        return std::nullopt;
    return parseURL(trimmed);
}

Facts deriveFacts(const std::vector<CapturedRepresentation>& ranked)
{
    Facts facts;
    std::optional<QString> fileURLText;
    const auto fileURL = std::find_if(
        ranked.begin(), ranked.end(), [](const CapturedRepresentation& r) { return isFileURLType(r.uti); });
    if (fileURL != ranked.end())
        if (const auto text = Unicode::decodeUtf8(fileURL->data))
            fileURLText = text->trimmed();

    const QString lowered = fileURLText ? fileURLText->toLower() : QString();
    facts.isVideo = fileURLText && endsWithAny(lowered, videoExtensions);
    if (fileURLText && !endsWithAny(lowered, imageExtensions)) {
        facts.isFileCopy = true;
        facts.isImage = false;
        facts.fileName = fileNameOf(ranked);
    } else {
        facts.isImage = std::any_of(ranked.begin(), ranked.end(),
            [](const CapturedRepresentation& r) { return PasteboardTypes::isImage(r.uti); });
    }
    if (facts.isVideo)
        facts.fileURLText = fileURLText;

    facts.hasFCPContent = std::any_of(ranked.begin(), ranked.end(),
        [](const CapturedRepresentation& r) { return FCPMetadataReader::isFCPType(r.uti); });
    if (facts.hasFCPContent) {
        QList<std::pair<QString, QByteArray>> pairs;
        pairs.reserve(static_cast<qsizetype>(ranked.size()));
        for (const CapturedRepresentation& r : ranked)
            pairs.append({r.uti, r.data});
        const FCPMetadataReader::Metadata metadata = FCPMetadataReader::read(pairs);
        facts.fcpClipName = metadata.clipName;
        facts.fcpClipCount = metadata.clipCount;
        facts.fcpDuration = metadata.duration;
    }

    if (facts.hasFCPContent || facts.isImage) {
        for (const QString* type : thumbnailSourceTypes) {
            const auto source = std::find_if(ranked.begin(), ranked.end(),
                [type](const CapturedRepresentation& r) { return r.uti.startsWith(*type); });
            if (source != ranked.end()) {
                facts.thumbnail = ImageCache::createThumbnail(source->data, thumbnailMaxSize);
                break;
            }
        }
    }
    return facts;
}

ClipItemPtr makeClipItem(const Entry& entry)
{
    const Facts& f = entry.facts;
    auto item = std::make_shared<ClipItem>(entry.timestamp, entry.appBundleID,
        Unicode::singleLine(entry.appName, ClipItem::maxAppNameCharacters), false, entry.searchIndex,
        std::vector<ClipRepresentationPtr> {}, entry.linkTitle, entry.linkImageData, f.isImage, f.hasFCPContent,
        f.fcpClipCount, f.fcpClipName, f.fcpDuration, f.thumbnail, f.isFileCopy, f.fileName, f.isVideo,
        f.isVideo ? f.fileURLText : std::nullopt);
    for (const CapturedRepresentation& r : entry.representations)
        item->appendRepresentation(std::make_shared<ClipRepresentation>(r.uti, r.priority, r.data));
    return item;
}

StoreResult store(
    ModelContext& context, const Entry& entry, const ClipItemPtr& item, bool rejectDuplicates, QString* error)
{
    const QString prefixHash = rejectDuplicates && !entry.searchIndex.isEmpty() && !entry.facts.isFileCopy
        ? context.searchPrefixHash(entry.searchIndex)
        : QString();
    if (!prefixHash.isEmpty()) {
        FetchDescriptor sameText;
        sameText.predicate = QStringLiteral("searchPrefixHash = ?");
        sameText.arguments = {prefixHash};
        sameText.limit = 1;
        QString fetchError;
        const auto found = context.fetchClipItems(sameText, &fetchError);
        // A failing lookup is ignored: the copy is stored.
        if (fetchError.isEmpty() && !found.empty())
            return StoreResult::Duplicate;
    }
    context.insert(item);
    if (!context.save(error))
        return StoreResult::Failed;
    return StoreResult::Saved;
}

}
