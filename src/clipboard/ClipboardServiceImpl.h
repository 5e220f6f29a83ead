#pragma once
// Private to ClipboardService: its state and the steps of the monitor (ClipboardService.cpp) and of
// the capture that stores an accepted change (ClipboardServiceCapture.cpp).
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipSavePipeline.h"
#include "clipboard/HistoryPruner.h"
#include "platform/Dispatch.h"
#include "platform/Pasteboard.h"
#include "platform/Preferences.h"
#include "platform/Workspace.h"
#include "platform/Prefs.h"

#include <QDateTime>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

namespace ClipboardServiceDetail {

inline const QString unknownBundleID = QStringLiteral("unknown");
inline const QString unknownName = QStringLiteral("Unknown");

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
    std::function<void(const QString&)> saveOutcome;
    std::function<QDateTime()> clock;

    std::atomic<bool> monitoring {false};
    std::atomic<qint64> lastChangeCount {0};
    // The pasteboard tells of each change at once; the timer then only serves the key wait.
    std::atomic<bool> notified {false};

    // The pending capture; replaced on the queue, cancelled also by stopMonitoring().
    std::mutex debounceMutex;
    DispatchWorkItemPtr debounceWorkItem;

    // Queue only.
    AppIdentity lastRealFrontmostApp {ClipboardServiceDetail::unknownBundleID, ClipboardServiceDetail::unknownName};
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
        const std::optional<QStringList> list = preferences.stringListFromJSONData(Prefs::blockedApps.key);
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
    void tick();

    void checkForChanges(SteadyClock::time_point noticedAt);

    // Main thread: what only the main thread may ask.
    void observeChange(qint64 count, SteadyClock::time_point noticedAt);

    // Every name the desktop knows the application by counts, ignoring case: a password manager
    // without a desktop entry is still known by its window class.
    static bool isBlocked(const std::optional<RunningApplication>& app, const QSet<QString>& userBlocked);

    // Queue only.
    void stopWaitingForKey();

    void cancelPendingCapture();

    // A dropped change also forgets what the clipboard kept of it (a password must not linger).
    void dropChange(qint64 changeCount);

    void handleChange(const ChangeSnapshot& snapshot);

    bool namesCleanShotFile(const QStringList& types);

    // ---- capture ------------------------------------------------------------------------------

    void capture(const CaptureRequest& request);

    // The content of the accepted change: as the pasteboard read it at the owner change when it
    // still keeps it (so a copy replaced right after its quiet period is stored as it was), else
    // read now, as long as the pasteboard still holds that change (a later one is handled, and
    // possibly dropped, on its own).
    std::optional<QList<Pasteboard::KeptType>> readContent(qint64 changeCount);

    void processClipboardData(
        std::vector<CapturedRepresentation> representations, const QString& searchText, const CaptureRequest& request);

    void saveClipItem(const CaptureRequest& request, std::vector<CapturedRepresentation> ranked,
        const QString& searchText, std::optional<QString> linkTitle, std::optional<QByteArray> linkImageData);

    // On the queue, with a store context of its own (as pruning does): writing megabytes of a
    // large copy never stalls the main thread, which only hears about the new entry.
    void storeWrite(const ClipSavePipeline::Entry& entry, const ClipItemPtr& item, bool prune, bool rejectDuplicates);

    // Queue: prints the failure and tells the main thread.
    void reportSaveFailure(const QString& error);

    // Main thread.
    void announceSave(bool prune);

    // Main thread: the deletion runs on the queue with a store context of its own.
    void pruneOldItems();
};
