#include "store/RecordingFolder.h"

#include <QDir>
#include <QFileInfo>

RecordingFolder& RecordingFolder::disk()
{
    static RecordingFolder folder;
    return folder;
}

bool RecordingFolder::make(const QString& directory)
{
    return QDir().mkpath(directory);
}

bool RecordingFolder::exists(const QString& path)
{
    return QFileInfo::exists(path);
}
