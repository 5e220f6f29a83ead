#include "capture/AreaSelectionView.h"

#include "capture/CaptureOverlayWindowManager.h"
#include "platform/HotkeyRegistrar.h"
#include "ui/Theme.h"

#include <QFontMetricsF>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

const QColor dimming(0, 0, 0, int(0.35 * 255));
const QColor badge(0, 0, 0, int(0.75 * 255));

QFont overlayFont(int pixelSize, QFont::Weight weight)
{
    QFont font = Theme::labelFont(pixelSize, weight);
    font.setPixelSize(pixelSize);
    return font;
}

QFont readoutFont()
{
    // Digits of equal width, so the read-out does not jitter while it changes.
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    font.setWeight(QFont::Medium);
    return font;
}

}

AreaSelectionView::AreaSelectionView(
    CaptureOverlayWindowManager* manager, CaptureSelection& selection, CaptureScreen screen, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_selection(selection)
    , m_screen(std::move(screen))
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

void AreaSelectionView::setScreen(CaptureScreen screen)
{
    m_screen = std::move(screen);
    m_decorated = QRegion();
}

CapturePoint AreaSelectionView::globalPoint(const QPointF& local) const
{
    const CaptureRect g = CaptureScreens::globalFromLocal(m_screen, {local.x(), local.y(), 0, 0});
    return {g.x, g.y};
}

QRectF AreaSelectionView::viewRect(const CaptureRect& global) const
{
    // Not cut to this monitor: a rectangle across monitors is drawn in one piece, each view
    // showing its part (no outline along the seam, one hint and countdown in the middle).
    const CaptureRect local = CaptureScreens::localFromGlobal(m_screen, global);
    return QRectF(local.x, local.y, local.width, local.height);
}

void AreaSelectionView::stateChanged()
{
    const QRegion now = decoratedRegion();
    update(m_decorated.united(now));
    m_decorated = now;
}

QRegion AreaSelectionView::decoratedRegion() const
{
    if (!m_manager)
        return QRegion(rect());
    const CaptureSelection& selection = m_selection;
    QRegion region;
    if (const std::optional<CaptureRect> shown = selection.shownRect()) {
        const QRectF v = viewRect(*shown);
        if (!v.isEmpty()) {
            // The cut-out, its outline and grips, the hint above it, the countdown inside it.
            region += v.toAlignedRect().adjusted(-8, -8, 8, 8);
            region += QRect(int(v.center().x()) - 150, int(v.top()) - 60, 300, 100);
            region += QRect(int(v.center().x()) - 110, int(v.center().y()) - 110, 220, 220);
        }
    }
    if (selection.paradigm() == SelectionParadigm::marquee && selection.cursorGlobalPosition()) {
        const CapturePoint g = *selection.cursorGlobalPosition();
        const QPoint p(int(g.x - m_screen.frame.minX()), int(m_screen.frame.maxY() - g.y));
        // The crosshair's lines, and the read-out and loupe beside the pointer on any side.
        region += QRect(p.x() - 2, 0, 5, height());
        region += QRect(0, p.y() - 2, width(), 5);
        const int reach = 30 + int(loupeSize) + 8;
        region += QRect(p.x() - reach, p.y() - reach, 2 * reach, 2 * reach);
    }
    return region.intersected(rect());
}

void AreaSelectionView::mousePressEvent(QMouseEvent* event)
{
    if (m_manager && m_selection.paradigm() == SelectionParadigm::marquee && event->button() == Qt::LeftButton)
        m_selection.marqueeMouseDown(globalPoint(event->position()));
}

void AreaSelectionView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_manager)
        return;
    const CapturePoint p = globalPoint(event->position());
    if (event->buttons() & Qt::LeftButton) {
        if (m_selection.paradigm() == SelectionParadigm::marquee)
            m_selection.dragChanged(p);
        return;
    }
    m_selection.mouseMoved(p);
}

void AreaSelectionView::enterEvent(QEnterEvent* event)
{
    // Back from the tool bar or another window: aim again at once, not only at the next move.
    // (Window picking follows motion only: an enter can carry where the pointer was a moment ago.)
    if (m_manager && m_selection.paradigm() == SelectionParadigm::marquee && !(event->buttons() & Qt::LeftButton))
        m_selection.mouseMoved(globalPoint(event->position()));
    QWidget::enterEvent(event);
}

void AreaSelectionView::leaveEvent(QEvent* event)
{
    if (m_manager)
        m_selection.pointerLeft(m_screen.frame);
    QWidget::leaveEvent(event);
}

