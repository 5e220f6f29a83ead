#include "clipboard/PasteTrace.h"

#include "platform/Console.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PasteTrace::PasteTrace(QString path)
    : m_path(std::move(path))
{
}

QString PasteTrace::formatLine(const QDateTime& time, const QString& message)
{
    // One step is one line: control characters (a window name may carry a line break) become blanks,
    // so no name can forge further lines of the trace.
    QString flat = message;
    for (QChar& c : flat)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return QLatin1Char('[') + time.toUTC().toString(Qt::ISODate) + QStringLiteral("] ") + flat;
}

void PasteTrace::log(const QString& message)
{
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    const QString line = formatLine(now, message);
    // Routine steps reach the terminal only when asked for (QUORVEL_TRACE=paste); the file has them all.
    Console::trace(traceTopic, line);
    if (!m_path.isEmpty())
        appendToFile((line + QLatin1Char('\n')).toUtf8());
}

bool PasteTrace::appendToFile(const QByteArray& bytes)
{
    const QByteArray path = QFile::encodeName(m_path);
    int fd = -1;
    do {
        fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;

    auto refuse = [&](const char* why) {
        if (!m_reportedRefusal) {
            m_reportedRefusal = true;
            Console::log(QStringLiteral("PasteTrace: not writing %1: %2").arg(m_path, QString::fromLatin1(why)));
        }
        ::close(fd);
        return false;
    };

    struct stat info { };
    if (::fstat(fd, &info) != 0)
        return refuse("cannot inspect the file");
    if (!S_ISREG(info.st_mode))
        return refuse("not a regular file");
    if (info.st_uid != ::geteuid())
        return refuse("owned by another user");
    // A second name for the file could be a link to one of the user's own files elsewhere.
    if (info.st_nlink != 1)
        return refuse("the file has more than one name");
    if ((info.st_mode & 07777) != 0600)
        ::fchmod(fd, 0600);

    // Start over rather than grow past the limit.
    if (info.st_size + bytes.size() > maxFileSize) {
        if (::ftruncate(fd, 0) != 0) {
            ::close(fd);
            return false;
        }
    }

    const char* data = bytes.constData();
    qint64 left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        data += written;
        left -= written;
    }
    ::close(fd);
    return ok;
}
