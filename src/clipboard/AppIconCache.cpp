#include "clipboard/AppIconCache.h"

#include "platform/DesktopEntry.h"
#include "platform/Dispatch.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

AppIconCache::AppIconCache(DispatchQueue& loadingQueue, DispatchQueue& mainQueue, QStringList applicationDirectories)
    : m_loadingQueue(loadingQueue)
    , m_mainQueue(mainQueue)
    , m_directories(std::move(applicationDirectories))
    , m_cache(countLimit)
    , m_self(std::make_shared<AppIconCache*>(this))
{
}

AppIconCache::~AppIconCache() = default;

QStringList AppIconCache::defaultApplicationDirectories()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

std::optional<QIcon> AppIconCache::icon(const QString& bundleID)
{
    if (bundleID.isEmpty())
        return std::nullopt;
    if (auto cached = cachedIcon(bundleID))
        return cached;
    loadIconAsync(bundleID);
    return std::nullopt;
}

std::optional<QIcon> AppIconCache::cachedIcon(const QString& bundleID) const
{
    std::lock_guard lock(m_mutex);
    if (const QIcon* icon = m_cache.object(bundleID))
        return *icon;
    return std::nullopt;
}

void AppIconCache::setIcon(const QIcon& icon, const QString& bundleID)
{
    std::lock_guard lock(m_mutex);
    m_cache.insert(bundleID, new QIcon(icon), 1);
}

int AppIconCache::lookupsStarted() const
{
    std::lock_guard lock(m_mutex);
    return m_lookups;
}

bool AppIconCache::isLookingUp(const QString& bundleID) const
{
    std::lock_guard lock(m_mutex);
    return m_loadingSet.contains(bundleID);
}

void AppIconCache::loadIconAsync(const QString& bundleID)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_cache.contains(bundleID) || m_loadingSet.contains(bundleID))
            return;
        m_loadingSet.insert(bundleID);
        ++m_lookups;
    }
    // The file search touches nothing of this object; the result is taken over on the main queue,
    // where the cache is also destroyed, so a late result for a destroyed cache is dropped.
    std::weak_ptr<AppIconCache*> weak = m_self;
    DispatchQueue* main = &m_mainQueue;
    m_loadingQueue.async([weak, main, bundleID, directories = m_directories] {
        std::optional<DesktopIcon> entry = desktopIcon(bundleID, directories);
        main->async([weak, bundleID, entry] {
            auto self = weak.lock();
            if (!self)
                return;
            AppIconCache* cache = *self;
            // Theme lookups create pixmaps lazily, which belongs on the main thread.
            QIcon icon = entry ? resolveIcon(entry->iconName) : QIcon();
            std::lock_guard lock(cache->m_mutex);
            if (!icon.isNull())
                cache->m_cache.insert(bundleID, new QIcon(icon), 1);
            cache->m_loadingSet.remove(bundleID);
        });
    });
}

namespace {

// Icon= of the [Desktop Entry] group; nullopt when the file is no desktop entry.
std::optional<QString> readIconKey(const QString& path, QString* startupWMClass = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(file.read(1024 * 1024));
    if (!entry)
        return std::nullopt;
    if (startupWMClass)
        *startupWMClass = entry->value(QStringLiteral("StartupWMClass"));
    return entry->value(QStringLiteral("Icon"));
}

}

std::optional<AppIconCache::DesktopIcon> AppIconCache::desktopIcon(
    const QString& bundleID, const QStringList& directories)
{
    if (bundleID.isEmpty() || bundleID.contains(QLatin1Char('/')) || bundleID.startsWith(QLatin1Char('.')))
        return std::nullopt;
    QStringList ids {bundleID};
    if (bundleID.toLower() != bundleID)
        ids.append(bundleID.toLower());
    for (const QString& dir : directories) {
        for (const QString& id : ids) {
            QStringList files {dir + QLatin1Char('/') + id + QStringLiteral(".desktop")};
            // "kde4-foo" may live in "kde4/foo.desktop".
            if (const qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0)
                files.append(dir + QLatin1Char('/') + id.left(dash) + QLatin1Char('/') + id.mid(dash + 1)
                    + QStringLiteral(".desktop"));
            for (const QString& path : files)
                if (QFileInfo::exists(path))
                    if (auto icon = readIconKey(path))
                        return DesktopIcon {path, *icon};
        }
    }
    // An identifier that is a window class: the entry that claims it.
    for (const QString& dir : directories) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString wmClass;
            auto icon = readIconKey(path, &wmClass);
            if (icon && !wmClass.isEmpty() && wmClass.compare(bundleID, Qt::CaseInsensitive) == 0)
                return DesktopIcon {path, *icon};
        }
    }
    return std::nullopt;
}

QIcon AppIconCache::resolveIcon(const QString& iconName)
{
    if (!iconName.isEmpty()) {
        if (QDir::isAbsolutePath(iconName)) {
            if (QFileInfo(iconName).isFile())
                return QIcon(iconName);
        } else {
            QIcon themed = QIcon::fromTheme(iconName);
            if (!themed.isNull())
                return themed;
            for (const char* suffix : {"", ".png", ".svg", ".xpm"}) {
                const QString path = QStringLiteral("/usr/share/pixmaps/") + iconName + QLatin1String(suffix);
                if (QFileInfo(path).isFile())
                    return QIcon(path);
            }
        }
    }
    return QIcon::fromTheme(QStringLiteral("application-x-executable"));
}
