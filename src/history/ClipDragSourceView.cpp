#include "history/ClipDragSourceView.h"

#include "clipboard/PasteService.h"
#include "platform/Dispatch.h"
#include "platform/Pasteboard.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDateTime>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QStyleHints>
#include <QtMath>

namespace {
ClipDragSourceView::DragRunner& dragRunner()
{
    static ClipDragSourceView::DragRunner runner;
    return runner;
}

constexpr char ownDragProperty[] = "quorvelClipDrag";

// Sees every drag event of the application before its target: one carrying our own clip is
// refused, so its drop lands nowhere inside the program.
class OwnDropGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (ClipDragSourceView::isOwnDrag(static_cast<QDropEvent*>(event)->mimeData())) {
                static_cast<QDropEvent*>(event)->setDropAction(Qt::IgnoreAction);
                event->ignore();
                return true;
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};
}

bool ClipDragSourceView::isOwnDrag(const QMimeData* mime)
{
    return mime && mime->property(ownDragProperty).toBool();
}

void ClipDragSourceView::refuseOwnDrops()
{
    static QPointer<OwnDropGuard> guard;
    if (guard || !qApp)
        return;
    guard = new OwnDropGuard(qApp);
    qApp->installEventFilter(guard);
}

void ClipDragSourceView::setDragRunner(DragRunner runner)
{
    dragRunner() = std::move(runner);
}

ClipDragSourceView::ClipDragSourceView(Pasteboard* pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_pasteboard(pasteboard)
    , m_doubleClickInterval(QGuiApplication::styleHints()->mouseDoubleClickInterval())
{
    setAttribute(Qt::WA_NoSystemBackground);
}

QMimeData* ClipDragSourceView::makeMimeData(const ClipItemPtr& item, const Pasteboard* pasteboard)
{
    refuseOwnDrops();
    auto* mime = new QMimeData;
    mime->setProperty(ownDragProperty, true);
    if (!item)
        return mime;
    // Every representation, in the formats the desktop's pasteboard gives them for a drag.
    const QList<Pasteboard::Item> items = PasteService::makeDragPasteboardItem(item);
    const QList<Pasteboard::Item> formats = pasteboard ? pasteboard->dragFormats(items) : items;
    for (const Pasteboard::Item& format : formats)
        if (!mime->hasFormat(format.type))
            mime->setData(format.type, format.data);
    return mime;
}

QPixmap ClipDragSourceView::dragImage(QSize size, qreal ratio)
{
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), 8, 8);
    painter.fillPath(path, Theme::blackAlpha(qRound(255 * 0.6)));
    return pixmap;
}

void ClipDragSourceView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    press(event->position().toPoint());
    event->accept();
}

void ClipDragSourceView::press(QPoint location)
{
    // A new press cancels a single click still waiting for a second one.
    if (m_pendingSingleTap) {
        m_pendingSingleTap->cancel();
        m_pendingSingleTap.reset();
    }
    m_mouseDownLocation = location;
}

void ClipDragSourceView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt reports the second press of a double click here; it is a press like any other.
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    press(event->position().toPoint());
    event->accept();
}

void ClipDragSourceView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_mouseDownLocation || !m_clipItem)
        return;
    const QPointF delta = event->position() - QPointF(*m_mouseDownLocation);
    if (qSqrt(delta.x() * delta.x() + delta.y() * delta.y()) <= dragThreshold)
        return;
    m_mouseDownLocation.reset();
    startDrag();
}

void ClipDragSourceView::startDrag()
{
    QMimeData* mime = makeMimeData(m_clipItem, m_pasteboard);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(dragImage(size(), devicePixelRatioF()));
    drag->setHotSpot(mapFromGlobal(QCursor::pos()));
    if (dragRunner()) {
        dragRunner()(*drag);
        drag->deleteLater();
        return;
    }
    // Copy only; the program's own windows refuse it (refuseOwnDrops), other programs take it.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void ClipDragSourceView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (!m_mouseDownLocation)
        return;
    m_mouseDownLocation.reset();
    // Count clicks ourselves: the release after a double-click press is the second click.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_clickCount = (m_lastReleaseMs >= 0 && now - m_lastReleaseMs <= m_doubleClickInterval) ? m_clickCount + 1 : 1;
    m_lastReleaseMs = now;
    handleRelease(m_clickCount);
}

void ClipDragSourceView::handleRelease(int clickCount)
{
    if (!m_onDoubleTap) {
        if (m_onTap)
            m_onTap();
        return;
    }
    if (clickCount < 2) {
        QPointer<ClipDragSourceView> self(this);
        m_pendingSingleTap = std::make_shared<DispatchWorkItem>([self] {
            if (!self)
                return;
            self->m_clickCount = 0;
            if (self->m_onTap)
                self->m_onTap();
        });
        DispatchQueue::main().asyncAfter(std::chrono::milliseconds(m_doubleClickInterval), m_pendingSingleTap);
        return;
    }
    if (m_pendingSingleTap) {
        m_pendingSingleTap->cancel();
        m_pendingSingleTap.reset();
    }
    if (m_onDoubleTap)
        m_onDoubleTap();
}
