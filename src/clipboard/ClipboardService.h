#pragma once
#include <QDateTime>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class ClipboardCryptoService;
class ClipboardSuspension;
class DispatchQueue;
class LinkMetadataProvider;
class ModelContainer;
class NotificationCenter;
class Pasteboard;
class Preferences;
class Workspace;

// The clipboard monitor. Hears of each clipboard change as the pasteboard reports it (XFixes on
// X11), or polls the change count every 0.5 s on its own serial queue ("com.quorvel.clipboard")
// where changes are not reported; for each new change asks the main thread for the frontmost
// application and the clipboard's owner, drops copies from blocked applications and copies that
// carry a concealed type, attributes the copy (screenshot tools and clipboard inspectors give way to
// the last real application), and 0.4 s after the change was known takes its content (as read at
// the owner change when the pasteboard kept it, so copies 0.45 s apart are all kept), drops repeats, fetches a link
// preview (never for links that carry a secret), derives the cached facts and stores one sealed
// ClipItem. Every eleventh save prunes the history. Nothing is recorded while monitoring is
// suspended. A blocked application is matched by every name the desktop knows it by.
//
// Threads: the clipboard is read on the queue (reads may block on a hung owner); the store write
// runs on the queue too, with a store context of its own, and the main thread is told afterwards
// ("clipboardItemAdded"). The frontmost application and the preferences are main-thread work.
// Every closure handed to a queue holds the service weakly.
class ClipboardService {
public:
    struct AppIdentity {
        QString bundleID;
        QString name;
        bool operator==(const AppIdentity&) const = default;
    };

    static constexpr std::chrono::milliseconds pollingInterval {500};
    static constexpr std::chrono::milliseconds debounceDelay {400};
    static constexpr qint64 maxDataSize = 52428800;
    static constexpr int maxRecentHashes = 5;

    ClipboardService(Pasteboard& pasteboard, Workspace& workspace, Preferences& preferences,
        NotificationCenter& notifications, ClipboardCryptoService& crypto, LinkMetadataProvider& linkMetadata,
        DispatchQueue& queue, DispatchQueue& mainQueue, ClipboardSuspension& suspension);
    ~ClipboardService();
    ClipboardService(const ClipboardService&) = delete;
    ClipboardService& operator=(const ClipboardService&) = delete;

    // The store's container, held weakly. Without it a save prints
    // "ClipboardService: ModelContainer not configured" and the copy is skipped.
    void setModelContainer(std::weak_ptr<ModelContainer> container);
    // Asked on the main thread after each save: "clipboardItemAdded" is posted only when it answers
    // true (the history panel is visible or the shelf expanded). Default: never.
    void setShouldAnnounceNewItems(std::function<bool()> predicate);
    // Told on the main thread of each copy that was stored (an empty error) or could not be
    // (the reason); not of repeats, which store nothing.
    void setSaveOutcomeHandler(std::function<void(const QString& error)> handler);

    // The time source of entry timestamps (the current UTC time unless replaced, for tests).
    void setClock(std::function<QDateTime()> clock);

    // Main thread. What is on the clipboard at start is never recorded; calling it again restarts.
    void startMonitoring();
    void stopMonitoring();
    bool isMonitoring() const;
    bool isSuspended() const;

    // Password managers and the keychain tools: copies made while one is frontmost (or owns the
    // clipboard) are dropped.
    static const QSet<QString>& builtInBlockedApps();
    static const QSet<QString>& screenshotApps();
    static const QSet<QString>& clipboardMonitoringApps();
    // The preference "blockedApps" (a JSON array of identifiers, blanks trimmed); empty when
    // missing or malformed. Main thread.
    QSet<QString> userBlockedApps() const;

    // State of the monitor, for tests that drive the queue themselves (read it on the queue).
    AppIdentity lastRealFrontmostApp() const;
    qint64 lastChangeCount() const;
    bool isWaitingForKey() const;
    int saveCountSinceLastPrune() const;

private:
    struct Impl;
    std::shared_ptr<Impl> d;
};
