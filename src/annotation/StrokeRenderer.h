#pragma once
#include "annotation/PaintStroke.h"

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>
#include <vector>

class QPainter;

// Draws the path-like tools of one stroke (pen, eraser, line, arrow, rectangle, ellipse, filled
// rectangle, blackout, highlighter and a label's leader arrow) in canvas points: a stroke point
// (x, y) lies at (x·width, y·height) of `size`. Texts, badges, chips and the image effects are
// drawn by the overlay layers. Lengths (line widths, the 13-point arrowhead) are canvas points.
namespace StrokeRenderer {

constexpr double kArrowheadLength = 13;

// Draws one stroke. `isLivePreview` marks the stroke being drawn right now: a region effect
// (mosaic, blur, spotlight, area highlight) then shows its grey dashed placeholder.
void renderStroke(QPainter& painter, const PaintStroke& stroke, const QSizeF& size, bool isLivePreview);

// The closed triangle of an arrowhead at `tip`, legs 13 points long at 16° on either side of the
// shaft direction `angle` (radians).
QPainterPath arrowheadPath(const QPointF& tip, double angle);

// Appends a polyline through `points` (at least one); time and memory linear in their number.
void renderPenPath(QPainterPath& path, const std::vector<QPointF>& points);
QPainterPath polylinePath(const std::vector<QPointF>& points);
// Strokes the polyline through `points` in the stroke's colour, width and round caps and joins,
// as one outline would look, in time linear in the number of points.
void strokePolyline(QPainter& painter, const std::vector<QPointF>& points, const PaintStroke& stroke);

// The grey, white-dashed rectangle shown for a region effect while it is dragged.
void paintRegionPlaceholder(QPainter& painter, const QRectF& rect);

// The stroke's colour (sRGB, components clamped to 0...1) with its opacity times `factor`.
QColor strokeColor(const PaintStroke& stroke, double factor = 1);

// The rectangle spanned by the first and the last point, in canvas points; none without points.
std::optional<QRectF> strokeRect(const PaintStroke& stroke, const QSizeF& size);

// The system font of `size` canvas points, sized so that on `painter`'s device one point is one
// unit of the painter's coordinates, as the text measurer counts.
QFont canvasFont(const QPainter& painter, double size, QFont::Weight weight);

}
