#include "platform/MediaPlayback.h"

#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/MemoryRelease.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QList>
#include <QMediaPlayer>
#include <QMutex>
#include <QPluginLoader>
#include <QThreadPool>
#include <QUrl>
#include <QVideoWidget>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr char backendVariable[] = "QT_MEDIA_BACKEND";

QMutex probeLock;
std::function<bool()>& soundProbe()
{
    static std::function<bool()> probe;
    return probe;
}

std::function<bool(const QString&)>& movieProbe()
{
    static std::function<bool(const QString&)> probe;
    return probe;
}

bool readsAsMovie(const QString& path)
{
    std::function<bool(const QString&)> probe;
    {
        QMutexLocker locker(&probeLock);
        probe = movieProbe();
    }
    return !probe || probe(path);
}

// Players whose sound server went away while they played: never destroyed.
QList<QMediaPlayer*>& abandonedPlayers()
{
    static QList<QMediaPlayer*> players;
    return players;
}

// Players with a sound output that have not been destroyed (kept ones included).
std::atomic<int> liveSoundOutputs {0};

// Runs at the process's exit before Qt Multimedia's exit-time teardown: it is registered when the
// quit begins, after Qt made its sound engine. Where a sound server went away under a playing
// sound output, Qt's sink keeps its sound engine's lock for ever (a failed write returns without
// giving it back), and that teardown waits for the lock. So while any sound output lives, the
// process ends here, what it printed flushed: the rest of the teardown only frees memory and
// closes connections, which the system does as well.
void endBeforeSoundTeardown(int status, void*)
{
    if (liveSoundOutputs.load() == 0)
        return;
    Console::flush(std::chrono::milliseconds(500));
    std::fflush(nullptr);
    ::_exit(status);
}

// Deletes the player, then hands the memory its decoders used back to the system (the decoding
// threads' malloc arenas keep tens of megabytes otherwise).
void destroy(QMediaPlayer* player)
{
    if (player->audioOutput())
        --liveSoundOutputs;
    delete player;
    MemoryRelease::releaseFreeMemory();
}

void closeDescriptor(int* descriptor)
{
    if (*descriptor >= 0)
        ::close(*descriptor);
    delete descriptor;
}
}

QString MediaPlayback::chooseBackend()
{
    if (qEnvironmentVariableIsEmpty(backendVariable))
        qputenv(backendVariable, "ffmpeg");
    // Qt's video widget draws through OpenGL when top-level widgets may use it; the GL driver it
    // loads (with a software rasteriser: 50 MB and a thread per core) stays until the process ends.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
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

QThreadPool& MediaPlayback::pool()
{
    // Never destroyed: its destructor would wait for a thread that may never return.
    static QThreadPool* threads = new QThreadPool();
    return *threads;
}

void MediaPlayback::setSoundOutputProbe(std::function<bool()> probe)
{
    QMutexLocker locker(&probeLock);
    soundProbe() = std::move(probe);
}

void MediaPlayback::setMovieProbe(std::function<bool(const QString& path)> probe)
{
    QMutexLocker locker(&probeLock);
    movieProbe() = std::move(probe);
}

bool MediaPlayback::soundOutputUsable()
{
    std::function<bool()> probe;
    {
        QMutexLocker locker(&probeLock);
        probe = soundProbe();
    }
    return probe && probe();
}

QFile* MediaPlayback::OpenedMovie::takeFile(QObject* parent)
{
    if (state != State::playable || !m_descriptor || *m_descriptor < 0)
        return nullptr;
    auto* file = new QFile(parent);
    if (!file->open(*m_descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        delete file;
        return nullptr;
    }
    *m_descriptor = -1; // the file closes it now
    return file;
}

MediaPlayback::OpenedMovie MediaPlayback::openMovie(const QString& path, bool askForSound)
{
    OpenedMovie movie;
    movie.path = path;
    const QByteArray name = QFile::encodeName(path);
    struct stat info { };
    if (::stat(name.constData(), &info) != 0) {
        movie.state = errno == ENOENT || errno == ENOTDIR ? OpenedMovie::State::missing
                                                          : OpenedMovie::State::notPlayable;
        return movie;
    }
    movie.state = OpenedMovie::State::notPlayable;
    if (!S_ISREG(info.st_mode))
        return movie;
    // Non-blocking, so that whatever was swapped in after the look above (a pipe without a writer)
    // does not hold the open; what is open is then looked at once more, and only a regular file
    // with content is kept.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return movie;
    std::shared_ptr<int> held(new int(descriptor), &closeDescriptor);
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0)
        return movie;
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return movie;
    // Qt's FFmpeg backend reads the container's header on the thread that hands it the file. The
    // same reads made here first, through this very file, leave those to the page cache, so a mount
    // that stalls holds this thread and not the main one; and a file that is no movie goes no further.
    if (!readsAsMovie(QStringLiteral("/proc/self/fd/%1").arg(descriptor)))
        return movie;
    movie.m_descriptor = std::move(held);
    movie.state = OpenedMovie::State::playable;
    movie.withSound = askForSound && soundOutputUsable();
    return movie;
}

QMediaPlayer* MediaPlayback::makePlayer(OpenedMovie& movie, QVideoWidget* video)
{
    if (movie.state != OpenedMovie::State::playable || !isAvailable())
        return nullptr;
    auto* player = new QMediaPlayer();
    if (!player->isAvailable()) {
        delete player;
        return nullptr;
    }
    QFile* file = movie.takeFile(player);
    if (!file) {
        delete player;
        return nullptr;
    }
    // Without a sound output the player plays the picture only and never touches Qt's audio.
    if (movie.withSound) {
        player->setAudioOutput(new QAudioOutput(player));
        ++liveSoundOutputs;
        // Registered when the quit begins: Qt's sound engine exists by then, so this runs first.
        static const QMetaObject::Connection atQuit = QObject::connect(
            qApp, &QCoreApplication::aboutToQuit, qApp, [] { ::on_exit(&endBeforeSoundTeardown, nullptr); },
            Qt::DirectConnection);
        Q_UNUSED(atQuit);
    }
    player->setVideoOutput(video);
    player->setSourceDevice(file, QUrl::fromLocalFile(movie.path));
    return player;
}

void MediaPlayback::release(QMediaPlayer* player)
{
    if (!player)
        return;
    // The picture goes now, with the widget it was drawn in; nothing the player still says reaches
    // its former owner.
    player->disconnect();
    player->setVideoOutput(static_cast<QObject*>(nullptr));
    player->setParent(nullptr);
    if (!player->audioOutput()) {
        destroy(player);
        return;
    }
    // Qt's teardown of a sound output whose server went away during playback waits for ever. So
    // the server is asked first (off the main thread); a player whose server no longer answers is
    // kept, silent and paused, for the rest of the process instead.
    player->pause();
    Background::runOn(
        pool(), player, [] { return soundOutputUsable(); },
        [player](bool serverAnswers) {
            if (serverAnswers)
                destroy(player);
            else
                abandonedPlayers().append(player);
        });
}
