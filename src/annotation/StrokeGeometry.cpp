// Geometry of PaintStroke: bounding box, hit tests and handle positions.
#include "annotation/PaintStroke.h"

#include "annotation/AnnotationMetrics.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace AnnotationMetrics;

// Min edges inclusive, max edges exclusive; an empty or inverted rectangle contains nothing.
bool rectContains(const QRectF& rect, double x, double y)
{
    if (!(rect.width() > 0) || !(rect.height() > 0))
        return false;
    return x >= rect.left() && x < rect.left() + rect.width() && y >= rect.top() && y < rect.top() + rect.height();
}

} // namespace

double PaintStroke::distanceToSegment(const PaintPoint& point, const PaintPoint& a, const PaintPoint& b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double closestX = a.x;
    double closestY = a.y;
    if (lengthSquared > 0) {
        const double u = std::clamp(((point.x - a.x) * dx + (point.y - a.y) * dy) / lengthSquared, 0.0, 1.0);
        closestX = a.x + u * dx;
        closestY = a.y + u * dy;
    }
    return std::hypot(point.x - closestX, point.y - closestY);
}

QRectF PaintStroke::boundingBox() const
{
    if (points.empty())
        return QRectF(0, 0, 0, 0);
    double minX = points.front().x, maxX = minX;
    double minY = points.front().y, maxY = minY;
    for (const PaintPoint& p : points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return QRectF(minX, minY, maxX - minX, maxY - minY);
}

namespace {

// The rectangle spanned by the first and the last point, in fractions.
QRectF spannedRect(const std::vector<PaintPoint>& points)
{
    const PaintPoint& p = points.front();
    const PaintPoint& q = points.back();
    return QRectF(std::min(p.x, q.x), std::min(p.y, q.y), std::abs(q.x - p.x), std::abs(q.y - p.y));
}

} // namespace

QRectF PaintStroke::highlighterBar(const QSizeF& canvasSize) const
{
    if (points.empty())
        return QRectF();
    const double w = canvasSize.width();
    const double h = canvasSize.height();
    const PaintPoint& p = points.front();
    const PaintPoint& q = points.back();
    double thickness = 0;
    double centreY = 0;
    if (textSnapRect) {
        thickness = 1.25 * std::abs(textSnapRect->height()) * h;
        centreY = (textSnapRect->top() + textSnapRect->height() / 2) * h;
    } else {
        thickness = std::max(4 * lineWidth, 14.0);
        centreY = (p.y + q.y) / 2 * h;
    }
    return QRectF(std::min(p.x, q.x) * w, centreY - thickness / 2, std::abs(q.x - p.x) * w, thickness);
}

std::optional<QRectF> PaintStroke::textLayoutRect(const QSizeF& canvasSize, const TextMeasurer& measurer) const
{
    if (tool.family() != ToolFamily::text || points.empty())
        return std::nullopt;
    const double w = canvasSize.width();
    const double h = canvasSize.height();
    const PaintPoint& p = points.front();
    if (points.size() >= 2) {
        // A sized box: anchored at its top-left corner, never smaller than the overlay draws it.
        const PaintPoint& q = points.back();
        return QRectF(std::min(p.x, q.x) * w, std::min(p.y, q.y) * h,
            std::max(std::abs(q.x - p.x) * w, minimumTextBoxWidth),
            std::max(std::abs(q.y - p.y) * h, minimumTextBoxHeight));
    }
    if (!text || text->isEmpty())
        return std::nullopt;
    // One anchor: the text at its natural size, centred on the anchor.
    const QSizeF size = measurer.size(*text, fontSize.value_or(defaultTextFontSize), textWeight);
    return QRectF(p.x * w - size.width() / 2, p.y * h - size.height() / 2, size.width(), size.height());
}

bool PaintStroke::hitTest(
    const PaintPoint& point, const QSizeF& canvasSize, double threshold, const TextMeasurer& measurer) const
{
    if (points.empty())
        return false;
    const double t = normalizedTolerance(canvasSize, threshold);
    const double w = canvasSize.width();
    const double h = canvasSize.height();
    const PaintPoint& first = points.front();
    const PaintPoint& last = points.back();

    switch (tool.family()) {
    case ToolFamily::none:
        return false;
    case ToolFamily::freehand:
        for (std::size_t i = 1; i < points.size(); ++i) {
            if (distanceToSegment(point, points[i - 1], points[i]) < t)
                return true;
        }
        return false;
    case ToolFamily::segment:
        return distanceToSegment(point, first, last) < t;
    case ToolFamily::outline: {
        if (tool.traits().isEllipse) {
            // Half-axes by absolute difference, so the drag direction does not matter.
            const double rx = std::abs(last.x - first.x) / 2;
            const double ry = std::abs(last.y - first.y) / 2;
            if (!(rx > 0) || !(ry > 0))
                return false;
            const double cx = (first.x + last.x) / 2;
            const double cy = (first.y + last.y) / 2;
            const double r = std::hypot((point.x - cx) / rx, (point.y - cy) / ry);
            return std::abs(r - 1) < t / std::min(rx, ry);
        }
        // A band of width 2t centred on the outline.
        const QRectF rect = spannedRect(points);
        const QRectF grown = rect.adjusted(-t, -t, t, t);
        const QRectF shrunk = rect.adjusted(t, t, -t, -t);
        return rectContains(grown, point.x, point.y) && !rectContains(shrunk, point.x, point.y);
    }
    case ToolFamily::area:
        return rectContains(spannedRect(points), point.x, point.y);
    case ToolFamily::bar:
        // The bar the highlighter paints, whose thickness does not come from the points.
        return rectContains(highlighterBar(canvasSize), point.x * w, point.y * h);
    case ToolFamily::text: {
        if (points.size() == 1 && distance(point, first) < 3 * t)
            return true;
        const std::optional<QRectF> layout = textLayoutRect(canvasSize, measurer);
        return layout && rectContains(*layout, point.x * w, point.y * h);
    }
    case ToolFamily::badge: {
        if (distance(point, first) < 3 * t)
            return true;
        // Anywhere on the drawn disc.
        const double radius = badgeSize.value_or(defaultBadgeSize) / 2;
        return std::hypot((point.x - first.x) * w, (point.y - first.y) * h) <= radius;
    }
    case ToolFamily::label:
        if (distanceToSegment(point, first, last) < t)
            return true;
        if (const std::optional<QRectF> chip = labelChipRect(canvasSize, measurer))
            return rectContains(*chip, point.x * w, point.y * h);
        return distance(point, last) < 3 * t;
    }
    return false;
}

std::optional<QRectF> PaintStroke::labelChipRect(const QSizeF& canvasSize, const TextMeasurer& measurer) const
{
    if (tool.family() != ToolFamily::label || points.empty() || !text || text->isEmpty())
        return std::nullopt;
    const double f = fontSize.value_or(defaultLabelFontSize);
    const double textWidth = measurer.width(*text, f, textWeight);
    double chipWidth = textWidth + 16;
    if (badgeNumber)
        chipWidth += f * 1.3 + 6;
    const double chipHeight = f * 1.3 + 8;
    const PaintPoint& last = points.back();
    const double cx = last.x * canvasSize.width();
    const double cy = last.y * canvasSize.height();
    return QRectF(cx - chipWidth / 2, cy - chipHeight / 2, chipWidth, chipHeight);
}

std::optional<int> PaintStroke::hitTestEndpoint(
    const PaintPoint& point, const QSizeF& canvasSize, double threshold, const TextMeasurer& measurer) const
{
    const ToolHandles handles = tool.handles();
    if ((handles != ToolHandles::endpoints && handles != ToolHandles::endpointsAndBend) || points.size() != 2)
        return std::nullopt;
    const double t = normalizedTolerance(canvasSize, threshold);
    if (tool.family() == ToolFamily::label) {
        if (const std::optional<QRectF> chip = labelChipRect(canvasSize, measurer)) {
            // The text end of a label is taken by its chip.
            if (rectContains(*chip, point.x * canvasSize.width(), point.y * canvasSize.height()))
                return 1;
            if (distance(point, points[0]) < t)
                return 0;
            return std::nullopt;
        }
    }
    for (int index = 0; index < 2; ++index) {
        if (distance(point, points[static_cast<std::size_t>(index)]) < t)
            return index;
    }
    return std::nullopt;
}

std::optional<PaintPoint> PaintStroke::bendApex() const
{
    if (tool.handles() != ToolHandles::endpointsAndBend || points.size() != 2)
        return std::nullopt;
    const PaintPoint& a = points[0];
    const PaintPoint& b = points[1];
    if (controlPoint) {
        const PaintPoint& c = *controlPoint;
        return PaintPoint(0.25 * a.x + 0.5 * c.x + 0.25 * b.x, 0.25 * a.y + 0.5 * c.y + 0.25 * b.y, 1);
    }
    return PaintPoint((a.x + b.x) / 2, (a.y + b.y) / 2, 1);
}

std::optional<int> PaintStroke::hitTestCorner(const PaintPoint& point, const QSizeF& canvasSize, double threshold) const
{
    if (!tool.isResizableRegionTool() || points.size() != 2)
        return std::nullopt;
    const double t = normalizedTolerance(canvasSize, threshold);
    const QRectF box = boundingBox();
    const PaintPoint corners[4] = {
        {box.left(), box.top()},
        {box.left() + box.width(), box.top()},
        {box.left(), box.top() + box.height()},
        {box.left() + box.width(), box.top() + box.height()},
    };
    for (int index = 0; index < 4; ++index) {
        if (distance(point, corners[index]) < t)
            return index;
    }
    return std::nullopt;
}

std::optional<QPointF> PaintStroke::textBoxHandlePoint(const QSizeF& canvasSize, const TextMeasurer& measurer) const
{
    if (tool.handles() != ToolHandles::textBox || points.empty())
        return std::nullopt;
    const double w = canvasSize.width();
    const double h = canvasSize.height();
    if (points.size() >= 2)
        return QPointF(points.back().x * w, points.back().y * h);
    const PaintPoint& anchor = points.front();
    const double f = fontSize.value_or(defaultTextFontSize);
    const double textWidth = measurer.width(text.value_or(QString()), f, textWeight);
    return QPointF(anchor.x * w + std::max(textWidth, 160.0), anchor.y * h + f * 1.6);
}
