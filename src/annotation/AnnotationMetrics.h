#pragma once
#include "annotation/PaintPoint.h"

#include <QFont>
#include <QSizeF>
#include <algorithm>
#include <cmath>

// The sizes every part of the annotation layer shares (what a stroke uses while it names none of
// its own) and the hit-test arithmetic of handles and strokes. Inline: hit tests call these in
// their inner loops.
namespace AnnotationMetrics {

// Texts, labels and number badges.
constexpr QFont::Weight textWeight = QFont::DemiBold;
constexpr double defaultTextFontSize = 20;
constexpr double defaultLabelFontSize = 15;
constexpr double defaultBadgeSize = 24;
// The overlay layer never draws a text box smaller than this.
constexpr double minimumTextBoxWidth = 40;
constexpr double minimumTextBoxHeight = 20;

// A tolerance in canvas points as a fraction of the longer canvas side (0 for an empty or
// unbounded canvas).
inline double normalizedTolerance(const QSizeF& canvasSize, double threshold)
{
    const double longer = std::max(canvasSize.width(), canvasSize.height());
    if (!(longer > 0) || !std::isfinite(longer))
        return 0;
    return threshold / longer;
}

// The distance of two points in the canvas fractions they are given in.
inline double distance(const PaintPoint& a, const PaintPoint& b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

}
