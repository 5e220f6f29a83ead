#include "platform/linux/DesktopEntryIndex.h"

#include "platform/DesktopEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

constexpr qint64 kMaxDesktopFileSize = 256 * 1024;

QString normalizedDesktopFileId(QString value)
{
    value = value.trimmed();
    if (value.contains(u'/'))
        value = QFileInfo(value).fileName();
    if (value.endsWith(QLatin1String(".desktop")))
        value.chop(8);
    return value;
}

}

DesktopEntryIndex::DesktopEntryIndex(int refreshIntervalMs)
    : m_refreshIntervalMs(refreshIntervalMs)
{
}

QStringList DesktopEntryIndex::applicationDirectories()
{
    QStringList dirs;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    dirs << dataHome + QStringLiteral("/applications");
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts)) {
        const QString path = dir + QStringLiteral("/applications");
        if (!dirs.contains(path))
            dirs << path;
    }
    return dirs;
}

std::optional<DesktopEntryIndex::Entry> DesktopEntryIndex::parse(const QByteArray& contents, const QString& id)
{
    const std::optional<DesktopEntry> desktopEntry = DesktopEntry::parse(contents);
    if (!desktopEntry)
        return std::nullopt;
    Entry entry;
    entry.id = id;
    entry.name = desktopEntry->value(QStringLiteral("Name"));
    entry.startupWMClass = desktopEntry->value(QStringLiteral("StartupWMClass"));
    const bool hidden = desktopEntry->value(QStringLiteral("Hidden")) == QLatin1String("true");
    if (hidden || desktopEntry->value(QStringLiteral("Type")) != QLatin1String("Application") || entry.name.isEmpty())
        return std::nullopt;
    return entry;
}

void DesktopEntryIndex::invalidate()
{
    m_scanned = false;
}

void DesktopEntryIndex::ensureScanned()
{
    if (!m_scanned || (m_refreshIntervalMs >= 0 && m_sinceScan.elapsed() >= m_refreshIntervalMs))
        scan();
}

void DesktopEntryIndex::scan()
{
    m_entries.clear();
    m_byId.clear();
    QSet<QString> seen; // IDs already taken by a directory of higher precedence (even when hidden)
    for (const QString& dirPath : applicationDirectories()) {
        const QDir dir(dirPath);
        if (!dir.exists())
            continue;
        QStringList files;
        QDirIterator it(dirPath, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& path : files) {
            QString id = dir.relativeFilePath(path);
            id.chop(8);
            id.replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            QFile file(path);
            if (file.size() > kMaxDesktopFileSize || !file.open(QIODevice::ReadOnly))
                continue;
            if (auto entry = parse(file.readAll(), id)) {
                m_byId.insert(entry->id, m_entries.size());
                m_entries.append(*entry);
            }
        }
    }
    m_scanned = true;
    ++m_scanCount;
    m_sinceScan.start();
}

std::optional<DesktopEntryIndex::Entry> DesktopEntryIndex::entryForId(const QString& id)
{
    ensureScanned();
    const QString wanted = normalizedDesktopFileId(id);
    if (wanted.isEmpty())
        return std::nullopt;
    if (auto it = m_byId.constFind(wanted); it != m_byId.cend())
        return m_entries.at(*it);
    return std::nullopt;
}

std::optional<DesktopEntryIndex::Entry> DesktopEntryIndex::entryForWindowClass(
    const QString& instance, const QString& windowClass)
{
    ensureScanned();
    const QString names[] = {windowClass, instance};
    for (const QString& name : names) {
        if (name.isEmpty())
            continue;
        for (const Entry& entry : std::as_const(m_entries)) {
            if (entry.startupWMClass.compare(name, Qt::CaseInsensitive) == 0)
                return entry;
        }
    }
    for (const QString& name : names) {
        if (name.isEmpty())
            continue;
        for (const Entry& entry : std::as_const(m_entries)) {
            if (entry.id.compare(name, Qt::CaseInsensitive) == 0)
                return entry;
        }
    }
    return std::nullopt;
}

DesktopEntryIndex::Identity DesktopEntryIndex::identify(
    const QString& gtkApplicationId, const QString& kdeDesktopFile, const QString& instance, const QString& windowClass)
{
    const QString className = windowClass.isEmpty() ? instance : windowClass;
    Identity identity;
    std::optional<Entry> entry;
    if (!gtkApplicationId.trimmed().isEmpty()) {
        identity.bundleIdentifier = gtkApplicationId.trimmed();
        entry = entryForId(identity.bundleIdentifier);
    } else if (!normalizedDesktopFileId(kdeDesktopFile).isEmpty()) {
        identity.bundleIdentifier = normalizedDesktopFileId(kdeDesktopFile);
        entry = entryForId(identity.bundleIdentifier);
    } else if ((entry = entryForWindowClass(instance, windowClass))) {
        identity.bundleIdentifier = entry->id;
    } else {
        identity.bundleIdentifier = className;
    }
    identity.name = entry ? entry->name : className;

    auto add = [&identity](const QString& name) {
        const QString trimmed = name.trimmed();
        if (!trimmed.isEmpty() && !identity.identities.contains(trimmed, Qt::CaseInsensitive))
            identity.identities.append(trimmed);
    };
    add(identity.bundleIdentifier);
    add(gtkApplicationId);
    add(normalizedDesktopFileId(kdeDesktopFile));
    // The entry a window class names may differ from the one the toolkit ID names.
    const std::optional<Entry> classEntry = (instance.isEmpty() && windowClass.isEmpty())
        ? std::nullopt
        : entryForWindowClass(instance, windowClass);
    for (const std::optional<Entry>& e : {entry, classEntry}) {
        if (e) {
            add(e->id);
            add(e->startupWMClass);
        }
    }
    add(instance);
    add(windowClass);
    return identity;
}
