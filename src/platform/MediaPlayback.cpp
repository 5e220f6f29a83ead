#include "platform/MediaPlayback.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QtGlobal>

namespace {
constexpr char backendVariable[] = "QT_MEDIA_BACKEND";
}

QString MediaPlayback::chooseBackend()
{
    if (qEnvironmentVariableIsEmpty(backendVariable))
        qputenv(backendVariable, "ffmpeg");
    return qEnvironmentVariable(backendVariable);
}

bool MediaPlayback::isAvailable()
{
    const QString backend = qEnvironmentVariable(backendVariable);
    if (backend.isEmpty())
        return false;
    // Loaded once per backend name; a library that fails to load stays unavailable.
    static QHash<QString, bool> known;
    const auto found = known.constFind(backend);
    if (found != known.constEnd())
        return *found;
    const QDir plugins(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/multimedia"));
    const QString file = plugins.filePath(QStringLiteral("lib%1mediaplugin.so").arg(backend));
    QPluginLoader loader(file);
    const bool loads = QFileInfo::exists(file) && loader.load();
    known.insert(backend, loads);
    return loads;
}
