#include "history/HistoryEdgeTabPanel.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace {
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
}

HistoryEdgeTabPanel::HistoryEdgeTabPanel(QWidget* parent)
    : QWidget(parent,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint
            | Qt::WindowDoesNotAcceptFocus)
{
    setWindowTitle(QStringLiteral("Quorvel Edge Tab"));
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(tabWidth, tabHeight);
    setCursor(Qt::PointingHandCursor);
}

QRegion HistoryEdgeTabPanel::tabRegion()
{
    return QRegion(tabPath(QRectF(0, 0, tabWidth, tabHeight), cornerRadius).toFillPolygon().toPolygon());
}

void HistoryEdgeTabPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillPath(tabPath(QRectF(rect()), cornerRadius), QColor(0, 0, 0, qRound(0.55 * 255)));
    // The "chevron.left" glyph at 11 pixels, semibold: two strokes meeting at the left.
    QPen pen(QColor(255, 255, 255, qRound(0.8 * 255)), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    const QPointF centre(width() / 2.0, height() / 2.0);
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
