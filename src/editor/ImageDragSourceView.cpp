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
#include <cerrno>
#include <cmath>
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

// Deletes the files writeDragFile wrote in `folder` (closed here): regular files of its names
// only, no folder, no link, no file of another name.
void clearFolder(int folder)
{
    if (folder < 0)
        return;
    DIR* entries = ::fdopendir(folder);
    if (!entries) {
        ::close(folder);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        struct stat info { };
        if (isDragFileName(QFile::decodeName(entry->d_name))
            && ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// A file writeDragFile wrote in this process: its folder, its name, which file it is (so that
// another file put in its place is never taken for it), and when it was written.
struct WrittenFile {
    bool runtime;
    QByteArray name;
    dev_t device;
    ino_t inode;
    std::chrono::steady_clock::time_point written;
};
std::vector<WrittenFile> writtenFiles;
ImageDragSourceView::Clock dragClock;

std::chrono::steady_clock::time_point now()
{
    return dragClock ? dragClock() : std::chrono::steady_clock::now();
}

// Removes the files of earlier drags written longer ago than the keep time: each only when its
// name, in a drag folder reached without a link, still holds the very file written.
void removeExpiredFiles()
{
    const auto cutoff = now() - ImageDragSourceView::keepDragFilesFor;
    std::erase_if(writtenFiles, [&](const WrittenFile& file) {
        if (file.written > cutoff)
            return false;
        const int folder = (file.runtime ? openRuntimeDragFolder(false) : openCacheDragFolder(false)).fd;
        struct stat info { };
        if (folder >= 0 && ::fstatat(folder, file.name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode) && info.st_dev == file.device && info.st_ino == file.inode)
            ::unlinkat(folder, file.name.constData(), 0);
        if (folder >= 0)
            ::close(folder);
        return true;
    });
}

DesktopNotifier* noticeTarget = nullptr;
bool toldNoFileLink = false;

// No folder of our own for the file of a drag: the drag carries the picture alone, and the user
// hears why once.
void tellNoFileLink()
{
    if (std::exchange(toldNoFileLink, true))
        return;
    const QString folder = ImageDragSourceView::dragCacheFolder();
    Console::log(QStringLiteral("ImageDragSourceView: %1 is a link, someone else's or cannot be made, and no "
                                "private runtime folder exists: dragged images carry no file")
                     .arg(folder));
    if (noticeTarget)
        noticeTarget->notify(ImageDragSourceView::noFileSummary, ImageDragSourceView::noFileBody.arg(folder));
}

// The drag's data, handed out when a drop target asks for it: the PNG and a file URL of it.
// The file outlives the data: receivers copy it after the drop, when Qt may have let the data go.
class LazyPngMimeData : public QMimeData {
public:
    LazyPngMimeData(std::shared_future<std::optional<QByteArray>> png, bool offersFile)
        : m_png(std::move(png))
        , m_offersFile(offersFile)
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
            if (m_file.isEmpty())
                m_file = ImageDragSourceView::writeDragFile(*png);
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

void ImageDragSourceView::setNoticeTarget(DesktopNotifier* notifier)
{
    noticeTarget = notifier;
    toldNoFileLink = false;
}

void ImageDragSourceView::setClock(Clock clock)
{
    dragClock = std::move(clock);
}

QMimeData* ImageDragSourceView::makeMimeData(const Rendered& rendered)
{
    removeExpiredFiles();
    const DragFolder folder = openDragFolder(true);
    if (folder.fd >= 0)
        ::close(folder.fd);
    else
        tellNoFileLink();
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
    clearFolder(openCacheDragFolder(false).fd);
    clearFolder(openRuntimeDragFolder(false).fd);
    writtenFiles.clear();
}

QString ImageDragSourceView::writeDragFile(const QByteArray& png)
{
    const DragFolder drag = openDragFolder(true);
    const int folder = drag.fd;
    if (folder < 0)
        return {};
    ::fchmod(folder, 0700);
    const QString name = QStringLiteral("Quorvel ")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(" ")
        + QUuid::createUuid().toString(QUuid::Id128).left(6) + QStringLiteral(".png");
    const QByteArray encoded = QFile::encodeName(name);
    // Readable by the user alone from its first byte on; a name that exists is not reused.
    const int fd = ::openat(folder, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0;
    for (qsizetype done = 0; written && done < png.size();) {
        const ssize_t n = ::write(fd, png.constData() + done, size_t(png.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += n > 0 ? n : 0;
    }
    struct stat info { };
    written = written && ::fstat(fd, &info) == 0;
    if (fd >= 0 && ::close(fd) != 0)
        written = false;
    if (!written && fd >= 0)
        ::unlinkat(folder, encoded.constData(), 0);
    if (written)
        writtenFiles.push_back({drag.runtime, encoded, info.st_dev, info.st_ino, now()});
    ::close(folder);
    return written ? drag.path + QLatin1Char('/') + name : QString();
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