void AreaSelectionView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_manager || event->button() != Qt::LeftButton)
        return;
    if (m_selection.paradigm() == SelectionParadigm::windowPick) {
        // The window under the click, whether or not the pointer moved since the overlay came
        // up: a click at the very point of the last capture's click brings no move before it.
        m_selection.mouseMoved(globalPoint(event->position()));
        m_selection.clickForWindowPick();
    }
    else
        m_selection.dragEnded();
}

void AreaSelectionView::keyPressEvent(QKeyEvent* event)
{
    if (!m_manager) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_selection.confirmSelection();
        break;
    case Qt::Key_Escape:
        m_selection.escapePressed();
        break;
    default:
        // While the overlay holds the keyboard the global shortcuts arrive here: a capture
        // shortcut pressed now starts its capture (which replaces this one).
        if (!event->isAutoRepeat()
            && m_manager->hotkeys().dispatchKeyPress(event->nativeScanCode(), event->nativeModifiers()))
            return;
        QWidget::keyPressEvent(event);
    }
}

void AreaSelectionView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_manager) {
        painter.fillRect(rect(), dimming);
        return;
    }
    const CaptureSelection& selection = m_selection;
    const std::optional<CaptureRect> shown = selection.shownRect();
    const QRectF v = shown ? viewRect(*shown) : QRectF();
    // The screen as it was at the begin, dimmed but for the selection, so the look needs no
    // compositor: one copy of the snapshot and a blended fill of the parts around the selection
    // (plain rectangles, no path, no antialiasing: the fast paths of the raster engine).
    const QImage backdrop = m_manager->backdropsByDisplayID().value(m_screen.displayID);
    if (!backdrop.isNull()) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRectF(rect()), backdrop);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    const QRect cut = v.toAlignedRect().intersected(rect());
    if (cut.isEmpty()) {
        painter.fillRect(rect(), dimming);
    } else {
        painter.fillRect(QRect(0, 0, width(), cut.top()), dimming);
        painter.fillRect(QRect(0, cut.bottom() + 1, width(), height() - cut.bottom() - 1), dimming);
        painter.fillRect(QRect(0, cut.top(), cut.left(), cut.height()), dimming);
        painter.fillRect(QRect(cut.right() + 1, cut.top(), width() - cut.right() - 1, cut.height()), dimming);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!v.isEmpty()) {
        painter.setPen(QPen(Theme::text(), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(v);
        const bool windowPick = selection.paradigm() == SelectionParadigm::windowPick;
        if (windowPick && selection.phase() == SelectionPhase::selecting)
            drawWindowHint(painter, v);
        if (!windowPick && selection.phase() == SelectionPhase::reviewing)
            drawHandles(painter, v);
        if (selection.countdownRemaining())
            drawCountdown(painter, v, *selection.countdownRemaining());
    }
    if (selection.paradigm() == SelectionParadigm::marquee && !selection.countdownRemaining())
        drawAim(painter);
    m_manager->noteViewPainted(this);
}

void AreaSelectionView::drawHandles(QPainter& painter, const QRectF& v) const
{
    const QPointF centres[] = {v.topLeft(), QPointF(v.center().x(), v.top()), v.topRight(),
        QPointF(v.right(), v.center().y()), v.bottomRight(), QPointF(v.center().x(), v.bottom()), v.bottomLeft(),
        QPointF(v.left(), v.center().y())};
    painter.setPen(QPen(Theme::blackAlpha(int(0.3 * 255)), 1));
    painter.setBrush(Theme::text());
    for (const QPointF& c : centres)
        painter.drawRoundedRect(QRectF(c.x() - 4, c.y() - 4, 8, 8), 2, 2);
}

void AreaSelectionView::drawCountdown(QPainter& painter, const QRectF& v, int number) const
{
    const QString text = QString::number(number);
    const QFont font = overlayFont(64, QFont::Bold);
    const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    const double diameter = std::max(size.width(), size.height()) + 48;
    const QPointF c = v.center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(badge);
    painter.drawEllipse(c, diameter / 2, diameter / 2);
    painter.setFont(font);
    painter.setPen(Theme::text());
    painter.drawText(QRectF(c.x() - size.width() / 2, c.y() - size.height() / 2, size.width(), size.height()),
        Qt::AlignCenter, text);
}

void AreaSelectionView::drawWindowHint(QPainter& painter, const QRectF& v) const
{
    const QString text = QStringLiteral("Klicken zum Erfassen");
    const QFont font = overlayFont(12, QFont::Medium);
    const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    const QSizeF pill(size.width() + 16, size.height() + 10);
    // Above the window; inside its top edge when the screen ends there.
    double top = v.top() - 10 - pill.height();
    if (top < 0)
        top = v.top() + 10;
    const QRectF box(v.center().x() - pill.width() / 2, top, pill.width(), pill.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(badge);
    painter.drawRoundedRect(box, 5, 5);
    painter.setFont(font);
    painter.setPen(Theme::text());
    painter.drawText(box.adjusted(8, 5, -8, -5), Qt::AlignCenter, text);
}

void AreaSelectionView::drawAim(QPainter& painter) const
{
    const CaptureSelection& selection = m_selection;
    if (!selection.cursorGlobalPosition())
        return;
    const CapturePoint g = *selection.cursorGlobalPosition();
    const QPointF p(g.x - m_screen.frame.minX(), m_screen.frame.maxY() - g.y);
    if (!QRectF(rect()).contains(p))
        return;
    const double s = m_screen.scale;
    painter.setPen(QPen(Theme::whiteAlpha(int(0.6 * 255)), 0.5));
    painter.drawLine(QPointF(p.x(), 0), QPointF(p.x(), height()));
    painter.drawLine(QPointF(0, p.y()), QPointF(width(), p.y()));

    QString text;
    const std::optional<CaptureRect>& marquee = selection.globalMarqueeRect();
    if (marquee && (marquee->width > 1 || marquee->height > 1))
        text = QStringLiteral("%1 \u00d7 %2").arg(qint64(marquee->width * s)).arg(qint64(marquee->height * s));
    else
        text = QStringLiteral("%1, %2").arg(qint64(p.x() * s)).arg(qint64(p.y() * s));
    const QFont font = readoutFont();
    const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    const QSizeF box(size.width() + 12, size.height() + 6);
    double x = p.x() + 14;
    if (width() < p.x() + 14 + box.width())
        x = p.x() - 14 - box.width();
    double y = p.y() - 14 - box.height();
    if (y < 0)
        y = p.y() + 14;
    painter.setPen(Qt::NoPen);
    painter.setBrush(badge);
    painter.drawRoundedRect(QRectF(QPointF(x, y), box), 4, 4);
    painter.setFont(font);
    painter.setPen(Theme::text());
    painter.drawText(QRectF(x + 6, y + 3, size.width(), size.height()), Qt::AlignLeft | Qt::AlignVCenter, text);

    drawLoupe(painter, p, s);
}

QImage AreaSelectionView::dimmed(const QImage& screen)
{
    QImage image = screen.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), dimming);
    return image;
}

