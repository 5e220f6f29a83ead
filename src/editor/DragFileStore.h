#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

// The files a drag-out writes for drop targets that only take files, process-wide (main thread
// only). A file goes to the drag folder below the cache folder, or, where that is a link, someone
// else's or takes no file (full, read-only), to a private one below $XDG_RUNTIME_DIR. Each folder
// lists the files written into it in ".written", so that a later start removes what a process
// that ended without its quit left. A file is removed only while its name still holds the very
// file written (its inode, size, and modification and change times to the nanosecond), never
// through a link. The list is read only from a regular file of one link and written only into a
// file just made; anything else in its place (a link, a pipe, a hard link to another file) is
// passed over and never opened for writing.
class DragFileStore {
public:
    // How long a file is kept at least: a later write removes the files written longer ago than
    // that (each only while its name still holds the very file written); the rest go with clear().
    static constexpr std::chrono::minutes keepFilesFor {10};
    // The clock a file's age is read from (tests; none: the steady clock).
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static void setClock(Clock clock);

    // $XDG_CACHE_HOME/Quorvel/drag.
    static QString cacheFolder();
    // Writes the PNG as a new file readable by the user alone into the first drag folder that
    // takes it; its path, or empty with the reason of each folder that could be opened but took
    // no file in `failures`.
    static QString write(const QByteArray& png, QStringList* failures = nullptr);
    // Whether a drag folder can be had (made when missing).
    static bool hasFolder();
    // Removes the files written longer ago than keepFilesFor.
    static void removeExpired();
    // Removes every file written here and every file the folders' lists name (start and quit).
    static void clear();
};
