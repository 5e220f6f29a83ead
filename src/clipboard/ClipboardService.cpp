#include "clipboard/ClipboardService.h"

#include "clipboard/ClipboardServiceImpl.h"
#include "clipboard/ClipboardSuspension.h"
#include "platform/LinkMetadataProvider.h"
#include "platform/NotificationCenter.h"
#include "platform/PasteboardTypes.h"
#include "platform/Unicode.h"
#include "platform/Prefs.h"
#include "store/ClipboardCryptoService.h"
#include "store/UTIPriority.h"

#include <algorithm>

using ClipboardServiceDetail::unknownBundleID;
using ClipboardServiceDetail::unknownName;

namespace {

// The file-url text tested for a CleanShot file name is a path or two, never megabytes.
constexpr qint64 maxAttributionURLBytes = 64 * 1024;

}

// ---- monitor ------------------------------------------------------------------------------------

void ClipboardService::Impl::tick()
{
    if (!notified) {
        checkForChanges(SteadyClock::now());
    } else if (monitoring && waitingForKey) {
        crypto.requestKey(ClipboardCryptoService::KeyReason::Poll);
    }
}

void ClipboardService::Impl::checkForChanges(SteadyClock::time_point noticedAt)
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

void ClipboardService::Impl::observeChange(qint64 count, SteadyClock::time_point noticedAt)
{
    if (!monitoring)
        return;
    ChangeSnapshot snapshot;
    snapshot.changeCount = count;
    snapshot.noticedAt = noticedAt;
    snapshot.frontmost = workspace.frontmostApplication();
    snapshot.owner = workspace.clipboardOwnerApplication();
    snapshot.userBlocked = userBlockedApps();
    snapshot.downloadLinkPreviews = preferences.boolForKey(Prefs::downloadLinkPreviews.key);
    snapshot.rejectDuplicates = Prefs::readIfBool(preferences, Prefs::rejectDuplicates);
    snapshot.handledAt = clock ? clock() : QDateTime::currentDateTimeUtc();
    queue.async([weak = weak(), snapshot] {
        if (auto self = weak.lock())
            self->handleChange(snapshot);
    });
}

bool ClipboardService::Impl::isBlocked(const std::optional<RunningApplication>& app, const QSet<QString>& userBlocked)
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

void ClipboardService::Impl::stopWaitingForKey()
{
    waitingForKey.reset();
    if (keyWait)
        keyWait->cancel();
    keyWait.reset();
}

void ClipboardService::Impl::cancelPendingCapture()
{
    std::lock_guard lock(debounceMutex);
    if (debounceWorkItem)
        debounceWorkItem->cancel();
    debounceWorkItem.reset();
}

void ClipboardService::Impl::dropChange(qint64 changeCount)
{
    cancelPendingCapture();
    pasteboard.releaseContent(changeCount);
}

void ClipboardService::Impl::handleChange(const ChangeSnapshot& snapshot)
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

bool ClipboardService::Impl::namesCleanShotFile(const QStringList& types)
{
    if (!types.contains(PasteboardTypes::fileURL))
        return false;
    const std::optional<QByteArray> data = pasteboard.data(PasteboardTypes::fileURL, maxAttributionURLBytes);
    if (!data)
        return false;
    const std::optional<QString> text = Unicode::decodeUtf8(*data);
    return text && text->contains(QLatin1String("CleanShot"));
}

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
    // Work still running on the queue keeps the monitor's state and may post the main thread's
    // steps after this; those callbacks reach objects of the owner, which may be gone by then.
    d->saveOutcome = {};
    d->shouldAnnounce = {};
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

void ClipboardService::setSaveOutcomeHandler(std::function<void(const QString& error)> handler)
{
    d->saveOutcome = std::move(handler);
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
