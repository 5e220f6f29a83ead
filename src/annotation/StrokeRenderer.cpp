#include "annotation/StrokeRenderer.h"

#include "annotation/ParallelFor.h"
#include "annotation/QtTextMeasurer.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kArrowheadHalfAngle = 0.2792526803190927; // 16°

QPointF mapped(const PaintPoint& point, const QSizeF& size)
{
    return QPointF(point.x * size.width(), point.y * size.height());
}

QPen outlinePen(const PaintStroke& stroke)
{
    QPen pen(StrokeRenderer::strokeColor(stroke));
    pen.setWidthF(std::max(stroke.lineWidth, 0.0));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setMiterLimit(10);
    return pen;
}

// Strokes `path` in the outline style. A path of zero length still shows its round caps: a dot
// of the line width (the stroker of the painter leaves such a path out).
void strokeOutline(QPainter& painter, const QPainterPath& path, const PaintStroke& stroke)
{
    const QRectF bounds = path.boundingRect();
    if (bounds.width() == 0 && bounds.height() == 0 && path.elementCount() > 0) {
        const double radius = std::max(stroke.lineWidth, 0.0) / 2;
        QPainterPath dot;
        dot.addEllipse(bounds.topLeft(), radius, radius);
        painter.fillPath(dot, StrokeRenderer::strokeColor(stroke));
        return;
    }
    painter.strokePath(path, outlinePen(stroke));
}

// Qt's rasterizer slows down sharply on one long outline that crosses itself (seconds for a pen
// stroke of 100,000 points), so a polyline is stroked in pieces of this many segments. Pieces
// meet at a shared point, where their round caps make the same round join.
constexpr std::size_t kSegmentsPerPiece = 16;
// A line of more pieces than this per thread is stroked on several threads.
constexpr std::size_t kPiecesPerThread = 64;
// What the layers of one line may hold at once.
constexpr qint64 kLayerBudgetBytes = qint64(96) * 1024 * 1024;

// Strokes the pieces that cover points[first] to points[last].
void strokePieces(QPainter& painter, const std::vector<QPointF>& points, std::size_t first, std::size_t last,
    const QPen& pen)
{
    for (; first < last; first += kSegmentsPerPiece) {
        const std::size_t end = std::min(first + kSegmentsPerPiece, last);
        QPainterPath piece(points[first]);
        for (std::size_t i = first + 1; i <= end; ++i)
            piece.lineTo(points[i]);
        painter.strokePath(piece, pen);
    }
}

// Strokes a long line into layers of the device pixels it covers, in an opaque colour: up to four
// threads each stroke a run of pieces into a layer of their own; the layers, laid over each other
// in drawing order, give what one thread stroking every piece in turn gives. The result is blended
// once with the colour's opacity, so that a translucent line is not darker where its pieces or
// crossings overlap. False when the layers could not be made.
bool strokeInLayers(QPainter& painter, const std::vector<QPointF>& points, const PaintStroke& stroke, const QRectF& bounds)
{
    const QColor color = StrokeRenderer::strokeColor(stroke);
    const double margin = std::max(stroke.lineWidth, 0.0) / 2 + 2;
    const QTransform device = painter.deviceTransform();
    QRect area = device.mapRect(bounds.adjusted(-margin, -margin, margin, margin)).toAlignedRect();
    if (painter.hasClipping())
        area &= device.mapRect(painter.clipBoundingRect()).toAlignedRect().adjusted(-1, -1, 1, 1);
    if (area.isEmpty() || color.alpha() == 0)
        return true;
    const std::size_t pieces = (points.size() - 2) / kSegmentsPerPiece + 1;
    const qint64 layerBytes = qint64(area.width()) * area.height() * 4;
    const int count = int(std::clamp<qint64>(
        std::min<qint64>(qint64(pieces / kPiecesPerThread), kLayerBudgetBytes / std::max<qint64>(layerBytes, 1)), 1, 4));
    std::vector<QImage> layers;
    for (int i = 0; i < count; ++i) {
        layers.emplace_back(area.size(), QImage::Format_ARGB32_Premultiplied);
        if (layers.back().isNull())
            return false;
        layers.back().fill(Qt::transparent);
    }
    QPen pen = outlinePen(stroke);
    QColor opaque = color;
    opaque.setAlpha(255);
    pen.setColor(opaque);
    const QTransform toLayer = device * QTransform::fromTranslate(-area.x(), -area.y());
    parallelFor(count, std::size_t(1) << 18, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) {
            const std::size_t first = pieces * std::size_t(i) / std::size_t(count) * kSegmentsPerPiece;
            const std::size_t last
                = std::min(pieces * std::size_t(i + 1) / std::size_t(count) * kSegmentsPerPiece, points.size() - 1);
            QPainter layerPainter(&layers[std::size_t(i)]);
            layerPainter.setRenderHint(QPainter::Antialiasing, true);
            layerPainter.setTransform(toLayer);
            strokePieces(layerPainter, points, first, last, pen);
        }
    });
    if (count > 1) {
        QPainter merge(&layers.front());
        for (std::size_t i = 1; i < layers.size(); ++i)
            merge.drawImage(0, 0, layers[i]);
    }
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatio() : 1;
    layers.front().setDevicePixelRatio(ratio);
    painter.save();
    painter.resetTransform();
    painter.setOpacity(painter.opacity() * color.alphaF());
    painter.drawImage(QPointF(area.topLeft()) / ratio, layers.front());
    painter.restore();
    return true;
}

