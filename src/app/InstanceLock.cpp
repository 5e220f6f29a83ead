#include "app/InstanceLock.h"

#include "store/ModelContainer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

InstanceLock::Result InstanceLock::acquire(const QString& path, QString* error)
{
    const auto unavailable = [&](const QString& what) {
        if (error)
            *error = QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
        return Result::Unavailable;
    };
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    if (!info.absoluteDir().exists()) {
        QDir().mkpath(QFileInfo(info.absolutePath()).absolutePath());
        ::mkdir(folder.constData(), 0700);
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return unavailable(QStringLiteral("Cannot open the lock file"));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(fd);
        errno = reason;
        if (reason == EWOULDBLOCK)
            return Result::HeldByAnother;
        return unavailable(QStringLiteral("Cannot lock"));
    }
    // The holder's process id, for whoever looks at the file.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
        const auto written = ::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return Result::Acquired;
}

QString InstanceLock::defaultPath()
{
    return QFileInfo(ModelContainer::defaultStorePath()).absolutePath() + QStringLiteral("/Quorvel.lock");
}
