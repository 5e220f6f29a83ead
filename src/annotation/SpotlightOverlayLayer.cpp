#include "annotation/SpotlightOverlayLayer.h"

#include "annotation/StrokeRenderer.h"

#include <QPainter>
#include <QPainterPath>

void SpotlightOverlayLayer::paint(QPainter& painter) const
{
    QPainterPath spots;
    spots.setFillRule(Qt::WindingFill);
    bool anySpot = false;
    for (const PaintStroke& stroke : strokes) {
        if (stroke.tool.effect() != ToolEffect::spotlight)
            continue;
        anySpot = true;
        if (const std::optional<QRectF> rect = StrokeRenderer::strokeRect(stroke, canvasSize); rect && !rect->isEmpty())
            spots.addRect(*rect);
    }
    if (!anySpot)
        return;
    QPainterPath veil;
    veil.addRect(QRectF(QPointF(0, 0), canvasSize));
    if (!spots.isEmpty())
        veil = veil.subtracted(spots.simplified());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(veil, QColor::fromRgbF(0, 0, 0, 0.55f));
    painter.restore();
}
