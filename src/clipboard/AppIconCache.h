#pragma once
#include <QCache>
#include <QIcon>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>

class DispatchQueue;

// Icons of source applications by bundle identifier (the desktop-file ID). A missing icon is
// looked up in the background: the application's .desktop entry is found on the loading queue
// ("com.quorvel.appiconloading"), its Icon= is resolved (absolute path, icon theme, pixmaps) and
// stored on the main queue. Nothing is announced; a caller that got nothing asks again later.
class AppIconCache {
public:
    static constexpr int countLimit = 100;

    AppIconCache(DispatchQueue& loadingQueue, DispatchQueue& mainQueue,
        QStringList applicationDirectories = defaultApplicationDirectories());
    ~AppIconCache();
    AppIconCache(const AppIconCache&) = delete;
    AppIconCache& operator=(const AppIconCache&) = delete;

    // $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications.
    static QStringList defaultApplicationDirectories();

    // The cached icon, or nothing after starting a lookup ("" starts none). Main thread.
    std::optional<QIcon> icon(const QString& bundleID);
    // Direct access for views that look icons up themselves, under the same keys.
    std::optional<QIcon> cachedIcon(const QString& bundleID) const;
    void setIcon(const QIcon& icon, const QString& bundleID);

    // Lookups started since creation (one per identifier while it is under way).
    int lookupsStarted() const;
    // A lookup of this identifier is under way (its icon may be there soon).
    bool isLookingUp(const QString& bundleID) const;

    struct DesktopIcon {
        QString desktopFile;
        QString iconName; // Icon= of the entry, empty when it names none
    };
    // The desktop entry of an application: "<id>.desktop" (also lower-cased, and with the first
    // "-" as a sub-folder), else an entry whose StartupWMClass equals the identifier (ignoring case).
    static std::optional<DesktopIcon> desktopIcon(const QString& bundleID, const QStringList& directories);
    // The icon an Icon= value names, or a generic application icon; null when neither resolves.
    static QIcon resolveIcon(const QString& iconName);

private:
    void loadIconAsync(const QString& bundleID);

    DispatchQueue& m_loadingQueue;
    DispatchQueue& m_mainQueue;
    QStringList m_directories;
    mutable std::mutex m_mutex;
    QCache<QString, QIcon> m_cache;
    QSet<QString> m_loadingSet;
    int m_lookups = 0;
    std::shared_ptr<AppIconCache*> m_self;
};
