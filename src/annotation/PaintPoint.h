#pragma once
#include <QPointF>

// A point of a stroke as fractions of the canvas (x of its width, y of its height, origin top
// left, y downwards). Pointer input always carries pressure 1.
struct PaintPoint {
    double x = 0;
    double y = 0;
    double pressure = 1;

    PaintPoint() = default;
    PaintPoint(double x, double y, double pressure = 1)
        : x(x)
        , y(y)
        , pressure(pressure)
    {
    }

    bool operator==(const PaintPoint& other) const
    {
        return x == other.x && y == other.y && pressure == other.pressure;
    }
    bool operator!=(const PaintPoint& other) const { return !(*this == other); }

    QPointF toPointF() const { return {x, y}; }
};
