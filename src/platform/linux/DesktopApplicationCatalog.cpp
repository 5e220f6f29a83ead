#include "platform/linux/DesktopApplicationCatalog.h"

#include "platform/DesktopEntry.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <algorithm>

namespace {

constexpr qint64 kMaxEntrySize = 256 * 1024;

std::optional<DesktopEntry> readEntry(const QString& path)
{
    QFile file(path);
    if (file.size() > kMaxEntrySize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DesktopEntry::parse(file.readAll());
}

bool isShown(const DesktopEntry& entry)
{
    return entry.value(QStringLiteral("Type")) == QLatin1String("Application")
        && entry.value(QStringLiteral("Hidden")) != QLatin1String("true")
        && entry.value(QStringLiteral("NoDisplay")) != QLatin1String("true")
        && !entry.value(QStringLiteral("Name")).isEmpty();
}

InstalledApplication describe(const QString& id, const DesktopEntry& entry)
{
    return {id, entry.value(QStringLiteral("Name")), entry.value(QStringLiteral("Icon"))};
}

// The desktop-file ID of a file below a folder: its relative path with "/" as "-".
QString idOf(const QString& directory, const QString& path)
{
    QString relative = QFileInfo(path).absoluteFilePath().mid(QFileInfo(directory).absoluteFilePath().size() + 1);
    relative.chop(8); // ".desktop"
    return relative.replace(u'/', u'-');
}

}

DesktopApplicationCatalog::DesktopApplicationCatalog(QStringList directories)
    : m_directories(directories.isEmpty() ? DesktopEntryIndex::applicationDirectories() : std::move(directories))
{
}

QList<InstalledApplication> DesktopApplicationCatalog::applications()
{
    QList<InstalledApplication> result;
    QSet<QString> seen;
    for (const QString& directory : m_directories) {
        QDirIterator it(directory, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString id = idOf(directory, path);
            if (seen.contains(id))
                continue;
            seen.insert(id);
            const std::optional<DesktopEntry> entry = readEntry(path);
            if (entry && isShown(*entry))
                result.append(describe(id, *entry));
        }
    }
    std::sort(result.begin(), result.end(), [](const InstalledApplication& a, const InstalledApplication& b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    return result;
}

QString DesktopApplicationCatalog::entryFile(const QString& bundleIdentifier) const
{
    if (bundleIdentifier.isEmpty() || bundleIdentifier.contains(u'/'))
        return {};
    for (const QString& directory : m_directories) {
        // "a-b.desktop" may also live as "a/b.desktop".
        QString path = directory + u'/' + bundleIdentifier + QStringLiteral(".desktop");
        if (QFileInfo::exists(path))
            return path;
        const qsizetype dash = bundleIdentifier.indexOf(u'-');
        if (dash > 0) {
            path = directory + u'/' + bundleIdentifier.left(dash) + u'/' + bundleIdentifier.mid(dash + 1)
                + QStringLiteral(".desktop");
            if (QFileInfo::exists(path))
                return path;
        }
    }
    return {};
}

std::optional<InstalledApplication> DesktopApplicationCatalog::application(const QString& bundleIdentifier)
{
    const QString path = entryFile(bundleIdentifier);
    if (path.isEmpty())
        return std::nullopt;
    const std::optional<DesktopEntry> entry = readEntry(path);
    if (!entry || entry->value(QStringLiteral("Type")) != QLatin1String("Application")
        || entry->value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return std::nullopt;
    return describe(bundleIdentifier, *entry);
}

QStringList DesktopApplicationCatalog::execArguments(const QString& exec)
{
    QStringList arguments;
    for (QString argument : QProcess::splitCommand(exec)) {
        QString cleaned;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] == u'%' && i + 1 < argument.size()) {
                if (argument[i + 1] == u'%')
                    cleaned += u'%';
                ++i; // a field code: no file, URL, icon or name is passed
                continue;
            }
            cleaned += argument[i];
        }
        if (!cleaned.isEmpty() || argument.isEmpty())
            arguments << cleaned;
    }
    return arguments;
}

bool DesktopApplicationCatalog::launch(const QString& bundleIdentifier)
{
    const QString path = entryFile(bundleIdentifier);
    const std::optional<DesktopEntry> entry = path.isEmpty() ? std::nullopt : readEntry(path);
    if (!entry)
        return false;
    QStringList arguments = execArguments(entry->value(QStringLiteral("Exec")));
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments, entry->value(QStringLiteral("Path")));
}
