#include "clipboard/ClipboardService.h"

#include "clipboard/ClipboardSuspension.h"
#include "clipboard/ClipSavePipeline.h"
#include "clipboard/HistoryPruner.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/LinkMetadataProvider.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Pasteboard.h"
#include "platform/PasteboardTypes.h"
#include "platform/Preferences.h"
#include "platform/Unicode.h"
#include "platform/Workspace.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/UTIPriority.h"

#include <QDateTime>
#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

namespace {

const QString unknownBundleID = QStringLiteral("unknown");
const QString unknownName = QStringLiteral("Unknown");

// The file-url text tested for a CleanShot file name is a path or two, never megabytes.
constexpr qint64 maxAttributionURLBytes = 64 * 1024;

}

using SteadyClock = std::chrono::steady_clock;

// What the main thread saw when a change was handled.
struct ChangeSnapshot {
    qint64 changeCount = 0;
    SteadyClock::time_point noticedAt; // when the change was first known (notification or tick)
    std::optional<RunningApplication> frontmost;
    std::optional<RunningApplication> owner;
    QSet<QString> userBlocked;
    bool downloadLinkPreviews = true;
    bool rejectDuplicates = true;
    QDateTime handledAt;
};

// One accepted change on its way to the store.
struct CaptureRequest {
    qint64 changeCount = 0;
    ClipboardService::AppIdentity attribution;
    QDateTime timestamp;
    bool downloadLinkPreviews = true;
    bool rejectDuplicates = true;
};

struct ClipboardService::Impl : std::enable_shared_from_this<ClipboardService::Impl> {
    Impl(Pasteboard& pasteboard, Workspace& workspace, Preferences& preferences, NotificationCenter& notifications,
        ClipboardCryptoService& crypto, LinkMetadataProvider& linkMetadata, DispatchQueue& queue,
        DispatchQueue& mainQueue, ClipboardSuspension& suspension)
        : pasteboard(pasteboard)
        , workspace(workspace)
        , preferences(preferences)
        , notifications(notifications)
        , crypto(crypto)
        , linkMetadata(linkMetadata)
        , queue(queue)
        , mainQueue(mainQueue)
        , suspension(suspension)
    {
    }

    Pasteboard& pasteboard;
    Workspace& workspace;
    Preferences& preferences;
    NotificationCenter& notifications;
    ClipboardCryptoService& crypto;
    LinkMetadataProvider& linkMetadata;
    DispatchQueue& queue;
    DispatchQueue& mainQueue;
    ClipboardSuspension& suspension;

    // Main thread.
    std::unique_ptr<DispatchTimer> pollingTimer;
    std::function<bool()> shouldAnnounce;
    std::function<QDateTime()> clock;

    std::atomic<bool> monitoring {false};
    std::atomic<qint64> lastChangeCount {0};
    // The pasteboard tells of each change at once; the timer then only serves the key wait.
    std::atomic<bool> notified {false};

    // The pending capture; replaced on the queue, cancelled also by stopMonitoring().
    std::mutex debounceMutex;
    DispatchWorkItemPtr debounceWorkItem;

    // Queue only.
    AppIdentity lastRealFrontmostApp {unknownBundleID, unknownName};
    std::deque<qint64> recentContentHashes;
    std::optional<CaptureRequest> waitingForKey;
    DispatchWorkItemPtr keyWait; // runs the waiting capture once the key service has the key
    bool keyMessagePrinted = false;

    HistoryPruner pruner;

    mutable std::mutex containerMutex;
    std::weak_ptr<ModelContainer> modelContainer;

    std::weak_ptr<Impl> weak() { return weak_from_this(); }

    std::shared_ptr<ModelContainer> container() const
    {
        std::lock_guard lock(containerMutex);
        return modelContainer.lock();
    }

    QSet<QString> userBlockedApps() const
    {
        QSet<QString> result;
        const std::optional<QStringList> list = preferences.stringListFromJSONData(QStringLiteral("blockedApps"));
        if (!list)
            return result;
        for (const QString& entry : *list) {
            const QString trimmed = entry.trimmed();
            if (!trimmed.isEmpty())
                result.insert(trimmed);
        }
        return result;
    }

    // ---- monitor ------------------------------------------------------------------------------

    // The timer's tick: looks for changes only where the pasteboard does not tell of them.
    void tick()
    {
        if (!notified) {
            checkForChanges(SteadyClock::now());
        } else if (monitoring && waitingForKey) {
            crypto.requestKey(ClipboardCryptoService::KeyReason::Poll);
        }
    }

