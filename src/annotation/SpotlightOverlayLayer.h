#pragma once
#include "annotation/PaintStroke.h"

#include <QSizeF>
#include <vector>

class QPainter;

// A dark veil (black at 55 %) over the whole canvas except the union of the rectangles of
// `spotlight` strokes; overlapping spots stay bright. Nothing without spots.
struct SpotlightOverlayLayer {
    const std::vector<PaintStroke>& strokes;
    QSizeF canvasSize;

    void paint(QPainter& painter) const;
};
