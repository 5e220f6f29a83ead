#include "annotation/PaintEngine.h"

#include "annotation/AnnotationMetrics.h"
#include "annotation/PaintEngineChangeBatch.h"

#include <algorithm>
#include <cmath>

using namespace PaintEngineTolerance;

namespace {

using AnnotationMetrics::distance;
using AnnotationMetrics::normalizedTolerance;

bool textHandleHit(const PaintStroke& stroke, const PaintPoint& at, const QSizeF& canvasSize,
    const TextMeasurer& measurer, double radius)
{
    const std::optional<QPointF> handle = stroke.textBoxHandlePoint(canvasSize, measurer);
    if (!handle)
        return false;
    return std::hypot(at.x * canvasSize.width() - handle->x(), at.y * canvasSize.height() - handle->y()) < radius;
}

} // namespace

// --- selection and editing drags ---

void PaintEngine::beginDrag(const PaintStroke& stroke, StrokeEditDrag::Kind kind, const PaintPoint& at, int index)
{
    assign(m_selectedStrokeID, std::optional<QUuid>(stroke.id), SelectedStrokeIDChange);
    m_drag.emplace(stroke, kind, index, at);
    assign(m_isDraggingSelection, true, IsDraggingSelectionChange);
}

void PaintEngine::startSelection(const PaintPoint& at, const QSizeF& canvasSize)
{
    const double handleTolerance = normalizedTolerance(canvasSize, tolerance(kHandleThreshold));
    const auto topmostFirst = [this](auto&& test) -> const PaintStroke* {
        for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
            if (test(*it))
                return &*it;
        }
        return nullptr;
    };

    // 1. Arrow bends.
    if (const PaintStroke* hit = topmostFirst([&](const PaintStroke& s) {
            const std::optional<PaintPoint> apex = s.bendApex();
            return apex && distance(*apex, at) < handleTolerance;
        })) {
        beginDrag(*hit, StrokeEditDrag::arrowBend, at);
        return;
    }
    // 2. The text-box handle, drawn only for the selected stroke and so taken only from it.
    if (const PaintStroke* selected = strokeWithID(m_selectedStrokeID);
        selected && textHandleHit(*selected, at, canvasSize, m_measurer, tolerance(kTextBoxHandleRadius))) {
        beginDrag(*selected, StrokeEditDrag::textBoxResize, at);
        return;
    }
    // 3. Endpoints.
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (const std::optional<int> index = it->hitTestEndpoint(
                at, canvasSize, tolerance(kHandleThreshold), m_measurer)) {
            beginDrag(*it, StrokeEditDrag::endpoint, at, *index);
            return;
        }
    }
    // 4. Corners of region strokes.
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (const std::optional<int> index = it->hitTestCorner(at, canvasSize, tolerance(kHandleThreshold))) {
            beginDrag(*it, StrokeEditDrag::corner, at, *index);
            return;
        }
    }
    // 5. Bodies.
    if (const PaintStroke* hit = topmostFirst(
            [&](const PaintStroke& s) { return s.hitTest(at, canvasSize, tolerance(kBodyThreshold), m_measurer); })) {
        beginDrag(*hit, StrokeEditDrag::wholeStroke, at);
        return;
    }
    // Empty canvas: the selection goes.
    assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);
    assign(m_isDraggingSelection, false, IsDraggingSelectionChange);
}

bool PaintEngine::beginModifyingSelectionIfHit(const PaintPoint& at, const QSizeF& canvasSize)
{
    const PaintStroke* selected = strokeWithID(m_selectedStrokeID);
    if (!selected || selected->tool != m_selectedTool)
        return false;

    StrokeEditDrag::Kind kind;
    int index = 0;
    if (const std::optional<PaintPoint> apex = selected->bendApex();
        apex && distance(*apex, at) < normalizedTolerance(canvasSize, tolerance(kHandleThreshold))) {
        kind = StrokeEditDrag::arrowBend;
    } else if (textHandleHit(*selected, at, canvasSize, m_measurer, tolerance(kTextBoxHandleRadius))) {
        kind = StrokeEditDrag::textBoxResize;
    } else if (const std::optional<int> endpoint = selected->hitTestEndpoint(
                   at, canvasSize, tolerance(kHandleThreshold), m_measurer)) {
        kind = StrokeEditDrag::endpoint;
        index = *endpoint;
    } else if (const std::optional<int> corner = selected->hitTestCorner(at, canvasSize, tolerance(kHandleThreshold))) {
        kind = StrokeEditDrag::corner;
        index = *corner;
    } else {
        return false;
    }
    beginDrag(*selected, kind, at, index);
    return true;
}

bool PaintEngine::beginMovingExistingIfHit(const PaintPoint& at, const QSizeF& canvasSize)
{
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (it->tool != m_selectedTool)
            continue;
        if (it->hitTest(at, canvasSize, tolerance(kBodyThreshold), m_measurer)) {
            beginDrag(*it, StrokeEditDrag::wholeStroke, at);
            return true;
        }
    }
    return false;
}

void PaintEngine::continueSelection(const PaintPoint& to)
{
    if (!m_isDraggingSelection || !m_drag)
        return;
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (stroke && m_drag->apply(*stroke, to))
        markChanged(StrokesChange);
}

void PaintEngine::endSelection()
{
    assign(m_isDraggingSelection, false, IsDraggingSelectionChange);
    m_drag.reset();
}

// --- text entry ---
void PaintEngine::deleteSelectedStroke()
{
    ChangeBatch batch(*this);
    if (!m_selectedStrokeID)
        return;
    const QUuid id = *m_selectedStrokeID;
    if (std::erase_if(m_strokes, [&](const PaintStroke& s) { return s.id == id; }) > 0)
        markChanged(StrokesChange);
    assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);
    renumberBadges();
}

void PaintEngine::applyColorToSelection(const PaintColor& color)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    // Blackout stays black and an area highlight has no colour of its own.
    const ToolColor source = stroke ? stroke->tool.traits().color : ToolColor::none;
    if (source == ToolColor::black || source == ToolColor::none)
        return;
    stroke->color = color;
    markChanged(StrokesChange);
}

void PaintEngine::applyLineWidthToSelection(double lineWidth)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke)
        return;
    stroke->lineWidth = lineWidth;
    markChanged(StrokesChange);
}

void PaintEngine::applyFontSizeToSelection(double fontSize)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke || stroke->tool.traits().size != ToolSize::fontSize)
        return;
    stroke->fontSize = fontSize;
    markChanged(StrokesChange);
}

void PaintEngine::applyBadgeSizeToSelection(double badgeSize)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke || stroke->tool.traits().size != ToolSize::badgeSize)
        return;
    stroke->badgeSize = badgeSize;
    markChanged(StrokesChange);
}

void PaintEngine::applyEffectAmountToSelection(double amount)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke || stroke->tool.traits().size != ToolSize::effectAmount)
        return;
    stroke->effectAmount = amount;
    markChanged(StrokesChange);
}