    void checkForChanges(SteadyClock::time_point noticedAt)
    {
        if (!monitoring)
            return;
        const qint64 count = pasteboard.changeCount();
        if (count == lastChangeCount) {
            // While a capture waits for the clipboard key, every tick reads the keychain quietly
            // (never an unlock prompt); the capture runs once the key is there.
            if (waitingForKey)
                crypto.requestKey(ClipboardCryptoService::KeyReason::Poll);
            return;
        }
        // Taken over before the suspension test: a change made while suspended is never recorded.
        lastChangeCount = count;
        stopWaitingForKey();
        if (suspension.isSuspended()) {
            pasteboard.releaseContent(count);
            return;
        }
        mainQueue.async([weak = weak(), count, noticedAt] {
            if (auto self = weak.lock())
                self->observeChange(count, noticedAt);
        });
    }

    // Main thread: what only the main thread may ask.
    void observeChange(qint64 count, SteadyClock::time_point noticedAt)
    {
        if (!monitoring)
            return;
        ChangeSnapshot snapshot;
        snapshot.changeCount = count;
        snapshot.noticedAt = noticedAt;
        snapshot.frontmost = workspace.frontmostApplication();
        snapshot.owner = workspace.clipboardOwnerApplication();
        snapshot.userBlocked = userBlockedApps();
        snapshot.downloadLinkPreviews = preferences.boolForKey(QStringLiteral("downloadLinkPreviews"));
        const QVariant reject = preferences.object(QStringLiteral("rejectDuplicates"));
        snapshot.rejectDuplicates = reject.typeId() == QMetaType::Bool ? reject.toBool() : true;
        snapshot.handledAt = clock ? clock() : QDateTime::currentDateTimeUtc();
        queue.async([weak = weak(), snapshot] {
            if (auto self = weak.lock())
                self->handleChange(snapshot);
        });
    }

    // Every name the desktop knows the application by counts, ignoring case: a password manager
    // without a desktop entry is still known by its window class.
    static bool isBlocked(const std::optional<RunningApplication>& app, const QSet<QString>& userBlocked)
    {
        if (!app)
            return false;
        QSet<QString> blocked;
        for (const QString& id : builtInBlockedApps())
            blocked.insert(id.toCaseFolded());
        for (const QString& id : userBlocked)
            blocked.insert(id.toCaseFolded());
        if (!app->bundleIdentifier.isEmpty() && blocked.contains(app->bundleIdentifier.toCaseFolded()))
            return true;
        return std::any_of(app->identities.begin(), app->identities.end(),
            [&blocked](const QString& id) { return !id.isEmpty() && blocked.contains(id.toCaseFolded()); });
    }

    // Queue only.
    void stopWaitingForKey()
    {
        waitingForKey.reset();
        if (keyWait)
            keyWait->cancel();
        keyWait.reset();
    }

    void cancelPendingCapture()
    {
        std::lock_guard lock(debounceMutex);
        if (debounceWorkItem)
            debounceWorkItem->cancel();
        debounceWorkItem.reset();
    }

    // A dropped change also forgets what the clipboard kept of it (a password must not linger).
    void dropChange(qint64 changeCount)
    {
        cancelPendingCapture();
        pasteboard.releaseContent(changeCount);
    }

