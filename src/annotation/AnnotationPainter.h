#pragma once
#include "annotation/EffectCropLayer.h"
#include "annotation/PaintStroke.h"

#include <QImage>
#include <QSizeF>
#include <QUuid>
#include <optional>
#include <vector>

class QPainter;

// Everything one drawing of an annotated image needs, in canvas points.
struct AnnotationScene {
    const std::vector<PaintStroke>& strokes;
    QSizeF canvasSize;
    // Drawn stretched over the canvas (a null image gives black); none when the target already
    // holds the image.
    std::optional<QImage> background;
    EffectImageProvider effectImageProvider;
    // The brightened image for area highlights; null when there are none.
    QImage brightenedImage;
    // The stroke being drawn right now (live canvas only).
    const PaintStroke* liveStroke = nullptr;
    // An effect stroke being dragged, shown as a placeholder (live canvas only).
    std::optional<QUuid> liveDragStrokeID;
};

// The one routine that draws an annotated image, shared by the live canvas, the export and with
// it the Beautify preview, so that the screen and the PNG show the same. Bottom to top: the
// image, the mosaic and blur crops, the area highlights, the spotlight veil, the strokes (the
// stroke being drawn last) and the texts, badges and label chips. The painter's transform maps
// canvas points to its device: the export scales by the image's pixels per point, the canvas by
// its fit scale.
namespace AnnotationPainter {
void paint(QPainter& painter, const AnnotationScene& scene);
// The two halves of paint() around the stroke being drawn, so that the live canvas can keep each
// in a cached layer: everything below it (the image, the effects, the finished strokes) and
// everything above it (texts, badges and label chips). `paintAbove` draws nothing when
// `hasAboveLayer` is false.
void paintBelowLiveStroke(QPainter& painter, const AnnotationScene& scene);
void paintAboveLiveStroke(QPainter& painter, const AnnotationScene& scene);
bool hasAboveLayer(const std::vector<PaintStroke>& strokes);
}
