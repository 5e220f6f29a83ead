#pragma once
#include "annotation/PaintStroke.h"

#include <QFont>
#include <QSizeF>
#include <QString>
#include <vector>

class QPainter;

// The texts of `text` strokes, the numbered circles of `numberBadge` strokes with their caption
// chips, and the chips of `label` strokes, in stroke order, in canvas points.
struct AnnotationOverlayLayer {
    const std::vector<PaintStroke>& strokes;
    QSizeF canvasSize;

    void paint(QPainter& painter) const;

    // The width of one line of text in the system font of `fontSize` canvas points and `weight`.
    static double measuredTextWidth(const QString& text, double fontSize, QFont::Weight weight);

private:
    void paintText(QPainter& painter, const PaintStroke& stroke) const;
    void paintBadge(QPainter& painter, const PaintStroke& stroke) const;
    void paintLabel(QPainter& painter, const PaintStroke& stroke) const;
};
