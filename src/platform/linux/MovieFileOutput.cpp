#include "platform/linux/MovieFileOutput.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
constexpr int bufferSize = 1 << 16;

QString errnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}
}

MovieFileOutput::~MovieFileOutput()
{
    close(nullptr);
}

bool MovieFileOutput::create(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        if (error)
            *error = errnoText(errno);
        return false;
    }
    struct stat info { };
    if (::fstat(m_fd, &info) == 0) {
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    m_io = avio_alloc_context(
        buffer, bufferSize, 1, this, nullptr, &MovieFileOutput::writePacket, &MovieFileOutput::seek);
    if (!m_io) {
        av_free(buffer);
        if (error)
            *error = QStringLiteral("out of memory");
        return false;
    }
    return true;
}

int MovieFileOutput::writePacket(void* opaque, uint8_t* data, int size)
{
    auto* self = static_cast<MovieFileOutput*>(opaque);
    if (self->failed())
        return AVERROR(EIO);
    int done = 0;
    while (done < size) {
        const ssize_t written = ::write(self->m_fd, data + done, size_t(size - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int code = written < 0 ? errno : ENOSPC;
            self->m_failure = errnoText(code);
            return AVERROR(code);
        }
        done += int(written);
        self->m_position += written;
    }
    return size;
}

int64_t MovieFileOutput::seek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<MovieFileOutput*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat info { };
        return ::fstat(self->m_fd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
    }
    const off_t result = ::lseek(self->m_fd, off_t(offset), whence & ~AVSEEK_FORCE);
    if (result < 0)
        return AVERROR(errno);
    self->m_position = result;
    return result;
}

bool MovieFileOutput::flush(QString* error)
{
    if (m_io && !failed())
        avio_flush(m_io);
    if (failed() || (m_io && m_io->error < 0)) {
        if (error)
            *error = failed() ? m_failure : QStringLiteral("the movie could not be written");
        return false;
    }
    return true;
}

void MovieFileOutput::markComplete()
{
    m_complete = m_position;
}

bool MovieFileOutput::isShortOfSpace(qint64 pending) const
{
    struct statvfs disk { };
    if (m_fd < 0 || ::fstatvfs(m_fd, &disk) != 0)
        return false;
    const qint64 unwritten = pending + (m_io ? qint64(m_io->buf_ptr - m_io->buffer) : 0);
    const qint64 free = qint64(disk.f_bavail) * qint64(disk.f_frsize);
    return 2 * unwritten > free;
}

void MovieFileOutput::cutToComplete()
{
    if (m_fd >= 0 && ::ftruncate(m_fd, off_t(m_complete)) == 0) {
        ::lseek(m_fd, off_t(m_complete), SEEK_SET);
        m_position = m_complete;
    }
}

bool MovieFileOutput::close(QString* error)
{
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd < 0)
        return true;
    const int result = ::close(m_fd);
    m_fd = -1;
    if (result != 0 && error)
        *error = errnoText(errno);
    return result == 0;
}

QString MovieFileOutput::openPath() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

bool MovieFileOutput::isAt(const QString& path) const
{
    struct stat info { };
    const QByteArray name = QFile::encodeName(path);
    return ::lstat(name.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_dev == m_device
        && info.st_ino == m_inode;
}
