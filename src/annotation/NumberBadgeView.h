#pragma once
#include "annotation/AnnotationMetrics.h"

#include <QColor>
#include <QPointF>

class QPainter;

// One numbered circle: a disc of diameter `size` in `color` with the number in bold white at half
// that size, no border, no shadow. A number wider than the disc runs past it unclipped.
struct NumberBadgeView {
    int number = 0;
    QColor color;
    double size = AnnotationMetrics::defaultBadgeSize;

    // Draws the badge centred at `centre` (canvas points).
    void paint(QPainter& painter, const QPointF& centre) const;
};
