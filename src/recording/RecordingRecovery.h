#pragma once
#include "store/RecordingItem.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class ModelContainer;
class MovieThumbnailer;

// Finds the movies a recording left in the recordings folder without a record (the program was
// killed, or lost its display, while recording) and makes their records from the files.
namespace RecordingRecovery {

// Names of movies started by this process: never adopted, they get their records at their stop.
class StartedNames {
public:
    void add(const QString& name);
    bool contains(const QString& name) const;

private:
    mutable std::mutex m_mutex;
    QSet<QString> m_names;
};

// Whether `name` is one this program gives its movies ("2026-12-07_09-35-51.mov", or with " 2",
// " 3", ... before ".mov").
bool isRecordingName(const QString& name);

// Records for the plain files (not links, not pipes) of `directory` with a recording's name, no
// record in `container` and not in `started`, that hold pictures: length, thumbnail and sound read from
// the file, the time it was last written as their time. Saved on a context of their own; slow
// (reads every such movie), so called off the main thread. Returns what was stored.
// Such a file without a picture that was last written before `writtenBefore` (when this run's
// recorder was made: one a recording of this run writes has its name in `started`) is cleared
// away, so that it is not read again at every start: removed when it is no larger than a movie's
// header (a recording killed before its first fragment, a start given up: nothing to get back),
// else set aside as "<name> (unlesbar).mov", a file nothing here can read, kept for the user.
std::vector<RecordingItemPtr> adopt(const QString& directory, ModelContainer& container, MovieThumbnailer& thumbnailer,
    const StartedNames& started, const QDateTime& writtenBefore);

// The size up to which a file without a picture holds no more than a movie's header.
constexpr qint64 headerBytes = 64 * 1024;
}
