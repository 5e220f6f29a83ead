#pragma once
#include "annotation/PaintStroke.h"

#include <QRectF>
#include <optional>
#include <vector>

// One editing drag of a stroke that exists: which handle (or the body) is dragged, and the stroke
// as it was when the drag began, so that every pointer position reshapes it from that start.
class StrokeEditDrag {
public:
    enum Kind { endpoint, corner, wholeStroke, arrowBend, textBoxResize };

    // `index`: the point of `endpoint`, the corner of `corner`.
    StrokeEditDrag(const PaintStroke& stroke, Kind kind, int index, const PaintPoint& start);

    Kind kind() const { return m_kind; }
    int index() const { return m_index; }

    // Reshapes `stroke` for the pointer at `to`; false when the drag does not fit the stroke.
    bool apply(PaintStroke& stroke, const PaintPoint& to) const;

private:
    Kind m_kind;
    int m_index;
    PaintPoint m_start;
    std::vector<PaintPoint> m_points;
    // Saved with the points, so that moving a whole stroke carries its bend and snap line along.
    std::optional<PaintPoint> m_controlPoint;
    std::optional<QRectF> m_textSnapRect;
};
