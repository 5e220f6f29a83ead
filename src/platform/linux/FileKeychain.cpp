#include "platform/linux/FileKeychain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString modeText(mode_t mode)
{
    return QStringLiteral("0%1").arg(mode & 07777, 3, 8, QLatin1Char('0'));
}

// Checks that a folder or file is ours and closed to others; an empty answer means it is.
QString checkOwnership(const struct stat& st, const QString& path, bool isDirectory)
{
    if (isDirectory ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))
        return QStringLiteral("%1 is not a %2")
            .arg(path, isDirectory ? QStringLiteral("folder") : QStringLiteral("regular file"));
    if (st.st_uid != geteuid())
        return QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(st.st_uid);
    if (st.st_mode & 077)
        return QStringLiteral("%1 has mode %2, expected %3")
            .arg(path, modeText(st.st_mode), isDirectory ? QStringLiteral("0700") : QStringLiteral("0600"));
    return {};
}

// 0 when the folder exists and is sound, ENOENT when it is missing, else an error with reason.
int checkDirectory(const QString& path, QString* reason)
{
    struct stat st { };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        if (error != ENOENT && reason)
            *reason = QStringLiteral("cannot inspect %1: %2").arg(path, errnoText(error));
        return error;
    }
    const QString problem = checkOwnership(st, path, true);
    if (!problem.isEmpty()) {
        if (reason)
            *reason = problem;
        return EPERM;
    }
    return 0;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += n;
    }
    return true;
}

}

FileKeychain::FileKeychain(const QString& directory)
    : m_directory(directory.isEmpty() ? defaultDirectory() : directory)
{
}

QString FileKeychain::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quorvel/keys");
}

QString FileKeychain::itemPath(const QString& service, const QString& account) const
{
    // "@" is escaped inside both parts, so the joined name is unambiguous; "." and "~" stay
    // readable but a part is never "." or ".." on its own, since the name always holds "@".
    const QByteArray name = QUrl::toPercentEncoding(service, {}, "@") + '@' + QUrl::toPercentEncoding(account, {}, "@")
        + ".key";
    if (name.size() <= 200)
        return m_directory + QLatin1Char('/') + QString::fromLatin1(name);
    const QByteArray digest
        = QCryptographicHash::hash(service.toUtf8() + '\0' + account.toUtf8(), QCryptographicHash::Sha256).toHex();
    return m_directory + QLatin1Char('/') + QString::fromLatin1(digest) + QStringLiteral(".key");
}

Keychain::ReadResult FileKeychain::read(const QString& service, const QString& account, Interaction)
{
    ReadResult result;
    result.status = Status::Unavailable;
    QString reason;
    const int dirState = checkDirectory(m_directory, &reason);
    if (dirState == ENOENT) {
        result.status = Status::NotFound;
        return result;
    }
    if (dirState != 0) {
        result.error = reason;
        return result;
    }

    const QString path = itemPath(service, account);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            result.status = Status::NotFound;
        else if (error == ELOOP)
            result.error = QStringLiteral("%1 is a symbolic link").arg(path);
        else
            result.error = QStringLiteral("cannot open %1: %2").arg(path, errnoText(error));
        return result;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        result.error = QStringLiteral("cannot inspect %1: %2").arg(path, errnoText(errno));
        ::close(fd);
        return result;
    }
    const QString problem = checkOwnership(st, path, false);
    if (!problem.isEmpty()) {
        result.error = problem;
        ::close(fd);
        return result;
    }
    if (st.st_size > maximumItemSize) {
        result.error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maximumItemSize);
        ::close(fd);
        return result;
    }
    QByteArray data(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, static_cast<size_t>(data.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.error = QStringLiteral("cannot read %1: %2").arg(path, errnoText(errno));
            ::close(fd);
            return result;
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    data.truncate(got);
    result.status = Status::Success;
    result.data = data;
    return result;
}

Keychain::Status FileKeychain::add(
    const QString& service, const QString& account, const QByteArray& secret, QString* error)
{
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return Status::Unavailable;
    };

    const ReadResult existing = read(service, account);
    if (existing.status == Status::Success)
        return Status::Duplicate;
    if (existing.status != Status::NotFound)
        return fail(existing.error);

    QString reason;
    int dirState = checkDirectory(m_directory, &reason);
    if (dirState == ENOENT) {
        const QFileInfo info(m_directory);
        if (!QDir().mkpath(info.absolutePath()))
            return fail(QStringLiteral("cannot create %1").arg(info.absolutePath()));
        if (::mkdir(QFile::encodeName(m_directory).constData(), 0700) != 0 && errno != EEXIST)
            return fail(QStringLiteral("cannot create %1: %2").arg(m_directory, errnoText(errno)));
        dirState = checkDirectory(m_directory, &reason);
    }
    if (dirState != 0)
        return fail(reason);

    // Written to a private temporary file first and linked into place, so that the item appears
    // complete or not at all, and an item that appeared meanwhile is never replaced.
    const QString path = itemPath(service, account);
    QByteArray temp = QFile::encodeName(m_directory + QStringLiteral("/.new-XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("cannot create a file in %1: %2").arg(m_directory, errnoText(errno)));
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, secret) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temp.constData());
        return fail(QStringLiteral("cannot write %1: %2").arg(path, errnoText(writeError)));
    }
    const int linked = ::link(temp.constData(), QFile::encodeName(path).constData());
    const int linkError = errno;
    ::unlink(temp.constData());
    if (linked != 0) {
        if (linkError == EEXIST)
            return Status::Duplicate;
        return fail(QStringLiteral("cannot create %1: %2").arg(path, errnoText(linkError)));
    }
    return Status::Success;
}

bool FileKeychain::remove(const QString& service, const QString& account, QString* error)
{
    const QString path = itemPath(service, account);
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, errnoText(errno));
        return false;
    }
    struct stat st { };
    bool overwritten = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maximumItemSize;
    if (overwritten)
        overwritten = writeAll(fd, QByteArray(qsizetype(st.st_size), '\0')) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!overwritten) {
        if (error)
            *error = QStringLiteral("cannot overwrite %1: %2").arg(path, errnoText(writeError));
        return false;
    }
    if (::unlink(native.constData()) != 0 && errno != ENOENT) {
        if (error)
            *error = QStringLiteral("cannot remove %1: %2").arg(path, errnoText(errno));
        return false;
    }
    return true;
}

bool FileKeychain::markMovedToSecretService(QString* error)
{
    QString reason;
    if (checkDirectory(m_directory, &reason) != 0) {
        if (error)
            *error = reason.isEmpty() ? QStringLiteral("%1 does not exist").arg(m_directory) : reason;
        return false;
    }
    const int fd = ::open(QFile::encodeName(movedMarkerPath()).constData(),
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("cannot create %1: %2").arg(movedMarkerPath(), errnoText(errno));
        return false;
    }
    ::close(fd);
    return true;
}

bool FileKeychain::movedToSecretService() const
{
    struct stat st { };
    return ::lstat(QFile::encodeName(movedMarkerPath()).constData(), &st) == 0 && S_ISREG(st.st_mode)
        && st.st_uid == geteuid();
}
