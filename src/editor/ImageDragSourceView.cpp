#include "editor/ImageDragSourceView.h"

#include "platform/Console.h"
#include "platform/DesktopNotifier.h"

#include <QDateTime>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

// The names writeDragFile gives its files: "Quorvel 2024-05-01 09.30.00 1a2b3c.png".
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
    return {openSteps(base, create), ImageDragSourceView::dragCacheFolder()};
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

// What a file writeDragFile wrote was right after writing, to the nanosecond. A file is removed
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

// A file writeDragFile wrote in this process: its folder, its name, what it was, and when it was
// written.
struct WrittenFile {
    bool runtime;
    QByteArray name;
    FileIdentity identity;
    std::chrono::steady_clock::time_point written;
};
std::vector<WrittenFile> writtenFiles;
ImageDragSourceView::Clock dragClock;

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

std::vector<std::pair<QByteArray, FileIdentity>> readRecord(int folder)
{
    std::vector<std::pair<QByteArray, FileIdentity>> files;
    const int fd = ::openat(folder, kRecord, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return files;
    QByteArray text;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMostRecordBytes) {
        text.resize(qsizetype(info.st_size));
        const ssize_t n = ::read(fd, text.data(), size_t(text.size()));
        text.truncate(n > 0 ? qsizetype(n) : 0);
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
    const int fd = ::openat(folder, kNewRecord, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const bool written = writeAll(fd, lines) == 0;
    if (::close(fd) == 0 && written)
        ::renameat(folder, kNewRecord, folder, kRecord);
    else
        ::unlinkat(folder, kNewRecord, 0);
}

// Removes the files of earlier drags written longer ago than the keep time: each only when its
// name, in a drag folder reached without a link, still holds the very file written.
void removeExpiredFiles()
{
    const auto cutoff = now() - ImageDragSourceView::keepDragFilesFor;
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

// Writes the PNG into the first drag folder that takes it: the cache's, else the private one
// below the runtime folder. The file's path; or nothing, with the reason of each folder that
// could be opened but took no file in `failures`.
QString writeFile(const QByteArray& png, QStringList* failures)
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

DesktopNotifier* noticeTarget = nullptr;
bool toldNoFile = false;

// No drag folder of our own takes the file of a drag: the drag carries the picture alone, and the
// user hears why once.
void tellNoFile(const QString& line, const QString& body)
{
    if (std::exchange(toldNoFile, true))
        return;
    Console::log(QStringLiteral("ImageDragSourceView: ") + line + QStringLiteral(": dragged images carry no file"));
    if (noticeTarget)
        noticeTarget->notify(ImageDragSourceView::noFileSummary, body);
}

void tellNoFolder()
{
    const QString folder = ImageDragSourceView::dragCacheFolder();
    tellNoFile(QStringLiteral("%1 is a link, someone else's or cannot be made, and no private runtime folder exists")
                   .arg(folder),
        ImageDragSourceView::noFileBody.arg(folder));
}

// The PNG as a file of a drag folder, its path; empty, and the user told, when no folder takes it.
QString writeFileOrTell(const QByteArray& png)
{
    QStringList failures;
    const QString file = writeFile(png, &failures);
    if (!file.isEmpty())
        return file;
    const QString reasons = failures.join(QStringLiteral("; "));
    if (failures.isEmpty())
        tellNoFolder();
    else
        tellNoFile(QStringLiteral("no drag folder takes the file (%1)").arg(reasons),
            ImageDragSourceView::noFileWriteBody.arg(ImageDragSourceView::dragCacheFolder(), reasons));
    return {};
}

// The drag's data, handed out when a drop target asks for it: the PNG and a file URL of it.
// The file outlives the data: receivers copy it after the drop, when Qt may have let the data go.
class LazyPngMimeData : public QMimeData {
public:
    LazyPngMimeData(std::shared_future<std::optional<QByteArray>> png, bool offersFile, QString file = {})
        : m_png(std::move(png))
        , m_offersFile(offersFile)
        , m_file(std::move(file))
    {
    }

    QStringList formats() const override
    {
        if (!m_offersFile)
            return {QStringLiteral("image/png")};
        return {QStringLiteral("image/png"), QStringLiteral("text/uri-list")};
    }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override
    {
        const std::optional<QByteArray>& png = m_png.get();
        if (!png)
            return {};
        if (mimeType == QLatin1String("image/png"))
            return *png;
        if (mimeType == QLatin1String("text/uri-list") && m_offersFile) {
            if (m_file.isEmpty() && !std::exchange(m_writeTried, true))
                m_file = writeFileOrTell(*png);
            if (m_file.isEmpty())
                return {};
            return QVariant(QList<QVariant> {QUrl::fromLocalFile(m_file)});
        }
        return {};
    }

private:
    std::shared_future<std::optional<QByteArray>> m_png;
    bool m_offersFile;
    mutable QString m_file;
    mutable bool m_writeTried = false;
};

}

ImageDragSourceView::Rendered ImageDragSourceView::Rendered::ready(QByteArray png, QImage image)
{
    std::promise<std::optional<QByteArray>> promise;
    promise.set_value(std::move(png));
    return {promise.get_future().share(), std::move(image)};
}

const QString ImageDragSourceView::noFileSummary = QStringLiteral("Bild ohne Datei gezogen");
const QString ImageDragSourceView::noFileBody = QStringLiteral(
    "Ziele, die nur Dateien annehmen, bekommen nichts: %1 ist ein Link, gehört einem anderen Benutzer oder "
    "kann nicht angelegt werden, und es gibt keinen privaten Ersatzordner.");

const QString ImageDragSourceView::noFileWriteBody = QStringLiteral(
    "Ziele, die nur Dateien annehmen, bekommen nichts: Weder %1 noch ein privater Ersatzordner nimmt die Datei an "
    "(%2).");

void ImageDragSourceView::setNoticeTarget(DesktopNotifier* notifier)
{
    noticeTarget = notifier;
    toldNoFile = false;
}

void ImageDragSourceView::setClock(Clock clock)
{
    dragClock = std::move(clock);
}

QMimeData* ImageDragSourceView::makeMimeData(const Rendered& rendered)
{
    removeExpiredFiles();
    // A PNG at hand is written at once, so that the drag offers a file only when there is one; a
    // PNG still being made is written when a drop target first asks for the file.
    if (rendered.data.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const std::optional<QByteArray>& png = rendered.data.get();
        QString file = png ? writeFileOrTell(*png) : QString();
        const bool offersFile = !file.isEmpty();
        return new LazyPngMimeData(rendered.data, offersFile, std::move(file));
    }
    const DragFolder folder = openDragFolder(true);
    if (folder.fd >= 0)
        ::close(folder.fd);
    else
        tellNoFolder();
    return new LazyPngMimeData(rendered.data, folder.fd >= 0);
}

ImageDragSourceView::ImageDragSourceView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
}

QString ImageDragSourceView::dragCacheFolder()
{
    return cacheBase() + QStringLiteral("/Quorvel/drag");
}

void ImageDragSourceView::clearDragCache()
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

QString ImageDragSourceView::writeDragFile(const QByteArray& png)
{
    return writeFile(png, nullptr);
}

void ImageDragSourceView::mousePressEvent(QMouseEvent* event)
{
    m_mouseDownLocation = event->position().toPoint();
    m_renderFailedThisPress = false;
    event->accept();
}

void ImageDragSourceView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_mouseDownLocation)
        return;
    const QPointF d = event->position() - QPointF(*m_mouseDownLocation);
    if (std::hypot(d.x(), d.y()) <= dragThreshold || !m_renderImage || m_renderFailedThisPress)
        return;
    const std::optional<Rendered> rendered = m_renderImage();
    if (!rendered) {
        m_renderFailedThisPress = true;
        return;
    }
    m_mouseDownLocation.reset();
    if (m_dragRunner)
        m_dragRunner(*this, *rendered);
    else
        runSystemDrag(*rendered);
}

void ImageDragSourceView::mouseReleaseEvent(QMouseEvent*)
{
    if (!m_mouseDownLocation)
        return;
    m_mouseDownLocation.reset();
    if (m_onTap)
        m_onTap();
}

void ImageDragSourceView::runSystemDrag(const Rendered& rendered)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(makeMimeData(rendered));
    // The picture under the pointer has the handle's size, with the image's aspect ratio kept.
    if (!rendered.image.isNull()) {
        const QSize box = size() * 2;
        QPixmap pixmap = QPixmap::fromImage(rendered.image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(2);
        drag->setPixmap(pixmap);
        drag->setHotSpot(QPoint(pixmap.width() / 4, pixmap.height() / 4));
    }
    // The drag is not deleted here. exec() returns as soon as the drop was sent, and the target
    // of another program asks for the data only after that; Qt keeps the drag, and with it the
    // data, until the target says it has finished (on X11 the drag belongs to Qt's drag manager,
    // elsewhere the manager deletes it when exec() returns). The file written for the drop stays
    // after that, for targets that copy it later.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
