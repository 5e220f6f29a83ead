#include "annotation/AnnotationPainter.h"

#include "annotation/AnnotationOverlayLayer.h"
#include "annotation/BrightenMaskLayer.h"
#include "annotation/SpotlightOverlayLayer.h"
#include "annotation/StrokeRenderer.h"

#include <QPainter>
#include <algorithm>

void AnnotationPainter::paint(QPainter& painter, const AnnotationScene& scene)
{
    paintBelowLiveStroke(painter, scene);
    if (scene.liveStroke)
        StrokeRenderer::renderStroke(painter, *scene.liveStroke, scene.canvasSize, true);
    paintAboveLiveStroke(painter, scene);
}

void AnnotationPainter::paintBelowLiveStroke(QPainter& painter, const AnnotationScene& scene)
{
    const QRectF canvasRect(QPointF(0, 0), scene.canvasSize);
    painter.save();
    if (scene.background) {
        if (scene.background->isNull()) {
            painter.fillRect(canvasRect, Qt::black);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(canvasRect, *scene.background);
        }
    }
    EffectCropLayer {
        PaintTool::mosaic, scene.strokes, scene.canvasSize, scene.liveDragStrokeID, scene.effectImageProvider}
        .paint(painter);
    EffectCropLayer {
        PaintTool::blur, scene.strokes, scene.canvasSize, scene.liveDragStrokeID, scene.effectImageProvider}
        .paint(painter);
    BrightenMaskLayer {scene.brightenedImage, scene.strokes, scene.canvasSize}.paint(painter);
    SpotlightOverlayLayer {scene.strokes, scene.canvasSize}.paint(painter);
    for (const PaintStroke& stroke : scene.strokes)
        StrokeRenderer::renderStroke(painter, stroke, scene.canvasSize, false);
    painter.restore();
}

void AnnotationPainter::paintAboveLiveStroke(QPainter& painter, const AnnotationScene& scene)
{
    if (!hasAboveLayer(scene.strokes))
        return;
    painter.save();
    AnnotationOverlayLayer {scene.strokes, scene.canvasSize}.paint(painter);
    painter.restore();
}

bool AnnotationPainter::hasAboveLayer(const std::vector<PaintStroke>& strokes)
{
    return std::any_of(strokes.begin(), strokes.end(), [](const PaintStroke& stroke) {
        const ToolFamily family = stroke.tool.family();
        return family == ToolFamily::text || family == ToolFamily::badge || family == ToolFamily::label;
    });
}