QImage AreaSelectionView::loupePatch(const QImage& snapshot, int px, int py)
{
    QImage patch(loupePixels, loupePixels, QImage::Format_ARGB32_Premultiplied);
    patch.fill(Qt::transparent);
    const int half = loupePixels / 2;
    const QRect source = QRect(px - half, py - half, loupePixels, loupePixels).intersected(snapshot.rect());
    if (source.isEmpty())
        return {};
    QPainter painter(&patch);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(source.topLeft() - QPoint(px - half, py - half), snapshot, source);
    return patch;
}

void AreaSelectionView::drawLoupe(QPainter& painter, QPointF p, double scale) const
{
    const QImage snapshot = m_manager->loupeSnapshotsByDisplayID().value(m_screen.displayID);
    if (snapshot.isNull())
        return;
    const QImage patch = loupePatch(snapshot, int(p.x() * scale), int(p.y() * scale));
    if (patch.isNull())
        return;
    double x = p.x() + 30;
    if (width() < p.x() + 30 + loupeSize)
        x = p.x() - 30 - loupeSize;
    double y = p.y() - 30 - loupeSize;
    if (y < 0)
        y = p.y() + 30;
    const QRectF square(x, y, loupeSize, loupeSize);
    QPainterPath clip;
    clip.addRoundedRect(square, 8, 8);
    painter.save();
    painter.setClipPath(clip);
    painter.fillRect(square, Theme::blackAlpha(255));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(square, patch);
    painter.setPen(QPen(Theme::whiteAlpha(int(0.8 * 255)), 0.5));
    painter.drawLine(QPointF(square.left(), square.center().y()), QPointF(square.right(), square.center().y()));
    painter.drawLine(QPointF(square.center().x(), square.top()), QPointF(square.center().x(), square.bottom()));
    painter.restore();
    painter.setPen(QPen(Theme::whiteAlpha(int(0.9 * 255)), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(square, 8, 8);
}