// A shaft from `from` towards the tip, ending 13 points short of it, with the head at the tip.
// A shaft shorter than the head is left out and only the head is drawn.
void paintArrow(QPainter& painter, const PaintStroke& stroke, const QPointF& from, const QPointF& tip,
    const std::optional<QPointF>& control)
{
    double angle = std::atan2(tip.y() - from.y(), tip.x() - from.x());
    if (control && *control != tip)
        angle = std::atan2(tip.y() - control->y(), tip.x() - control->x());
    const double length = std::hypot(tip.x() - from.x(), tip.y() - from.y());
    if (length > StrokeRenderer::kArrowheadLength) {
        const QPointF end = tip - StrokeRenderer::kArrowheadLength * QPointF(std::cos(angle), std::sin(angle));
        QPainterPath shaft(from);
        if (control)
            shaft.quadTo(*control, end);
        else
            shaft.lineTo(end);
        painter.strokePath(shaft, outlinePen(stroke));
    }
    painter.fillPath(StrokeRenderer::arrowheadPath(tip, angle), StrokeRenderer::strokeColor(stroke));
}

} // namespace

QColor StrokeRenderer::strokeColor(const PaintStroke& stroke, double factor)
{
    const auto unit = [](double value) {
        return static_cast<float>(std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0);
    };
    return QColor::fromRgbF(
        unit(stroke.color.red), unit(stroke.color.green), unit(stroke.color.blue), unit(stroke.color.opacity * factor));
}

std::optional<QRectF> StrokeRenderer::strokeRect(const PaintStroke& stroke, const QSizeF& size)
{
    if (stroke.points.empty())
        return std::nullopt;
    const QPointF p = mapped(stroke.points.front(), size);
    const QPointF q = mapped(stroke.points.back(), size);
    return QRectF(std::min(p.x(), q.x()), std::min(p.y(), q.y()), std::abs(q.x() - p.x()), std::abs(q.y() - p.y()));
}

QFont StrokeRenderer::canvasFont(const QPainter& painter, double size, QFont::Weight weight)
{
    QFont font = QtTextMeasurer::font(size, weight);
    const QPaintDevice* device = painter.device();
    const int dpi = device ? device->logicalDpiY() : 72;
    if (dpi > 0 && size > 0)
        font.setPointSizeF(size * 72.0 / dpi);
    return font;
}

QPainterPath StrokeRenderer::arrowheadPath(const QPointF& tip, double angle)
{
    QPainterPath path(tip);
    path.lineTo(
        tip - kArrowheadLength * QPointF(std::cos(angle - kArrowheadHalfAngle), std::sin(angle - kArrowheadHalfAngle)));
    path.lineTo(
        tip - kArrowheadLength * QPointF(std::cos(angle + kArrowheadHalfAngle), std::sin(angle + kArrowheadHalfAngle)));
    path.closeSubpath();
    return path;
}

