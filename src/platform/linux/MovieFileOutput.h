#pragma once
#include <QString>
#include <sys/types.h>

struct AVIOContext;

// The byte stream of a movie being written: a file descriptor opened once (so the movie stays
// where it was opened, whatever happens to its folder), every write and seek checked, and the
// end of the last complete fragment remembered so that a failed write can be cut back to it.
class MovieFileOutput {
public:
    MovieFileOutput() = default;
    ~MovieFileOutput();
    MovieFileOutput(const MovieFileOutput&) = delete;
    MovieFileOutput& operator=(const MovieFileOutput&) = delete;

    // Creates the file (which must not exist) and the I/O context the muxer writes through.
    bool create(const QString& path, QString* error);
    AVIOContext* io() const { return m_io; }
    // Flushes the buffered bytes; false with the first write failure's reason once any write
    // failed (later writes are refused, so the reason stays the first one).
    bool flush(QString* error);
    // The file ends with a complete fragment here (call after a successful flush).
    void markComplete();
    // Bytes written since the last markComplete() plus `pending`, against the space left on
    // the file's disk: true when less than twice that space is free.
    bool isShortOfSpace(qint64 pending) const;
    // Cuts the file back to the end of its last complete fragment (after a failed write).
    void cutToComplete();
    // Closes the descriptor; false with the reason when closing fails.
    bool close(QString* error);
    // A path that opens the file this output writes, wherever it is now.
    QString openPath() const;
    // Whether the file at `path` (the last component not followed) is still the one opened.
    bool isAt(const QString& path) const;
    bool failed() const { return !m_failure.isEmpty(); }
    QString failure() const { return m_failure; }

private:
    static int writePacket(void* opaque, uint8_t* data, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    int m_fd = -1;
    AVIOContext* m_io = nullptr;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    qint64 m_position = 0;
    qint64 m_complete = 0;
    QString m_failure;
};
