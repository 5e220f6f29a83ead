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

ImageDragSourceView::ImageDragSourceView(QWidget* parent) : QWidget(parent)
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
    const QString name = QStringLiteral("Quorvel ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"))
        + QStringLiteral(" ") + QUuid::createUuid().toString(QUuid::Id128).left(6) + QStringLiteral(".png");
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
        return {};
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
        m_dragRunner(*this, rendered->data, rendered->image);
    else
        runSystemDrag(rendered->data, rendered->image);
}

void ImageDragSourceView::mouseReleaseEvent(QMouseEvent*)
{
    if (!m_mouseDownLocation)
        return;
    m_mouseDownLocation.reset();
    if (m_onTap)
        m_onTap();
}

void ImageDragSourceView::runSystemDrag(const QByteArray& png, const QImage& image)
{
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("image/png"), png);
    const QString file = writeDragFile(png);
    if (!file.isEmpty())
        mime->setUrls({QUrl::fromLocalFile(file)});
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    // The picture under the pointer has the handle's size, with the image's aspect ratio kept.
    if (!image.isNull()) {
        const QSize box = size() * 2;
        QPixmap pixmap = QPixmap::fromImage(image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(2);
        drag->setPixmap(pixmap);
        drag->setHotSpot(QPoint(pixmap.width() / 4, pixmap.height() / 4));
    }
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
