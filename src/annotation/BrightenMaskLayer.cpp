#include "annotation/BrightenMaskLayer.h"

#include "annotation/StrokeRenderer.h"

#include <QPainter>
#include <QPainterPath>

void BrightenMaskLayer::paint(QPainter& painter) const
{
    if (brightenedImage.isNull())
        return;
    QPainterPath regions;
    regions.setFillRule(Qt::WindingFill);
    for (const PaintStroke& stroke : strokes) {
        if (stroke.tool.effect() != ToolEffect::areaHighlight)
            continue;
        if (const std::optional<QRectF> rect = StrokeRenderer::strokeRect(stroke, canvasSize); rect && !rect->isEmpty())
            regions.addRect(*rect);
    }
    if (regions.isEmpty())
        return;
    painter.save();
    painter.setClipPath(regions.simplified(), Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(QPointF(0, 0), canvasSize), brightenedImage);
    painter.restore();
}