void StrokeRenderer::renderPenPath(QPainterPath& path, const std::vector<QPointF>& points)
{
    if (points.empty())
        return;
    path.reserve(path.elementCount() + int(points.size()));
    path.moveTo(points.front());
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
}

QPainterPath StrokeRenderer::polylinePath(const std::vector<QPointF>& points)
{
    QPainterPath path;
    renderPenPath(path, points);
    return path;
}

void StrokeRenderer::strokePolyline(QPainter& painter, const std::vector<QPointF>& points, const PaintStroke& stroke)
{
    if (points.empty())
        return;
    QRectF bounds(points.front(), QSizeF(0, 0));
    for (const QPointF& point : points) {
        bounds.setLeft(std::min(bounds.left(), point.x()));
        bounds.setRight(std::max(bounds.right(), point.x()));
        bounds.setTop(std::min(bounds.top(), point.y()));
        bounds.setBottom(std::max(bounds.bottom(), point.y()));
    }
    // Short lines, and lines that stay on one spot (shown as a dot), are one outline.
    if (points.size() <= kSegmentsPerPiece + 1 || (bounds.width() == 0 && bounds.height() == 0)) {
        strokeOutline(painter, polylinePath(points), stroke);
        return;
    }
    const bool opaque = strokeColor(stroke).alpha() == 255;
    if (opaque && points.size() <= 2 * kPiecesPerThread * kSegmentsPerPiece) {
        strokePieces(painter, points, 0, points.size() - 1, outlinePen(stroke));
        return;
    }
    if (strokeInLayers(painter, points, stroke, bounds))
        return;
    // No memory for layers: the pieces straight onto the target, or one outline when translucent.
    if (opaque)
        strokePieces(painter, points, 0, points.size() - 1, outlinePen(stroke));
    else
        painter.strokePath(polylinePath(points), outlinePen(stroke));
}

void StrokeRenderer::paintRegionPlaceholder(QPainter& painter, const QRectF& rect)
{
    painter.fillRect(rect, QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.45f));
    QPen pen(QColor::fromRgbF(1, 1, 1, 0.7f));
    pen.setWidthF(1);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(10);
    pen.setDashPattern({4, 3});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
}

void StrokeRenderer::renderStroke(QPainter& painter, const PaintStroke& stroke, const QSizeF& size, bool isLivePreview)
{
    if (stroke.points.empty())
        return;
    const QPointF p = mapped(stroke.points.front(), size);
    const QPointF q = mapped(stroke.points.back(), size);
    const QRectF rect = *strokeRect(stroke, size);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    switch (stroke.tool.family()) {
    case ToolFamily::freehand: {
        std::vector<QPointF> points;
        points.reserve(stroke.points.size());
        for (const PaintPoint& point : stroke.points)
            points.push_back(mapped(point, size));
        strokePolyline(painter, points, stroke);
        break;
    }
    case ToolFamily::segment:
        if (!stroke.tool.traits().hasArrowhead) {
            QPainterPath path(p);
            path.lineTo(q);
            strokeOutline(painter, path, stroke);
        } else if (p != q) {
            paintArrow(painter, stroke, p, q,
                stroke.controlPoint ? std::optional<QPointF>(mapped(*stroke.controlPoint, size)) : std::nullopt);
        }
        break;
    case ToolFamily::outline:
        painter.setPen(outlinePen(stroke));
        painter.setBrush(Qt::NoBrush);
        if (stroke.tool.traits().isEllipse)
            painter.drawEllipse(rect);
        else
            painter.drawRect(rect);
        break;
    case ToolFamily::area:
        // Effects are drawn by their layers; the stroke being dragged out shows where.
        if (stroke.tool.effect() == ToolEffect::none)
            painter.fillRect(rect, strokeColor(stroke));
        else if (isLivePreview)
            paintRegionPlaceholder(painter, rect);
        break;
    case ToolFamily::label:
        // The leader points back from the chip at the last point to the spot at the first.
        if (p != q)
            paintArrow(painter, stroke, q, p, std::nullopt);
        break;
    case ToolFamily::bar:
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        painter.fillRect(stroke.highlighterBar(size), strokeColor(stroke, 0.45));
        break;
    case ToolFamily::text:
    case ToolFamily::badge:
    case ToolFamily::none:
        break;
    }
    painter.restore();
}