    void handleChange(const ChangeSnapshot& snapshot)
    {
        if (!monitoring)
            return;
        const std::optional<RunningApplication>& front = snapshot.frontmost;
        const QString frontID = front ? front->bundleIdentifier : QString();

        // The last real application is kept before the blocking tests, so a blocked one counts.
        if (!frontID.isEmpty() && !clipboardMonitoringApps().contains(frontID) && !screenshotApps().contains(frontID))
            lastRealFrontmostApp = {frontID, front->localizedName.isEmpty() ? unknownName : front->localizedName};

        // A dropped change also cancels the capture an earlier change scheduled: that capture
        // would read the clipboard as the blocked application left it.
        if (isBlocked(front, snapshot.userBlocked) || isBlocked(snapshot.owner, snapshot.userBlocked)) {
            dropChange(snapshot.changeCount);
            return;
        }
        const QStringList types = pasteboard.types();
        for (const QString& type : types) {
            if (UTIPriority::blockedUTIs().contains(type)) {
                dropChange(snapshot.changeCount);
                return;
            }
        }

        AppIdentity attribution {frontID.isEmpty() ? unknownBundleID : frontID,
            front && !front->localizedName.isEmpty() ? front->localizedName : unknownName};
        const bool imageCopy = std::any_of(types.begin(), types.end(), PasteboardTypes::isImage);
        if (screenshotApps().contains(attribution.bundleID)) {
            if (!imageCopy)
                attribution = lastRealFrontmostApp;
        } else if (imageCopy && namesCleanShotFile(types)) {
            attribution = {QStringLiteral("pl.maketheweb.cleanshotx"), QStringLiteral("CleanShot X")};
        } else if (clipboardMonitoringApps().contains(attribution.bundleID)) {
            attribution = lastRealFrontmostApp;
        } else {
            lastRealFrontmostApp = attribution;
        }

        CaptureRequest request {snapshot.changeCount, attribution, snapshot.handledAt, snapshot.downloadLinkPreviews,
            snapshot.rejectDuplicates};
        auto item = std::make_shared<DispatchWorkItem>([weak = weak(), request] {
            if (auto self = weak.lock())
                self->capture(request);
        });
        {
            std::lock_guard lock(debounceMutex);
            if (debounceWorkItem)
                debounceWorkItem->cancel();
            debounceWorkItem = item;
        }
        // The quiet period runs from the moment the change was known, not from this handling.
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - snapshot.noticedAt);
        queue.asyncAfter(std::max(std::chrono::milliseconds(0), debounceDelay - waited), item);
    }

    bool namesCleanShotFile(const QStringList& types)
    {
        if (!types.contains(PasteboardTypes::fileURL))
            return false;
        const std::optional<QByteArray> data = pasteboard.data(PasteboardTypes::fileURL, maxAttributionURLBytes);
        if (!data)
            return false;
        const std::optional<QString> text = Unicode::decodeUtf8(*data);
        return text && text->contains(QLatin1String("CleanShot"));
    }

    // ---- capture ------------------------------------------------------------------------------

    void capture(const CaptureRequest& request)
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
                Console::log(
                    QStringLiteral("ClipboardService: clipboard key unavailable; capture waits for the keychain"));
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
            if (!kept.data)
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

    // The content of the accepted change: as the pasteboard read it at the owner change when it
    // still keeps it (so a copy replaced right after its quiet period is stored as it was), else
    // read now, as long as the pasteboard still holds that change (a later one is handled, and
    // possibly dropped, on its own).
    std::optional<QList<Pasteboard::KeptType>> readContent(qint64 changeCount)
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

    void processClipboardData(
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

    void saveClipItem(const CaptureRequest& request, std::vector<CapturedRepresentation> ranked,
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

    // On the queue, with a store context of its own (as pruning does): writing megabytes of a
    // large copy never stalls the main thread, which only hears about the new entry.
    void storeWrite(const ClipSavePipeline::Entry& entry, const ClipItemPtr& item, bool prune, bool rejectDuplicates)
    {
        const std::shared_ptr<ModelContainer> store = container();
        if (!store) {
            Console::log(QStringLiteral("ClipboardService: ModelContainer not configured"));
            return;
        }
        QString error;
        const std::unique_ptr<ModelContext> context = store->makeContext(&error);
        if (!context) {
            Console::log(QStringLiteral("Failed to save clip item: ") + error);
            return;
        }
        // The context seals the new entry as it writes it, with the crypto service this service
        // was given (whose key the capture waited for), never a second one.
        context->setSealer(crypto);
        switch (ClipSavePipeline::store(*context, entry, item, rejectDuplicates, &error)) {
        case ClipSavePipeline::StoreResult::Duplicate:
            return;
        case ClipSavePipeline::StoreResult::Failed:
            Console::log(QStringLiteral("Failed to save clip item: ") + error);
            return;
        case ClipSavePipeline::StoreResult::Saved:
            break;
        }
        mainQueue.async([weak = weak(), prune] {
            if (auto self = weak.lock())
                self->announceSave(prune);
        });
    }

    // Main thread.
    void announceSave(bool prune)
    {
        if (shouldAnnounce && shouldAnnounce())
            notifications.post(NotificationNames::clipboardItemAdded);
        if (prune)
            pruneOldItems();
    }

    // Main thread: the deletion runs on the queue with a store context of its own.
    void pruneOldItems()
    {
        std::shared_ptr<ModelContainer> store = container();
        if (!store)
            return;
        const int limit = HistoryPruner::limitFor(preferences.integerForKey(QStringLiteral("maxHistoryItems")));
        queue.async([store, limit] { HistoryPruner::prune(*store, limit); });
    }
};

ClipboardService::ClipboardService(Pasteboard& pasteboard, Workspace& workspace, Preferences& preferences,
    NotificationCenter& notifications, ClipboardCryptoService& crypto, LinkMetadataProvider& linkMetadata,
    DispatchQueue& queue, DispatchQueue& mainQueue, ClipboardSuspension& suspension)
    : d(std::make_shared<Impl>(
        pasteboard, workspace, preferences, notifications, crypto, linkMetadata, queue, mainQueue, suspension))
{
}

ClipboardService::~ClipboardService()
{
    stopMonitoring();
}

ClipboardService& ClipboardService::shared()
{
    static std::unique_ptr<DispatchQueue> queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard"));
    static ClipboardService* service = new ClipboardService(Pasteboard::shared(), Workspace::shared(),
        Preferences::shared(), NotificationCenter::shared(), ClipboardCryptoService::shared(),
        LinkMetadataProvider::shared(), *queue, DispatchQueue::main(), ClipboardSuspension::shared());
    return *service;
}

void ClipboardService::setModelContainer(std::weak_ptr<ModelContainer> container)
{
    std::lock_guard lock(d->containerMutex);
    d->modelContainer = std::move(container);
}

void ClipboardService::setShouldAnnounceNewItems(std::function<bool()> predicate)
{
    d->shouldAnnounce = std::move(predicate);
}

void ClipboardService::setClock(std::function<QDateTime()> clock)
{
    d->clock = std::move(clock);
}

void ClipboardService::startMonitoring()
{
    std::weak_ptr<Impl> weak = d;
    // Told before the count is read, so that no change falls between the two.
    d->notified = d->pasteboard.setChangeHandler([weak] {
        const SteadyClock::time_point noticedAt = SteadyClock::now();
        if (auto self = weak.lock())
            self->queue.async([weak, noticedAt] {
                if (auto self = weak.lock())
                    self->checkForChanges(noticedAt);
            });
    });
    // What is on the clipboard now is never recorded.
    d->lastChangeCount = d->pasteboard.changeCount();
    if (d->pollingTimer)
        d->pollingTimer->cancel();
    d->cancelPendingCapture();
    d->monitoring = true;
    d->queue.async([weak] {
        if (auto self = weak.lock()) {
            self->stopWaitingForKey();
            // The key service loads the clipboard key off this queue, so that entries can be
            // opened from the start; a keychain that is not ready is asked again when needed.
            self->crypto.requestKey(ClipboardCryptoService::KeyReason::Startup);
            self->checkForChanges(SteadyClock::now()); // the first tick is immediate
        }
    });
    d->pollingTimer = d->queue.scheduleRepeating(pollingInterval, [weak] {
        if (auto self = weak.lock())
            self->tick();
    });
}

void ClipboardService::stopMonitoring()
{
    d->monitoring = false;
    if (d->notified.exchange(false))
        d->pasteboard.setChangeHandler({});
    if (d->pollingTimer) {
        d->pollingTimer->cancel();
        d->pollingTimer.reset();
    }
    d->cancelPendingCapture();
}

bool ClipboardService::isMonitoring() const
{
    return d->monitoring;
}

bool ClipboardService::isSuspended() const
{
    return d->suspension.isSuspended();
}

const QSet<QString>& ClipboardService::builtInBlockedApps()
{
    static const QSet<QString> apps {
        QStringLiteral("com.agilebits.onepassword7"),
        QStringLiteral("com.agilebits.onepassword8"),
        QStringLiteral("com.lastpass.LastPass"),
        QStringLiteral("com.bitwarden.desktop"),
        QStringLiteral("com.apple.keychainaccess"),
        // Password managers and keyring tools of the Linux desktops, by desktop-file ID and by
        // window class (matched ignoring case).
        QStringLiteral("org.keepassxc.KeePassXC"),
        QStringLiteral("keepassxc"),
        QStringLiteral("keepass2"),
        QStringLiteral("1password"),
        QStringLiteral("bitwarden"),
        QStringLiteral("org.gnome.seahorse.Application"),
        QStringLiteral("seahorse"),
        QStringLiteral("org.kde.kwalletmanager5"),
        QStringLiteral("kwalletmanager5"),
        QStringLiteral("org.gnome.World.Secrets"),
    };
    return apps;
}

const QSet<QString>& ClipboardService::screenshotApps()
{
    static const QSet<QString> apps {
        QStringLiteral("com.getcleanshot.CleanShotX"),
        QStringLiteral("pl.maketheweb.cleanshotx"),
        QStringLiteral("cc.ffitch.shottr"),
        QStringLiteral("org.flameshot.Flameshot"),
        QStringLiteral("org.kde.spectacle"),
        QStringLiteral("org.ksnip.ksnip"),
    };
    return apps;
}

const QSet<QString>& ClipboardService::clipboardMonitoringApps()
{
    static const QSet<QString> apps {
        QStringLiteral("com.macpaw.CleanMyMac4.HealthMonitor"),
        QStringLiteral("com.sindresorhus.Pasteboard-Viewer"),
    };
    return apps;
}

QSet<QString> ClipboardService::userBlockedApps() const
{
    return d->userBlockedApps();
}

ClipboardService::AppIdentity ClipboardService::lastRealFrontmostApp() const
{
    return d->lastRealFrontmostApp;
}

qint64 ClipboardService::lastChangeCount() const
{
    return d->lastChangeCount;
}

bool ClipboardService::isWaitingForKey() const
{
    return d->waitingForKey.has_value();
}

int ClipboardService::saveCountSinceLastPrune() const
{
    return d->pruner.saveCountSinceLastPrune();
}
