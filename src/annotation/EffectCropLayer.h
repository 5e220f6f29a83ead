#pragma once
#include "annotation/PaintStroke.h"

#include <QImage>
#include <QSizeF>
#include <QUuid>
#include <functional>
#include <optional>
#include <vector>

class QPainter;

// Hands out the finished mosaic or blur image of one stroke, or a null image when it cannot be
// made. The image carries its place: `offset()` is its top-left corner in pixels of the source
// image and `devicePixelRatio()` the source's pixels per canvas point.
using EffectImageProvider = std::function<QImage(const PaintStroke&)>;

// The pixelated or blurred image of every stroke of one effect tool, over the stroke's rectangle.
// A crop is drawn at its own place and size, never stretched, clipped to the part of the stroke's
// rectangle inside the image. Redaction never fails silently: where the provider has no image for
// a non-empty rectangle, that part is filled black. The stroke named `liveDragStrokeID` shows the
// dragging placeholder instead, and the provider is not asked for it.
struct EffectCropLayer {
    PaintTool tool;
    const std::vector<PaintStroke>& strokes;
    QSizeF canvasSize;
    std::optional<QUuid> liveDragStrokeID;
    EffectImageProvider effectImageProvider;

    void paint(QPainter& painter) const;
};
