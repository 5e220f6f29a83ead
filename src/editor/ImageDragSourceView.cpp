#include "editor/ImageDragSourceView.h"

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

// The drag folder, opened step by step below the cache folder without following a link: "Quorvel"
// and "drag" must be real folders of this user, so that nothing is written or deleted in a folder
// a link points to. With create, missing steps are made (readable by the user alone). -1 when a
// step is missing, a link, someone else's or no folder.
int openDragFolder(bool create)
{
    if (create && !QDir().mkpath(cacheBase()))
        return -1;
    int folder = ::open(QFile::encodeName(cacheBase()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

// The drag's data, handed out when a drop target asks for it: the PNG and a file URL of it.
// The file lives as long as the drag's data: it goes when the drag ends.
class LazyPngMimeData : public QMimeData {
public:
    explicit LazyPngMimeData(std::shared_future<std::optional<QByteArray>> png)
        : m_png(std::move(png))
    {
    }

    ~LazyPngMimeData() override
    {
        if (!m_file.isEmpty())
            QFile::remove(m_file);
    }

    QStringList formats() const override { return {QStringLiteral("image/png"), QStringLiteral("text/uri-list")}; }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override
    {
        const std::optional<QByteArray>& png = m_png.get();
        if (!png)
            return {};
        if (mimeType == QLatin1String("image/png"))
            return *png;
        if (mimeType == QLatin1String("text/uri-list")) {
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
    mutable QString m_file;
};

}

ImageDragSourceView::Rendered ImageDragSourceView::Rendered::ready(QByteArray png, QImage image)
{
    std::promise<std::optional<QByteArray>> promise;
    promise.set_value(std::move(png));
    return {promise.get_future().share(), std::move(image)};
}

QMimeData* ImageDragSourceView::makeMimeData(const Rendered& rendered)
{
    return new LazyPngMimeData(rendered.data);
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
    const int folder = openDragFolder(false);
    if (folder < 0)
        return;
    DIR* entries = ::fdopendir(folder);
    if (!entries) {
        ::close(folder);
        return;
    }
    // Only the files this program writes there: no folder, no link, no file of another name.
    while (const dirent* entry = ::readdir(entries)) {
        struct stat info { };
        if (isDragFileName(QFile::decodeName(entry->d_name))
            && ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

QString ImageDragSourceView::writeDragFile(const QByteArray& png)
{
    const int folder = openDragFolder(true);
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
    if (fd >= 0 && ::close(fd) != 0)
        written = false;
    if (!written && fd >= 0)
        ::unlinkat(folder, encoded.constData(), 0);
    ::close(folder);
    return written ? dragCacheFolder() + QLatin1Char('/') + name : QString();
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
    // data and the file written for the drop, until the target says it has finished (on X11 the
    // drag belongs to Qt's drag manager, elsewhere the manager deletes it when exec() returns).
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
