#include "editor/ImageDragSourceView.h"

#include "editor/DragFileStore.h"
#include "platform/Console.h"
#include "platform/DesktopNotifier.h"

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <cmath>
#include <utility>

namespace {

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
    const QString folder = DragFileStore::cacheFolder();
    tellNoFile(QStringLiteral("%1 is a link, someone else's or cannot be made, and no private runtime folder exists")
                   .arg(folder),
        ImageDragSourceView::noFileBody.arg(folder));
}

// The PNG as a file of a drag folder, its path; empty, and the user told, when no folder takes it.
QString writeFileOrTell(const QByteArray& png)
{
    QStringList failures;
    const QString file = DragFileStore::write(png, &failures);
    if (!file.isEmpty())
        return file;
    const QString reasons = failures.join(QStringLiteral("; "));
    if (failures.isEmpty())
        tellNoFolder();
    else
        tellNoFile(QStringLiteral("no drag folder takes the file (%1)").arg(reasons),
            ImageDragSourceView::noFileWriteBody.arg(DragFileStore::cacheFolder(), reasons));
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

QMimeData* ImageDragSourceView::makeMimeData(const Rendered& rendered)
{
    DragFileStore::removeExpired();
    // A PNG at hand is written at once, so that the drag offers a file only when there is one; a
    // PNG still being made is written when a drop target first asks for the file.
    if (rendered.data.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const std::optional<QByteArray>& png = rendered.data.get();
        QString file = png ? writeFileOrTell(*png) : QString();
        const bool offersFile = !file.isEmpty();
        return new LazyPngMimeData(rendered.data, offersFile, std::move(file));
    }
    const bool hasFolder = DragFileStore::hasFolder();
    if (!hasFolder)
        tellNoFolder();
    return new LazyPngMimeData(rendered.data, hasFolder);
}

ImageDragSourceView::ImageDragSourceView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
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
