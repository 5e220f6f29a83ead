#include "annotation/EffectCropLayer.h"

#include "annotation/StrokeRenderer.h"

#include <QPainter>

void EffectCropLayer::paint(QPainter& painter) const
{
    const QRectF canvasRect(QPointF(0, 0), canvasSize);
    for (const PaintStroke& stroke : strokes) {
        if (stroke.tool != tool)
            continue;
        const std::optional<QRectF> rect = StrokeRenderer::strokeRect(stroke, canvasSize);
        if (!rect)
            continue;
        if (liveDragStrokeID && stroke.id == *liveDragStrokeID) {
            painter.save();
            StrokeRenderer::paintRegionPlaceholder(painter, *rect);
            painter.restore();
            continue;
        }
        const QRectF visible = rect->intersected(canvasRect);
        if (visible.isEmpty())
            continue;
        const QImage image = effectImageProvider ? effectImageProvider(stroke) : QImage();
        painter.save();
        if (image.isNull()) {
            painter.fillRect(visible, Qt::black);
        } else {
            const double ratio = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
            const QRectF target(QPointF(image.offset()) / ratio, QSizeF(image.size()) / ratio);
            painter.setClipRect(visible, Qt::IntersectClip);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target, image);
        }
        painter.restore();
    }
}
