#include "clipboard/ClipboardServiceImpl.h"

#include "clipboard/ClipboardSuspension.h"
#include "platform/Console.h"
#include "platform/LinkMetadataProvider.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/PasteboardTypes.h"
#include "platform/Unicode.h"
#include "platform/Prefs.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/UTIPriority.h"

#include <algorithm>

// The capture of an accepted change: waiting for the clipboard key, reading the content, dropping
// repeats, the link preview, the store write and the announcement and pruning after it.

void ClipboardService::Impl::capture(const CaptureRequest& request)
{
    if (!monitoring || suspension.isSuspended())
        return;
    // Without the clipboard key nothing could be sealed: the change waits for the keychain.
    if (!crypto.hasKey()) {
        // A new copy may ask the user to unlock the keychain; the same copy again only polls.
        const bool sameCopy = waitingForKey && waitingForKey->changeCount == request.changeCount;
        waitingForKey = request;
        if (!keyWait || keyWait->isCancelled())
            keyWait = crypto.whenKeyAvailable(queue, [weak = weak()] {
                if (auto self = weak.lock(); self && self->waitingForKey)
                    self->capture(*self->waitingForKey);
            });
        crypto.requestKey(
            sameCopy ? ClipboardCryptoService::KeyReason::Poll : ClipboardCryptoService::KeyReason::NewCopy);
        if (!keyMessagePrinted) {
            keyMessagePrinted = true;
            Console::log(QStringLiteral("ClipboardService: clipboard key unavailable; capture waits for the keychain"));
        }
        return;
    }
    stopWaitingForKey();
    keyMessagePrinted = false;

    const std::optional<QList<Pasteboard::KeptType>> content = readContent(request.changeCount);
    if (!content)
        return;
    std::vector<CapturedRepresentation> representations;
    QString searchText;
    QStringList tooLarge;
    for (const Pasteboard::KeptType& kept : *content) {
        if (UTIPriority::blockedUTIs().contains(kept.type))
            continue;
        if (kept.error == Pasteboard::ReadError::TooLarge || (kept.data && kept.data->size() > maxDataSize)) {
            const qint64 size = kept.data ? kept.data->size() : kept.size;
            tooLarge.append(size >= 0 ? QStringLiteral("%1 of %2 bytes").arg(kept.type).arg(size) : kept.type);
            continue;
        }
        // An empty payload (an empty text, an image of no bytes) is no content: a copy left
        // without any is not stored, and one with other types is stored with those.
        if (!kept.data || kept.data->isEmpty())
            continue;
        if (PasteboardTypes::isPlainText(kept.type))
            if (std::optional<QString> text = Unicode::decodeUtf8(*kept.data))
                searchText = *text;
        representations.push_back({kept.type, *kept.data, UTIPriority::priority(kept.type)});
    }
    pasteboard.releaseContent(request.changeCount);
    // One line per copy, so that a copy too large for the history is not refused silently.
    if (!tooLarge.isEmpty())
        Console::log(QStringLiteral("ClipboardService: not storing %1: over the limit of %2 bytes per type")
                         .arg(tooLarge.join(QStringLiteral(", ")))
                         .arg(maxDataSize));
    if (representations.empty())
        return;
    processClipboardData(std::move(representations), searchText, request);
}

std::optional<QList<Pasteboard::KeptType>> ClipboardService::Impl::readContent(qint64 changeCount)
{
    if (std::optional<QList<Pasteboard::KeptType>> kept = pasteboard.keptContent(changeCount, maxDataSize))
        return kept;
    if (pasteboard.changeCount() != changeCount)
        return std::nullopt;
    QList<Pasteboard::KeptType> content;
    for (const QString& type : pasteboard.types()) {
        if (UTIPriority::blockedUTIs().contains(type))
            continue;
        Pasteboard::KeptType kept {type, std::nullopt, Pasteboard::ReadError::None, -1};
        kept.data = pasteboard.data(type, maxDataSize, &kept.error, &kept.size);
        content.append(std::move(kept));
    }
    if (pasteboard.changeCount() != changeCount)
        return std::nullopt;
    return content;
}

