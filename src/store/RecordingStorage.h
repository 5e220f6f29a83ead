#pragma once
#include <QDateTime>
#include <QString>
#include <functional>

// The recordings folder (the user's movies folder + "/Quorvel") and movie file names.
namespace RecordingStorage {
QString recordingsDirectory();
void ensureDirectoryExists();
// "yyyy-MM-dd_HH-mm-ss.mov" in local time, POSIX locale, Gregorian calendar.
QString fileName(const QDateTime& date);
// fileName(date), or with " 2", " 3", ... before ".mov" when that name is taken in the folder.
QString availableFileName(const QDateTime& date);
// The same, for a given folder instead of recordingsDirectory(). Existing files are never touched.
QString availableFileName(const QDateTime& date, const QString& directory);
// The same, with `exists` telling whether a path of the folder is taken.
QString availableFileName(
    const QDateTime& date, const QString& directory, const std::function<bool(const QString& path)>& exists);
}
