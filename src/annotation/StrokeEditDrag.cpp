#include "annotation/StrokeEditDrag.h"

#include <algorithm>

StrokeEditDrag::StrokeEditDrag(const PaintStroke& stroke, Kind kind, int index, const PaintPoint& start)
    : m_kind(kind)
    , m_index(index)
    , m_start(start)
    , m_points(stroke.points)
    , m_controlPoint(stroke.controlPoint)
    , m_textSnapRect(stroke.textSnapRect)
{
}

bool StrokeEditDrag::apply(PaintStroke& stroke, const PaintPoint& to) const
{
    const std::vector<PaintPoint>& saved = m_points;
    switch (m_kind) {
    case endpoint: {
        if (m_index < 0 || static_cast<std::size_t>(m_index) >= saved.size())
            return false;
        std::vector<PaintPoint> points = saved;
        points[static_cast<std::size_t>(m_index)] = to;
        stroke.points = std::move(points);
        return true;
    }
    case corner: {
        if (saved.size() != 2)
            return false;
        // The corner diagonally opposite the dragged one stays where it is.
        const double fixedX = (m_index == 0 || m_index == 2) ? std::max(saved[0].x, saved[1].x)
                                                             : std::min(saved[0].x, saved[1].x);
        const double fixedY = (m_index == 0 || m_index == 1) ? std::max(saved[0].y, saved[1].y)
                                                             : std::min(saved[0].y, saved[1].y);
        stroke.points = {to, PaintPoint(fixedX, fixedY, 1.0)};
        return true;
    }
    case wholeStroke: {
        const double dx = to.x - m_start.x;
        const double dy = to.y - m_start.y;
        std::vector<PaintPoint> points;
        points.reserve(saved.size());
        for (const PaintPoint& p : saved)
            points.emplace_back(p.x + dx, p.y + dy, p.pressure);
        stroke.points = std::move(points);
        // The bend of an arrow and the text line of a highlighter travel with the stroke.
        if (m_controlPoint)
            stroke.controlPoint = PaintPoint(m_controlPoint->x + dx, m_controlPoint->y + dy, m_controlPoint->pressure);
        if (m_textSnapRect)
            stroke.textSnapRect = m_textSnapRect->translated(dx, dy);
        return true;
    }
    case arrowBend: {
        if (saved.size() != 2)
            return false;
        // The control point that puts the curve's middle through the pointer.
        const PaintPoint& a = saved.front();
        const PaintPoint& b = saved.back();
        stroke.controlPoint = PaintPoint(2 * to.x - (a.x + b.x) / 2, 2 * to.y - (a.y + b.y) / 2, 1.0);
        return true;
    }
    case textBoxResize:
        if (saved.empty())
            return false;
        stroke.points = {saved.front(), to};
        return true;
    }
    return false;
}