void ClipboardService::Impl::processClipboardData(
    std::vector<CapturedRepresentation> representations, const QString& searchText, const CaptureRequest& request)
{
    ClipSavePipeline::rank(representations);
    const qint64 hash = ClipSavePipeline::contentHash(representations, searchText);
    if (std::find(recentContentHashes.begin(), recentContentHashes.end(), hash) != recentContentHashes.end())
        return;
    recentContentHashes.push_back(hash);
    if (recentContentHashes.size() > static_cast<size_t>(maxRecentHashes))
        recentContentHashes.pop_front();

    if (request.downloadLinkPreviews) {
        // A sign-in, reset or one-time link is stored without a preview: fetching it could use it up.
        const std::optional<QUrl> url = ClipSavePipeline::extractURL(searchText);
        if (url && !LinkMetadataProvider::carriesSecret(*url)) {
            auto shared = std::make_shared<std::vector<CapturedRepresentation>>(std::move(representations));
            linkMetadata.fetchMetadata(*url,
                [weak = weak(), shared, searchText, request](
                    std::optional<QString> title, std::optional<QByteArray> image) {
                    auto self = weak.lock();
                    if (!self)
                        return;
                    self->queue.async([weak, shared, searchText, request, title, image] {
                        if (auto self = weak.lock())
                            self->saveClipItem(request, std::move(*shared), searchText, title, image);
                    });
                });
            return;
        }
    }
    saveClipItem(request, std::move(representations), searchText, std::nullopt, std::nullopt);
}

void ClipboardService::Impl::saveClipItem(const CaptureRequest& request, std::vector<CapturedRepresentation> ranked,
    const QString& searchText, std::optional<QString> linkTitle, std::optional<QByteArray> linkImageData)
{
    if (!container()) {
        Console::log(QStringLiteral("ClipboardService: ModelContainer not configured"));
        return;
    }
    const bool prune = pruner.countSave();
    ClipSavePipeline::Entry entry;
    entry.timestamp = request.timestamp;
    entry.appBundleID = request.attribution.bundleID;
    entry.appName = request.attribution.name;
    entry.searchIndex = Unicode::graphemePrefix(searchText, ClipSavePipeline::maxSearchIndexCharacters);
    entry.linkTitle = std::move(linkTitle);
    entry.linkImageData = std::move(linkImageData);
    entry.facts = ClipSavePipeline::deriveFacts(ranked);
    entry.representations = std::move(ranked);
    // The item holds the plain payloads until the store context seals them (on this queue).
    ClipItemPtr item = ClipSavePipeline::makeClipItem(entry);
    entry.representations.clear();
    storeWrite(entry, item, prune, request.rejectDuplicates);
}

void ClipboardService::Impl::storeWrite(
    const ClipSavePipeline::Entry& entry, const ClipItemPtr& item, bool prune, bool rejectDuplicates)
{
    const std::shared_ptr<ModelContainer> store = container();
    if (!store) {
        Console::log(QStringLiteral("ClipboardService: ModelContainer not configured"));
        return;
    }
    QString error;
    const std::unique_ptr<ModelContext> context = store->makeContext(&error);
    if (!context)
        return reportSaveFailure(error);
    // The context seals the new entry as it writes it, with the crypto service this service
    // was given (whose key the capture waited for), never a second one.
    context->setSealer(crypto);
    switch (ClipSavePipeline::store(*context, entry, item, rejectDuplicates, &error)) {
    case ClipSavePipeline::StoreResult::Duplicate:
        return;
    case ClipSavePipeline::StoreResult::Failed:
        return reportSaveFailure(error);
    case ClipSavePipeline::StoreResult::Saved:
        break;
    }
    mainQueue.async([weak = weak(), prune] {
        if (auto self = weak.lock())
            self->announceSave(prune);
    });
}

void ClipboardService::Impl::reportSaveFailure(const QString& error)
{
    Console::log(QStringLiteral("Failed to save clip item: ") + error);
    mainQueue.async([weak = weak(), error] {
        if (auto self = weak.lock(); self && self->saveOutcome)
            self->saveOutcome(error.isEmpty() ? QStringLiteral("unknown error") : error);
    });
}

void ClipboardService::Impl::announceSave(bool prune)
{
    if (saveOutcome)
        saveOutcome({});
    if (shouldAnnounce && shouldAnnounce())
        notifications.post(NotificationNames::clipboardItemAdded);
    if (prune)
        pruneOldItems();
}

void ClipboardService::Impl::pruneOldItems()
{
    std::shared_ptr<ModelContainer> store = container();
    if (!store)
        return;
    const int limit = HistoryPruner::limitFor(preferences.integerForKey(Prefs::maxHistoryItems.key));
    queue.async([store, limit] { HistoryPruner::prune(*store, limit); });
}
