#include "history/HistoryEdgeTabPanel.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace {

constexpr qreal fillOpacity = 0.55;
constexpr qreal chevronOpacity = 0.8;
// The desktop the opaque colours are mixed for: a dark wallpaper.
constexpr int darkDesktopGrey = 60;

QPainterPath tabPath(const QRectF& rect, qreal radius)
{
    // Rounded on the left, square on the right where the tab meets the screen edge.
    QPainterPath path;
    path.moveTo(rect.right(), rect.top());
    path.lineTo(rect.left() + radius, rect.top());
    path.arcTo(QRectF(rect.left(), rect.top(), 2 * radius, 2 * radius), 90, 90);
    path.lineTo(rect.left(), rect.bottom() - radius);
    path.arcTo(QRectF(rect.left(), rect.bottom() - 2 * radius, 2 * radius, 2 * radius), 180, 90);
    path.lineTo(rect.right(), rect.bottom());
    path.closeSubpath();
    return path;
}

int over(qreal alpha, int top, int below)
{
    return qRound(alpha * top + (1 - alpha) * below);
}

}

HistoryEdgeTabPanel::HistoryEdgeTabPanel(bool compositing, QWidget* parent)
    : QWidget(parent,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint
            | Qt::WindowDoesNotAcceptFocus)
    , m_margin(compositing ? shadowMargin : 0)
{
    setWindowTitle(QStringLiteral("Quorvel Edge Tab"));
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setAttribute(Qt::WA_TranslucentBackground, compositing);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(tabWidth + m_margin, tabHeight + 2 * m_margin);
    setCursor(Qt::PointingHandCursor);
}

QRegion HistoryEdgeTabPanel::tabRegion() const
{
    return QRegion(tabPath(QRectF(tabRect()), cornerRadius).toFillPolygon().toPolygon());
}

QPoint HistoryEdgeTabPanel::originFor(const QRect& displayFrame) const
{
    return QPoint(displayFrame.x() + displayFrame.width() - width(),
        displayFrame.y() + displayFrame.height() / 2 - tabHeight / 2 - m_margin);
}

QColor HistoryEdgeTabPanel::opaqueFill()
{
    const int grey = over(fillOpacity, 0, darkDesktopGrey);
    return Theme::grey(grey);
}

QColor HistoryEdgeTabPanel::opaqueChevron()
{
    const int grey = over(chevronOpacity, 255, opaqueFill().red());
    return Theme::grey(grey);
}

void HistoryEdgeTabPanel::paintShadow(QPainter& painter) const
{
    // A soft black shadow, a little below the tab: rings of the outline, fainter outwards.
    painter.save();
    painter.setPen(Qt::NoPen);
    const QRectF tab = QRectF(tabRect()).translated(0, 2);
    for (int ring = m_margin; ring >= 1; --ring) {
        const qreal strength = 1.0 - qreal(ring) / (m_margin + 1);
        painter.setBrush(Theme::blackAlpha(qRound(255 * 0.06 * strength)));
        painter.drawPath(tabPath(tab.adjusted(-ring, -ring, 0, ring), cornerRadius + ring));
    }
    painter.restore();
}

void HistoryEdgeTabPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool translucent = testAttribute(Qt::WA_TranslucentBackground);
    if (translucent) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (hasShadow())
            paintShadow(painter);
        // The window's shadow is drawn around the tab: clear it under the translucent tab itself.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillPath(tabPath(QRectF(tabRect()), cornerRadius), Theme::blackAlpha(qRound(fillOpacity * 255)));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        // Opaque and shaped: the window's shape cuts the corners, so the whole window is filled.
        painter.fillRect(rect(), opaqueFill());
    }
    // The "chevron.left" glyph at 11 pixels, semibold: two strokes meeting at the left.
    const QColor chevronColor = translucent ? Theme::whiteAlpha(qRound(chevronOpacity * 255)) : opaqueChevron();
    painter.setPen(QPen(chevronColor, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF centre = QRectF(tabRect()).center();
    const QPointF chevron[] = {centre + QPointF(2.0, -5.0), centre + QPointF(-2.5, 0.0), centre + QPointF(2.0, 5.0)};
    painter.drawPolyline(chevron, 3);
}

void HistoryEdgeTabPanel::enterEvent(QEnterEvent*)
{
    if (m_onHoverChanged)
        m_onHoverChanged(true);
}

void HistoryEdgeTabPanel::leaveEvent(QEvent*)
{
    if (m_onHoverChanged)
        m_onHoverChanged(false);
}
