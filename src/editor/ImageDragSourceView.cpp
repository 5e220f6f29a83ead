#include "editor/ImageDragSourceView.h"

#include <QDateTime>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <cmath>

namespace {

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
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/Quorvel/drag");
}

void ImageDragSourceView::clearDragCache()
{
    QDir dir(dragCacheFolder());
    if (dir.exists())
        dir.removeRecursively();
}

QString ImageDragSourceView::writeDragFile(const QByteArray& png)
{
    const QString folder = dragCacheFolder();
    if (!QDir().mkpath(folder))
        return {};
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString name = QStringLiteral("Quorvel ")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(" ")
        + QUuid::createUuid().toString(QUuid::Id128).left(6) + QStringLiteral(".png");
    // Readable by the user alone from its first byte on; a name that exists is not reused.
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return {};
    if (file.write(png) != png.size() || !file.flush()) {
        file.remove();
        return {};
    }
    return file.fileName();
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
