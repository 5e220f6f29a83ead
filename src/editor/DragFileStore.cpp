#include "editor/DragFileStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QString cacheBase()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base;
}

// The names write() gives its files: "Quorvel 2024-05-01 09.30.00 1a2b3c.png".
bool isDragFileName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^Quorvel \d{4}-\d{2}-\d{2} \d{2}\.\d{2}\.\d{2} [0-9a-f]{6}\.png$)"));
    return pattern.match(name).hasMatch();
}

// A drag folder: open (-1 when none could be had), its path, and whether it is the one below the
// runtime folder.
struct DragFolder {
    int fd = -1;
    QString path;
    bool runtime = false;
};

// "Quorvel/drag" below `base`, opened step by step without following a link: both steps must be
// real folders of this user, so that nothing is written or deleted in a folder a link points to.
// With create, missing steps are made (readable by the user alone). -1 when a step is missing, a
// link, someone else's or no folder.
int openSteps(int folder, bool create)
{
    for (const char* step : {"Quorvel", "drag"}) {
        if (folder < 0)
            return -1;
        if (create && ::mkdirat(folder, step, 0700) != 0 && errno != EEXIST) {
            ::close(folder);
            return -1;
        }
        const int next = ::openat(folder, step, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(folder);
        folder = next;
        struct stat info { };
        if (folder >= 0 && (::fstat(folder, &info) != 0 || info.st_uid != ::getuid())) {
            ::close(folder);
            return -1;
        }
    }
    return folder;
}

// The drag folder below the cache folder.
DragFolder openCacheDragFolder(bool create)
{
    if (create && !QDir().mkpath(cacheBase()))
        return {};
    const int base = ::open(QFile::encodeName(cacheBase()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return {openSteps(base, create), DragFileStore::cacheFolder()};
}

// The drag folder below $XDG_RUNTIME_DIR, used when the one below the cache folder is a link or
// someone else's. The runtime folder must be this user's alone (0700), as the desktop makes it.
DragFolder openRuntimeDragFolder(bool create)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    int base = ::open(QFile::encodeName(runtime).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info { };
    if (base >= 0 && (::fstat(base, &info) != 0 || info.st_uid != ::getuid() || (info.st_mode & 077) != 0)) {
        ::close(base);
        base = -1;
    }
    return {openSteps(base, create), runtime + QStringLiteral("/Quorvel/drag"), true};
}

DragFolder openDragFolder(bool create)
{
    DragFolder folder = openCacheDragFolder(create);
    return folder.fd >= 0 ? folder : openRuntimeDragFolder(create);
}

DragFolder openFolder(bool runtime, bool create)
{
    return runtime ? openRuntimeDragFolder(create) : openCacheDragFolder(create);
}

// What a file write() wrote was right after writing, to the nanosecond. A file is removed
// only while its name holds exactly that: a file put in its place (which a file system such as
// ext4 may give the very inode of the removed one), or the same file written over, stays.
struct FileIdentity {
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    timespec changed {};
};

FileIdentity identityOf(const struct stat& info)
{
    return {info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Removes `name` from `folder` when it is still the regular file `identity` describes.
void removeIfUnchanged(int folder, const QByteArray& name, const FileIdentity& identity)
{
    struct stat info { };
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
        && info.st_ino == identity.inode && info.st_size == identity.size
        && sameTime(info.st_mtim, identity.modified) && sameTime(info.st_ctim, identity.changed))
        ::unlinkat(folder, name.constData(), 0);
}

// A file write() wrote in this process: its folder, its name, what it was, and when it was
// written.
struct WrittenFile {
    bool runtime;
    QByteArray name;
    FileIdentity identity;
    std::chrono::steady_clock::time_point written;
};
std::vector<WrittenFile> writtenFiles;
DragFileStore::Clock dragClock;

std::chrono::steady_clock::time_point now()
{
    return dragClock ? dragClock() : std::chrono::steady_clock::now();
}

// Each drag folder lists the files written into it, so that a later start (after a process that
// ended without its quit) removes them too, and nothing else: one line per file, its identity's
// numbers and then its name.
constexpr char kRecord[] = ".written";
constexpr char kNewRecord[] = ".written.new";
constexpr qint64 kMostRecordBytes = 1 << 20;

// Writes all of `bytes` to `fd`; 0, or the error that stopped it.
int writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

// The size of the file `fd` was opened on (without blocking, so that a pipe in its place holds
// nothing up), made blocking again; -1 unless it is a regular file of one name: a hard link
// shares its content with a file elsewhere.
off_t plainFileSize(int fd)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1)
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return -1;
    return info.st_size;
}

std::vector<std::pair<QByteArray, FileIdentity>> readRecord(int folder)
{
    std::vector<std::pair<QByteArray, FileIdentity>> files;
    const int fd = ::openat(folder, kRecord, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return files;
    QByteArray text;
    const off_t size = plainFileSize(fd);
    if (size >= 0 && size <= kMostRecordBytes) {
        text.resize(qsizetype(size));
        qsizetype done = 0;
        while (done < text.size()) {
            const ssize_t n = ::read(fd, text.data() + done, size_t(text.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        text.truncate(done);
    }
    ::close(fd);
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 7)
            continue;
        bool ok[6] {};
        FileIdentity identity;
        identity.inode = ino_t(fields[0].toULongLong(&ok[0]));
        identity.size = off_t(fields[1].toLongLong(&ok[1]));
        identity.modified = {time_t(fields[2].toLongLong(&ok[2])), long(fields[3].toLong(&ok[3]))};
        identity.changed = {time_t(fields[4].toLongLong(&ok[4])), long(fields[5].toLong(&ok[5]))};
        const QByteArray name = fields.mid(6).join(' ');
        if (std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; })
            && isDragFileName(QFile::decodeName(name)))
            files.emplace_back(name, identity);
    }
    return files;
}

// Writes the list of the files this process keeps in `folder` (none: the list goes).
void saveRecord(int folder, bool runtime)
{
    QByteArray lines;
    for (const WrittenFile& file : writtenFiles) {
        if (file.runtime != runtime)
            continue;
        const FileIdentity& id = file.identity;
        for (const qlonglong number : {qlonglong(id.inode), qlonglong(id.size), qlonglong(id.modified.tv_sec),
                 qlonglong(id.modified.tv_nsec), qlonglong(id.changed.tv_sec), qlonglong(id.changed.tv_nsec)})
            lines += QByteArray::number(number) + ' ';
        lines += file.name + '\n';
    }
    if (lines.isEmpty()) {
        ::unlinkat(folder, kRecord, 0);
        return;
    }
    // Into a file made here and now: what held the name before (a hard link to another file, a
    // pipe) loses the name only, never its content, and nothing waits for a reader.
    ::unlinkat(folder, kNewRecord, 0);
    const int fd = ::openat(folder, kNewRecord, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const bool written = plainFileSize(fd) >= 0 && writeAll(fd, lines) == 0;
    if (::close(fd) == 0 && written)
        ::renameat(folder, kNewRecord, folder, kRecord);
    else
        ::unlinkat(folder, kNewRecord, 0);
}

// Writes the PNG as a new file in `drag`, readable by the user alone from its first byte on; its
// name, or nothing with the reason in `failure`.
std::optional<WrittenFile> writeInto(const DragFolder& drag, const QByteArray& png, QString* failure)
{
    const int folder = drag.fd;
    // Others lose any access to the folder; the user's own is left as set (a folder made read-only
    // stays so, and the file goes elsewhere).
    struct stat folderInfo { };
    if (::fstat(folder, &folderInfo) == 0 && (folderInfo.st_mode & 077) != 0)
        ::fchmod(folder, folderInfo.st_mode & 0700);
    const QString name = QStringLiteral("Quorvel ")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(" ")
        + QUuid::createUuid().toString(QUuid::Id128).left(6) + QStringLiteral(".png");
    const QByteArray encoded = QFile::encodeName(name);
    // A name that exists is not reused.
    const int fd = ::openat(folder, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    int error = fd >= 0 ? writeAll(fd, png) : errno;
    if (fd >= 0 && ::close(fd) != 0 && !error)
        error = errno;
    // Its identity once closed (a file system may set its times as late as that).
    struct stat info { };
    if (!error && ::fstatat(folder, encoded.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error) {
        if (fd >= 0)
            ::unlinkat(folder, encoded.constData(), 0);
        if (failure)
            *failure = drag.path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        return std::nullopt;
    }
    return WrittenFile {drag.runtime, encoded, identityOf(info), now()};
}

}

void DragFileStore::setClock(Clock clock)
{
    dragClock = std::move(clock);
}

QString DragFileStore::cacheFolder()
{
    return cacheBase() + QStringLiteral("/Quorvel/drag");
}

QString DragFileStore::write(const QByteArray& png, QStringList* failures)
{
    for (const bool runtime : {false, true}) {
        const DragFolder drag = openFolder(runtime, true);
        if (drag.fd < 0)
            continue;
        QString failure;
        const std::optional<WrittenFile> written = writeInto(drag, png, &failure);
        if (written) {
            writtenFiles.push_back(*written);
            saveRecord(drag.fd, runtime);
        } else if (failures) {
            failures->append(failure);
        }
        ::close(drag.fd);
        if (written)
            return drag.path + QLatin1Char('/') + QFile::decodeName(written->name);
    }
    return {};
}

bool DragFileStore::hasFolder()
{
    const DragFolder folder = openDragFolder(true);
    if (folder.fd < 0)
        return false;
    ::close(folder.fd);
    return true;
}

void DragFileStore::removeExpired()
{
    const auto cutoff = now() - keepFilesFor;
    bool changed[2] {};
    std::erase_if(writtenFiles, [&](const WrittenFile& file) {
        if (file.written > cutoff)
            return false;
        const int folder = openFolder(file.runtime, false).fd;
        if (folder >= 0) {
            removeIfUnchanged(folder, file.name, file.identity);
            ::close(folder);
        }
        changed[file.runtime] = true;
        return true;
    });
    for (const bool runtime : {false, true}) {
        const int folder = changed[runtime] ? openFolder(runtime, false).fd : -1;
        if (folder >= 0) {
            saveRecord(folder, runtime);
            ::close(folder);
        }
    }
}

void DragFileStore::clear()
{
    for (const bool runtime : {false, true}) {
        const int folder = openFolder(runtime, false).fd;
        if (folder < 0)
            continue;
        for (const auto& [name, identity] : readRecord(folder))
            removeIfUnchanged(folder, name, identity);
        for (const WrittenFile& file : writtenFiles)
            if (file.runtime == runtime)
                removeIfUnchanged(folder, file.name, file.identity);
        ::unlinkat(folder, kRecord, 0);
        ::close(folder);
    }
    writtenFiles.clear();
}
