#pragma once
#include <QString>
#include <functional>
#include <memory>

class QFile;
class QMediaPlayer;
class QObject;
class QThreadPool;
class QVideoWidget;

// Qt's media playback, chosen and checked before any player exists: Qt ends the process when a
// player is made without a usable media backend, and its GStreamer backend crashes where the
// GStreamer base plugins are missing. So the FFmpeg backend is the default, and the quick looks
// ask isAvailable() before they make a player.
//
// A player is given only what was found playable off the main thread (openMovie): the movie as an
// open regular file, and whether a sound output can take its audio. Qt's audio output crashes
// where no sound server answers and its teardown hangs when the server went away during
// playback, so a player is made without one then, and is always let go through release().
namespace MediaPlayback {

// The backend Qt is told to use: the user's QT_MEDIA_BACKEND when set, else "ffmpeg" (set in the
// environment). Widgets are drawn without OpenGL, so that a video never loads a GL driver (and its
// threads) that would stay in the process after the player closes. Call before the application
// object exists.
QString chooseBackend();

// True when the chosen backend's plugin is installed and loads.
bool isAvailable();

// The check whether a sound output answers. It may wait for the sound server (bounded), so it is
// only called off the main thread. Without a probe there is no sound.
void setSoundOutputProbe(std::function<bool()> probe);
bool soundOutputUsable();

// The check that an open file reads as a movie: it reads the container's header and streams of
// the file at `path`. Blocking work, called off the main thread. Without one every regular file
// with content counts as a movie.
void setMovieProbe(std::function<bool(const QString& path)> probe);

// The threads movies are looked at and opened on (and sound servers asked). Not the shared pool:
// a file on a mount that does not answer can hold one of them for ever, and the quit waits for the
// shared pool but never for these.
QThreadPool& pool();

// A movie file looked at and opened off the main thread.
class OpenedMovie {
public:
    enum class State { missing, notPlayable, playable };
    State state = State::missing;
    // A sound output answered when the movie was opened.
    bool withSound = false;
    QString path;
    // The open file as a device owned by `parent`, once; null unless playable.
    QFile* takeFile(QObject* parent);

private:
    friend OpenedMovie openMovie(const QString& path, bool askForSound);
    std::shared_ptr<int> m_descriptor;
};

// Opens `path` without following it into anything but a regular file: a named pipe, a device or a
// directory is not playable (and is never waited on), nor is an empty file or one the movie probe
// does not read. Then asks the sound probe when `askForSound`. Blocking work: call it off the main
// thread.
OpenedMovie openMovie(const QString& path, bool askForSound = true);

// A player of a playable `movie` drawing into `video`, with a sound output when the movie was
// opened with sound. The player owns the file and the sound output and has no parent: whoever
// holds it hands it to release(). Null when the movie is not playable or no media backend loads.
QMediaPlayer* makePlayer(OpenedMovie& movie, QVideoWidget* video);

// Lets a player go with its decoding threads and sound output. Never waits: a player with a sound
// output is destroyed once its sound server was found answering (off the main thread); one whose
// server went away is kept, paused, since Qt's teardown of its sound output would wait for ever.
// For the same reason a process that still holds a player with a sound output at its exit (kept,
// or never released) ends before Qt Multimedia's exit-time teardown, once its own is done.
void release(QMediaPlayer* player);

}
