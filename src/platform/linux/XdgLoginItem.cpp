#include "platform/linux/XdgLoginItem.h"

#include "platform/DesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

bool isTrue(const QString& value)
{
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

bool isFalse(const QString& value)
{
    return value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}

}

XdgLoginItem::XdgLoginItem(const QString& autostartDirectory, const QString& executablePath)
    : m_directory(autostartDirectory.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart")
            : autostartDirectory)
    , m_executable(executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : executablePath)
{
}

QString XdgLoginItem::filePath() const
{
    return m_directory + QStringLiteral("/quorvel.desktop");
}

QString XdgLoginItem::execArgument(const QString& executablePath)
{
    // Field codes start with "%", so a literal one is doubled.
    QString arg = executablePath;
    arg.replace(QLatin1Char('%'), QLatin1String("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = arg.isEmpty();
    for (QChar c : std::as_const(arg))
        needsQuotes = needsQuotes || reserved.contains(c);
    if (needsQuotes) {
        // Inside double quotes, ", `, $ and \ take a backslash.
        QString quoted;
        for (QChar c : std::as_const(arg)) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        arg = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    // The Exec value is itself a string value, whose escapes apply on top.
    QString escaped;
    for (QChar c : std::as_const(arg)) {
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else
            escaped += c;
    }
    return escaped;
}

QByteArray XdgLoginItem::desktopEntry() const
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Quorvel\n"
                                        "Exec=%1\n"
                                        "X-GNOME-Autostart-enabled=true\n"
                                        "NoDisplay=false\n"
                                        "Terminal=false\n")
                             .arg(execArgument(m_executable));
    return text.toUtf8();
}

LoginItem::Status XdgLoginItem::status() const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return Status::NotRegistered;
    // An autostart entry is small; more than this is not one of ours.
    const QByteArray content = file.read(256 * 1024);
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(content);
    if (!entry)
        return Status::NotRegistered;
    if (isTrue(entry->value(QStringLiteral("Hidden")))
        || isFalse(entry->value(QStringLiteral("X-GNOME-Autostart-enabled"))))
        return Status::DisabledByUser;
    return Status::Enabled;
}

bool XdgLoginItem::registerItem(QString* error)
{
    if (status() == Status::DisabledByUser)
        return true;
    const QByteArray entry = desktopEntry();
    const QString path = filePath();
    {
        QFile current(path);
        if (current.open(QIODevice::ReadOnly) && current.read(entry.size() + 1) == entry)
            return true;
    }
    if (!QDir().mkpath(m_directory)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(m_directory);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool XdgLoginItem::unregisterItem(QString* error)
{
    const QString path = filePath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return true;
    QFile file(path);
    if (!file.remove()) {
        if (error)
            *error = QStringLiteral("cannot remove %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
