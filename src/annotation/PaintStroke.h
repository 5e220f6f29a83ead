#pragma once
#include "annotation/PaintColor.h"
#include "annotation/PaintPoint.h"
#include "annotation/PaintTool.h"
#include "annotation/TextMeasurer.h"

#include <QDateTime>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <optional>
#include <vector>

// One finished annotation. Points, the control point and the snap rectangle are canvas fractions;
// line width, font size and badge size are canvas points.
struct PaintStroke {
    QUuid id;
    std::vector<PaintPoint> points;
    PaintTool tool = PaintTool::pen;
    PaintColor color;
    double lineWidth = 0;
    double createdAt = 0; // seconds since 2001-01-01 00:00:00 UTC
    std::optional<QString> text;
    std::optional<double> fontSize;
    std::optional<int> badgeNumber;
    std::optional<double> badgeSize;
    std::optional<double> effectAmount;
    std::optional<PaintPoint> controlPoint;
    std::optional<QRectF> textSnapRect;

    bool operator==(const PaintStroke& other) const;
    bool operator!=(const PaintStroke& other) const { return !(*this == other); }

    // Seconds since 2001-01-01 00:00:00 UTC of the current time.
    static double now();
    static double secondsSinceReferenceDate(const QDateTime& dateTime);
    QDateTime createdAtDateTime() const;

    // Geometry. `point` and the results in fractions unless named otherwise; `threshold` in canvas
    // points, converted to fractions of the longer canvas side.

    // Rectangle around all points; the zero rectangle without points.
    QRectF boundingBox() const;
    // Whether `point` lies on what the stroke draws.
    bool hitTest(const PaintPoint& point, const QSizeF& canvasSize, double threshold,
        const TextMeasurer& measurer = TextMeasurer::shared()) const;
    // The text chip of a label with text, in canvas points.
    std::optional<QRectF> labelChipRect(
        const QSizeF& canvasSize, const TextMeasurer& measurer = TextMeasurer::shared()) const;
    // 0 for the first, 1 for the last point of a two-point line, arrow or label.
    std::optional<int> hitTestEndpoint(const PaintPoint& point, const QSizeF& canvasSize, double threshold,
        const TextMeasurer& measurer = TextMeasurer::shared()) const;
    // The middle of a two-point arrow's curve, where its bend handle sits.
    std::optional<PaintPoint> bendApex() const;
    // 0 top left, 1 top right, 2 bottom left, 3 bottom right corner of a two-point region stroke.
    std::optional<int> hitTestCorner(const PaintPoint& point, const QSizeF& canvasSize, double threshold) const;
    // Where the resize handle of a text box sits, in canvas points.
    std::optional<QPointF> textBoxHandlePoint(
        const QSizeF& canvasSize, const TextMeasurer& measurer = TextMeasurer::shared()) const;

    // The bar that a highlighter paints, in canvas points.
    QRectF highlighterBar(const QSizeF& canvasSize) const;
    // The rectangle in which a text's words are laid out, in canvas points; none without text.
    std::optional<QRectF> textLayoutRect(
        const QSizeF& canvasSize, const TextMeasurer& measurer = TextMeasurer::shared()) const;

private:
    static double distanceToSegment(const PaintPoint& point, const PaintPoint& a, const PaintPoint& b);
};
