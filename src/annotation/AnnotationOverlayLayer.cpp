#include "annotation/AnnotationOverlayLayer.h"

#include "annotation/AnnotationMetrics.h"
#include "annotation/NumberBadgeView.h"
#include "annotation/StrokeRenderer.h"
#include "annotation/TextMeasurer.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

using namespace AnnotationMetrics;

void fillRoundedRect(QPainter& painter, const QRectF& rect, double radius, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, color);
}

} // namespace

double AnnotationOverlayLayer::measuredTextWidth(const QString& text, double fontSize, QFont::Weight weight)
{
    return TextMeasurer::shared().width(text, fontSize, weight);
}

void AnnotationOverlayLayer::paint(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const PaintStroke& stroke : strokes) {
        switch (stroke.tool.family()) {
        case ToolFamily::text:
            paintText(painter, stroke);
            break;
        case ToolFamily::badge:
            paintBadge(painter, stroke);
            break;
        case ToolFamily::label:
            paintLabel(painter, stroke);
            break;
        default:
            break;
        }
    }
    painter.restore();
}

void AnnotationOverlayLayer::paintText(QPainter& painter, const PaintStroke& stroke) const
{
    if (stroke.points.empty() || !stroke.text || stroke.text->isEmpty())
        return;
    const std::optional<QRectF> box = stroke.textLayoutRect(canvasSize);
    if (!box)
        return;
    painter.setFont(StrokeRenderer::canvasFont(painter, stroke.fontSize.value_or(defaultTextFontSize), textWeight));
    painter.setPen(StrokeRenderer::strokeColor(stroke));
    if (stroke.points.size() == 1) {
        // Natural size, centred on the anchor.
        painter.drawText(*box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, *stroke.text);
    } else {
        // Wrapped to the box; what does not fit below it is cut off.
        painter.drawText(*box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, *stroke.text);
    }
}

void AnnotationOverlayLayer::paintBadge(QPainter& painter, const PaintStroke& stroke) const
{
    if (stroke.points.empty() || !stroke.badgeNumber)
        return;
    const double size = stroke.badgeSize.value_or(defaultBadgeSize);
    const QPointF centre(stroke.points.front().x * canvasSize.width(), stroke.points.front().y * canvasSize.height());
    NumberBadgeView {*stroke.badgeNumber, StrokeRenderer::strokeColor(stroke), size}.paint(painter, centre);

    if (!stroke.text || stroke.text->isEmpty())
        return;
    // The caption chip, 10 points right of the disc and centred on it vertically.
    const double fontSize = std::max(size * 0.5, 11.0);
    const QSizeF textSize = TextMeasurer::shared().size(*stroke.text, fontSize, textWeight);
    const double width = measuredTextWidth(*stroke.text, fontSize, textWeight) + 12;
    const double height = textSize.height() + 6;
    const QRectF chip(centre.x() + size / 2 + 10, centre.y() - height / 2, width, height);
    fillRoundedRect(painter, chip, 5, QColor::fromRgbF(0, 0, 0, 0.65f));
    painter.setFont(StrokeRenderer::canvasFont(painter, fontSize, textWeight));
    painter.setPen(StrokeRenderer::strokeColor(stroke));
    painter.drawText(chip.adjusted(6, 3, -6, -3), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, *stroke.text);
}

void AnnotationOverlayLayer::paintLabel(QPainter& painter, const PaintStroke& stroke) const
{
    if (stroke.points.empty() || !stroke.text || stroke.text->isEmpty())
        return;
    // The chip's rectangle is the one hit testing uses, so that what is drawn is what is hit.
    const std::optional<QRectF> chip = stroke.labelChipRect(canvasSize);
    if (!chip)
        return;
    const double fontSize = stroke.fontSize.value_or(defaultLabelFontSize);
    const QColor colour = StrokeRenderer::strokeColor(stroke);
    fillRoundedRect(painter, *chip, 6, colour);

    double x = chip->left() + 8;
    const double midY = chip->center().y();
    if (stroke.badgeNumber) {
        const double side = fontSize * 1.3;
        const QRectF disc(x, midY - side / 2, side, side);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(disc);
        painter.setFont(StrokeRenderer::canvasFont(painter, fontSize * 0.7, QFont::Bold));
        painter.setPen(colour);
        painter.drawText(disc, Qt::AlignCenter | Qt::TextDontClip, QString::number(*stroke.badgeNumber));
        x += side + 6;
    }
    painter.setFont(StrokeRenderer::canvasFont(painter, fontSize, textWeight));
    painter.setPen(Qt::white);
    const QRectF textRect(x, chip->top(), chip->right() - 8 - x, chip->height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, *stroke.text);
}
