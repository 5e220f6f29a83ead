#pragma once
#include "annotation/PaintStroke.h"

#include <QImage>
#include <QSizeF>
#include <vector>

class QPainter;

// The brightened copy of the whole image, shown exactly inside the union of the rectangles of
// `areaHighlight` strokes (overlaps are brightened once). Nothing without an image or regions.
struct BrightenMaskLayer {
    QImage brightenedImage;
    const std::vector<PaintStroke>& strokes;
    QSizeF canvasSize;

    void paint(QPainter& painter) const;
};
