#include "store/RecordingStorage.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

QString RecordingStorage::recordingsDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + QStringLiteral("/Quorvel");
}

void RecordingStorage::ensureDirectoryExists()
{
    // An existing folder, or one that cannot be made, is left to the writer of the movie.
    QDir().mkpath(recordingsDirectory());
}

QString RecordingStorage::fileName(const QDateTime& date)
{
    // The C locale keeps ASCII digits whatever the user's locale; QLocale formats in the Gregorian calendar.
    return QLocale::c().toString(date.toLocalTime(), QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".mov");
}

QString RecordingStorage::availableFileName(const QDateTime& date)
{
    return availableFileName(date, recordingsDirectory());
}

QString RecordingStorage::availableFileName(const QDateTime& date, const QString& directory)
{
    return availableFileName(date, directory, [](const QString& path) { return QFileInfo::exists(path); });
}

QString RecordingStorage::availableFileName(
    const QDateTime& date, const QString& directory, const std::function<bool(const QString& path)>& exists)
{
    const QString name = fileName(date);
    const QDir dir(directory);
    if (!exists(dir.filePath(name)))
        return name;
    const QString stem = name.chopped(4); // without ".mov"
    for (int suffix = 2;; ++suffix) {
        const QString candidate = stem + QLatin1Char(' ') + QString::number(suffix) + QStringLiteral(".mov");
        if (!exists(dir.filePath(candidate)))
            return candidate;
    }
}
