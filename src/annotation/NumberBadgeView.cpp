#include "annotation/NumberBadgeView.h"

#include "annotation/StrokeRenderer.h"

#include <QPainter>

void NumberBadgeView::paint(QPainter& painter, const QPointF& centre) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const double radius = size / 2;
    painter.drawEllipse(centre, radius, radius);
    painter.setFont(StrokeRenderer::canvasFont(painter, size * 0.5, QFont::Bold));
    painter.setPen(Qt::white);
    // A box wider than any number, centred on the disc, so that long numbers are not clipped.
    const QRectF box(centre.x() - 4 * size, centre.y() - size, 8 * size, 2 * size);
    painter.drawText(box, Qt::AlignCenter | Qt::TextDontClip, QString::number(number));
    painter.restore();
}
