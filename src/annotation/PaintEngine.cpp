#include "annotation/PaintEngine.h"

#include "annotation/AnnotationMetrics.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Tolerances of the handles, in canvas points.
constexpr double kHandleThreshold = 10; // endpoints, corners, the arrow bend
constexpr double kBodyThreshold = 8;    // the body of a stroke
constexpr double kTextBoxHandleRadius = 15;

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

bool isTextTool(PaintTool tool)
{
    return tool == PaintTool::text || tool == PaintTool::label || tool == PaintTool::numberBadge;
}

} // namespace

class PaintEngine::ChangeBatch {
public:
    explicit ChangeBatch(PaintEngine& engine)
        : m_engine(engine)
    {
        ++m_engine.m_batchDepth;
    }
    ~ChangeBatch()
    {
        if (--m_engine.m_batchDepth == 0)
            m_engine.flushChanges();
    }
    ChangeBatch(const ChangeBatch&) = delete;
    ChangeBatch& operator=(const ChangeBatch&) = delete;

private:
    PaintEngine& m_engine;
};

PaintEngine::PaintEngine(const TextMeasurer& measurer, QObject* parent)
    : QObject(parent)
    , m_measurer(measurer)
{
}

void PaintEngine::flushChanges()
{
    const unsigned changes = std::exchange(m_changes, 0u);
    if (changes == 0)
        return;
    if (changes & StrokesChange)
        emit strokesChanged();
    if (changes & CurrentStrokeChange)
        emit currentStrokeChanged();
    if (changes & SelectedToolChange)
        emit selectedToolChanged();
    if (changes & SelectedColorChange)
        emit selectedColorChanged();
    if (changes & LineWidthChange)
        emit lineWidthChanged();
    if (changes & FontSizeChange)
        emit fontSizeChanged();
    if (changes & BadgeSizeChange)
        emit badgeSizeChanged();
    if (changes & IncludeNumberInLabelChange)
        emit includeNumberInLabelChanged();
    if (changes & EffectAmountChange)
        emit effectAmountChanged();
    if (changes & SelectedStrokeIDChange)
        emit selectedStrokeIDChanged();
    if (changes & IsDraggingSelectionChange)
        emit isDraggingSelectionChanged();
    if (changes & NextBadgeNumberChange)
        emit nextBadgeNumberChanged();
    if (changes & PendingTextEditIDChange)
        emit pendingTextEditIDChanged();
    emit changed();
}

// --- style of new strokes ---

void PaintEngine::setSelectedTool(PaintTool tool)
{
    ChangeBatch batch(*this);
    assign(m_selectedTool, tool, SelectedToolChange);
}

void PaintEngine::setSelectedColor(const PaintColor& color)
{
    ChangeBatch batch(*this);
    assign(m_selectedColor, color, SelectedColorChange);
}

void PaintEngine::setLineWidth(double lineWidth)
{
    ChangeBatch batch(*this);
    assign(m_lineWidth, lineWidth, LineWidthChange);
}

void PaintEngine::setFontSize(double fontSize)
{
    ChangeBatch batch(*this);
    assign(m_fontSize, fontSize, FontSizeChange);
}

void PaintEngine::setBadgeSize(double badgeSize)
{
    ChangeBatch batch(*this);
    assign(m_badgeSize, badgeSize, BadgeSizeChange);
}

void PaintEngine::setIncludeNumberInLabel(bool include)
{
    ChangeBatch batch(*this);
    assign(m_includeNumberInLabel, include, IncludeNumberInLabelChange);
}

void PaintEngine::setEffectAmount(double amount)
{
    ChangeBatch batch(*this);
    assign(m_effectAmount, amount, EffectAmountChange);
}

// --- lookup ---

PaintStroke* PaintEngine::strokeWithID(const std::optional<QUuid>& id)
{
    if (!id)
        return nullptr;
    const auto it = std::find_if(m_strokes.begin(), m_strokes.end(), [&](const PaintStroke& s) { return s.id == *id; });
    return it == m_strokes.end() ? nullptr : &*it;
}

const PaintStroke* PaintEngine::strokeWithID(const std::optional<QUuid>& id) const
{
    return const_cast<PaintEngine*>(this)->strokeWithID(id);
}

// --- one drag ---

void PaintEngine::startStroke(const PaintPoint& at, const QSizeF& canvasSize,
    const std::optional<PaintColor>& eraserColorOverride, const std::optional<QRectF>& textSnapRect)
{
    ChangeBatch batch(*this);
    if (m_selectedTool == PaintTool::select) {
        startSelection(at, canvasSize);
        return;
    }
    // A handle of the selected stroke of this tool reshapes it.
    if (beginModifyingSelectionIfHit(at, canvasSize))
        return;
    // Shapes, texts and effects move when dragged by their body; pen and eraser draw over.
    if (m_selectedTool != PaintTool::pen && m_selectedTool != PaintTool::eraser
        && beginMovingExistingIfHit(at, canvasSize))
        return;

    // A new stroke begins: a text entry still open is ended first, so that no empty text is left behind.
    settlePendingText();
    assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);

    PaintStroke stroke;
    stroke.id = QUuid::createUuid();
    stroke.points = {at};
    stroke.tool = m_selectedTool;
    stroke.color = m_selectedColor;
    stroke.lineWidth = m_lineWidth;
    stroke.createdAt = PaintStroke::now();
    stroke.textSnapRect = textSnapRect;
    switch (m_selectedTool) {
    case PaintTool::eraser:
        stroke.color = eraserColorOverride.value_or(PaintColor(1, 1, 1, 1));
        stroke.lineWidth = 3 * m_lineWidth;
        break;
    case PaintTool::blackout:
        stroke.color = PaintColor(0, 0, 0, 1);
        break;
    case PaintTool::text:
    case PaintTool::label:
        stroke.fontSize = m_fontSize;
        break;
    case PaintTool::numberBadge:
        stroke.badgeSize = m_badgeSize;
        break;
    case PaintTool::mosaic:
    case PaintTool::blur:
        stroke.effectAmount = m_effectAmount;
        break;
    default:
        break;
    }
    m_currentStroke = std::move(stroke);
    markChanged(CurrentStrokeChange);
}

void PaintEngine::continueStroke(const PaintPoint& to)
{
    ChangeBatch batch(*this);
    if (m_selectedTool == PaintTool::select || m_isDraggingSelection) {
        continueSelection(to);
        return;
    }
    if (!m_currentStroke)
        return;
    m_currentStroke->points.push_back(to);
    markChanged(CurrentStrokeChange);
}

void PaintEngine::endStroke()
{
    ChangeBatch batch(*this);
    if (m_selectedTool == PaintTool::select || m_isDraggingSelection) {
        endSelection();
        // A stroke left over from a tool switched mid-drag is dropped.
        if (m_currentStroke) {
            m_currentStroke.reset();
            markChanged(CurrentStrokeChange);
        }
        return;
    }
    if (!m_currentStroke)
        return;

    PaintStroke stroke = std::move(*m_currentStroke);
    m_currentStroke.reset();
    markChanged(CurrentStrokeChange);

    const PaintTool tool = stroke.tool;
    const std::size_t minimumPoints = isTextTool(tool) ? 1 : 2;
    if (stroke.points.size() < minimumPoints)
        return;

    switch (tool) {
    case PaintTool::text:
    case PaintTool::numberBadge:
        stroke.points = {stroke.points.front()};
        break;
    case PaintTool::pen:
    case PaintTool::eraser:
        break;
    default:
        stroke.points = {stroke.points.front(), stroke.points.back()};
        break;
    }

    if (isTextTool(tool) && m_pendingTextEditID && *m_pendingTextEditID != stroke.id)
        settlePendingText();

    if (tool == PaintTool::numberBadge || (tool == PaintTool::label && m_includeNumberInLabel)) {
        stroke.badgeNumber = m_nextBadgeNumber;
        assign(m_nextBadgeNumber, m_nextBadgeNumber + 1, NextBadgeNumberChange);
    }

    const QUuid id = stroke.id;
    m_strokes.push_back(std::move(stroke));
    markChanged(StrokesChange);
    assign(m_selectedStrokeID, std::optional<QUuid>(id), SelectedStrokeIDChange);
    if (isTextTool(tool))
        assign(m_pendingTextEditID, std::optional<QUuid>(id), PendingTextEditIDChange);
}

// --- selection and editing drags ---

void PaintEngine::beginDrag(const PaintStroke& stroke, DragTarget target, const PaintPoint& at)
{
    assign(m_selectedStrokeID, std::optional<QUuid>(stroke.id), SelectedStrokeIDChange);
    m_dragTarget = target;
    assign(m_isDraggingSelection, true, IsDraggingSelectionChange);
    m_dragStartPoint = at;
    m_originalStrokePoints = stroke.points;
    m_originalControlPoint = stroke.controlPoint;
    m_originalTextSnapRect = stroke.textSnapRect;
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
        beginDrag(*hit, {DragTarget::arrowBend}, at);
        return;
    }
    // 2. The text-box handle, drawn only for the selected stroke and so taken only from it.
    if (const PaintStroke* selected = strokeWithID(m_selectedStrokeID);
        selected && textHandleHit(*selected, at, canvasSize, m_measurer, tolerance(kTextBoxHandleRadius))) {
        beginDrag(*selected, {DragTarget::textBoxResize}, at);
        return;
    }
    // 3. Endpoints.
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (const std::optional<int> index = it->hitTestEndpoint(
                at, canvasSize, tolerance(kHandleThreshold), m_measurer)) {
            beginDrag(*it, {DragTarget::endpoint, *index}, at);
            return;
        }
    }
    // 4. Corners of region strokes.
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (const std::optional<int> index = it->hitTestCorner(at, canvasSize, tolerance(kHandleThreshold))) {
            beginDrag(*it, {DragTarget::corner, *index}, at);
            return;
        }
    }
    // 5. Bodies.
    if (const PaintStroke* hit = topmostFirst(
            [&](const PaintStroke& s) { return s.hitTest(at, canvasSize, tolerance(kBodyThreshold), m_measurer); })) {
        beginDrag(*hit, {DragTarget::wholeStroke}, at);
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

    DragTarget target;
    if (const std::optional<PaintPoint> apex = selected->bendApex();
        apex && distance(*apex, at) < normalizedTolerance(canvasSize, tolerance(kHandleThreshold))) {
        target = {DragTarget::arrowBend};
    } else if (textHandleHit(*selected, at, canvasSize, m_measurer, tolerance(kTextBoxHandleRadius))) {
        target = {DragTarget::textBoxResize};
    } else if (const std::optional<int> endpoint = selected->hitTestEndpoint(
                   at, canvasSize, tolerance(kHandleThreshold), m_measurer)) {
        target = {DragTarget::endpoint, *endpoint};
    } else if (const std::optional<int> corner = selected->hitTestCorner(at, canvasSize, tolerance(kHandleThreshold))) {
        target = {DragTarget::corner, *corner};
    } else {
        return false;
    }
    beginDrag(*selected, target, at);
    return true;
}

bool PaintEngine::beginMovingExistingIfHit(const PaintPoint& at, const QSizeF& canvasSize)
{
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (it->tool != m_selectedTool)
            continue;
        if (it->hitTest(at, canvasSize, tolerance(kBodyThreshold), m_measurer)) {
            beginDrag(*it, {DragTarget::wholeStroke}, at);
            return true;
        }
    }
    return false;
}

void PaintEngine::continueSelection(const PaintPoint& to)
{
    if (!m_isDraggingSelection || !m_originalStrokePoints)
        return;
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke)
        return;
    const std::vector<PaintPoint>& saved = *m_originalStrokePoints;

    switch (m_dragTarget.kind) {
    case DragTarget::endpoint: {
        if (m_dragTarget.index < 0 || static_cast<std::size_t>(m_dragTarget.index) >= saved.size())
            return;
        std::vector<PaintPoint> points = saved;
        points[static_cast<std::size_t>(m_dragTarget.index)] = to;
        stroke->points = std::move(points);
        break;
    }
    case DragTarget::corner: {
        if (saved.size() != 2)
            return;
        // The corner diagonally opposite the dragged one stays where it is.
        const int index = m_dragTarget.index;
        const double fixedX = (index == 0 || index == 2) ? std::max(saved[0].x, saved[1].x)
                                                         : std::min(saved[0].x, saved[1].x);
        const double fixedY = (index == 0 || index == 1) ? std::max(saved[0].y, saved[1].y)
                                                         : std::min(saved[0].y, saved[1].y);
        stroke->points = {to, PaintPoint(fixedX, fixedY, 1.0)};
        break;
    }
    case DragTarget::wholeStroke: {
        if (!m_dragStartPoint)
            return;
        const double dx = to.x - m_dragStartPoint->x;
        const double dy = to.y - m_dragStartPoint->y;
        std::vector<PaintPoint> points;
        points.reserve(saved.size());
        for (const PaintPoint& p : saved)
            points.emplace_back(p.x + dx, p.y + dy, p.pressure);
        stroke->points = std::move(points);
        // The bend of an arrow and the text line of a highlighter travel with the stroke.
        if (m_originalControlPoint) {
            const PaintPoint& c = *m_originalControlPoint;
            stroke->controlPoint = PaintPoint(c.x + dx, c.y + dy, c.pressure);
        }
        if (m_originalTextSnapRect)
            stroke->textSnapRect = m_originalTextSnapRect->translated(dx, dy);
        break;
    }
    case DragTarget::arrowBend: {
        if (saved.size() != 2)
            return;
        // The control point that puts the curve's middle through the pointer.
        const PaintPoint& a = saved.front();
        const PaintPoint& b = saved.back();
        stroke->controlPoint = PaintPoint(2 * to.x - (a.x + b.x) / 2, 2 * to.y - (a.y + b.y) / 2, 1.0);
        break;
    }
    case DragTarget::textBoxResize:
        if (saved.empty())
            return;
        stroke->points = {saved.front(), to};
        break;
    }
    markChanged(StrokesChange);
}

void PaintEngine::endSelection()
{
    assign(m_isDraggingSelection, false, IsDraggingSelectionChange);
    m_dragStartPoint.reset();
    m_originalStrokePoints.reset();
    m_originalControlPoint.reset();
    m_originalTextSnapRect.reset();
    m_dragTarget = DragTarget();
}

// --- text entry ---

void PaintEngine::commitOrDiscardPendingText(
    const QString& text, const std::optional<QSizeF>& boxSize, const QSizeF& canvasSize)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_pendingTextEditID);
    if (!stroke) {
        assign(m_pendingTextEditID, std::optional<QUuid>(), PendingTextEditIDChange);
        return;
    }
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        if (stroke->tool == PaintTool::numberBadge) {
            // A badge without caption is still a badge.
            if (stroke->text) {
                stroke->text.reset();
                markChanged(StrokesChange);
            }
        } else {
            const QUuid id = stroke->id;
            const bool wasNumbered = stroke->badgeNumber.has_value();
            std::erase_if(m_strokes, [&](const PaintStroke& s) { return s.id == id; });
            markChanged(StrokesChange);
            if (m_selectedStrokeID == id)
                assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);
            // A numbered label that goes must not leave a gap in the numbers.
            if (wasNumbered)
                renumberBadges();
        }
    } else {
        stroke->text = trimmed;
        const double width = canvasSize.width();
        const double height = canvasSize.height();
        if (stroke->tool == PaintTool::text && boxSize && width > 0 && height > 0 && !stroke->points.empty()) {
            // The box is centred on the first point, where the text field was.
            const double cx = stroke->points.front().x * width;
            const double cy = stroke->points.front().y * height;
            stroke->points = {
                PaintPoint((cx - boxSize->width() / 2) / width, (cy - boxSize->height() / 2) / height, 1.0),
                PaintPoint((cx + boxSize->width() / 2) / width, (cy + boxSize->height() / 2) / height, 1.0),
            };
        }
        markChanged(StrokesChange);
    }
    assign(m_pendingTextEditID, std::optional<QUuid>(), PendingTextEditIDChange);
}

void PaintEngine::settlePendingText()
{
    if (!m_pendingTextEditID)
        return;
    const PaintStroke* stroke = strokeWithID(m_pendingTextEditID);
    const QString text = stroke && stroke->text ? *stroke->text : QString();
    commitOrDiscardPendingText(text, std::nullopt, QSizeF());
}

std::optional<QUuid> PaintEngine::editableTextStroke(const PaintPoint& at, const QSizeF& canvasSize) const
{
    for (auto it = m_strokes.rbegin(); it != m_strokes.rend(); ++it) {
        if (isTextTool(it->tool) && it->hitTest(at, canvasSize, tolerance(kBodyThreshold), m_measurer))
            return it->id;
    }
    return std::nullopt;
}

void PaintEngine::beginEditingExistingText(const QUuid& strokeID)
{
    ChangeBatch batch(*this);
    const PaintStroke* stroke = strokeWithID(strokeID);
    if (!stroke || !isTextTool(stroke->tool))
        return;
    // Another entry still open is ended first; an empty text or label of it goes.
    if (m_pendingTextEditID && *m_pendingTextEditID != strokeID)
        settlePendingText();
    assign(m_selectedStrokeID, std::optional<QUuid>(strokeID), SelectedStrokeIDChange);
    assign(m_pendingTextEditID, std::optional<QUuid>(strokeID), PendingTextEditIDChange);
}

// --- numbering, delete, restyle, undo, clear ---

void PaintEngine::renumberBadges()
{
    int counter = 1;
    bool renumbered = false;
    for (PaintStroke& stroke : m_strokes) {
        const bool numbered = stroke.tool == PaintTool::numberBadge
            || (stroke.tool == PaintTool::label && stroke.badgeNumber.has_value());
        if (!numbered)
            continue;
        if (stroke.badgeNumber != counter) {
            stroke.badgeNumber = counter;
            renumbered = true;
        }
        ++counter;
    }
    if (renumbered)
        markChanged(StrokesChange);
    assign(m_nextBadgeNumber, counter, NextBadgeNumberChange);
}

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
    if (!stroke || stroke->tool == PaintTool::blackout || stroke->tool == PaintTool::areaHighlight)
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
    if (!stroke || (stroke->tool != PaintTool::text && stroke->tool != PaintTool::label))
        return;
    stroke->fontSize = fontSize;
    markChanged(StrokesChange);
}

void PaintEngine::applyBadgeSizeToSelection(double badgeSize)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke || stroke->tool != PaintTool::numberBadge)
        return;
    stroke->badgeSize = badgeSize;
    markChanged(StrokesChange);
}

void PaintEngine::applyEffectAmountToSelection(double amount)
{
    ChangeBatch batch(*this);
    PaintStroke* stroke = strokeWithID(m_selectedStrokeID);
    if (!stroke || (stroke->tool != PaintTool::mosaic && stroke->tool != PaintTool::blur))
        return;
    stroke->effectAmount = amount;
    markChanged(StrokesChange);
}

void PaintEngine::undo()
{
    ChangeBatch batch(*this);
    if (!m_strokes.empty()) {
        const QUuid id = m_strokes.back().id;
        m_strokes.pop_back();
        markChanged(StrokesChange);
        if (m_selectedStrokeID == id)
            assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);
        if (m_pendingTextEditID == id)
            assign(m_pendingTextEditID, std::optional<QUuid>(), PendingTextEditIDChange);
    }
    renumberBadges();
}

void PaintEngine::loadStrokes(std::vector<PaintStroke> strokes)
{
    ChangeBatch batch(*this);
    m_strokes = std::move(strokes);
    markChanged(StrokesChange);
    if (m_currentStroke) {
        m_currentStroke.reset();
        markChanged(CurrentStrokeChange);
    }
    endSelection();
    assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);
    assign(m_pendingTextEditID, std::optional<QUuid>(), PendingTextEditIDChange);
    renumberBadges();
}

void PaintEngine::setViewScale(double viewScale)
{
    // Never below a tenth, so that a collapsed view cannot make every click hit everything.
    m_viewScale = std::isfinite(viewScale) ? std::clamp(viewScale, 0.1, 1.0) : 1.0;
}

void PaintEngine::clear()
{
    ChangeBatch batch(*this);
    if (!m_strokes.empty()) {
        m_strokes.clear();
        markChanged(StrokesChange);
    }
    if (m_currentStroke) {
        m_currentStroke.reset();
        markChanged(CurrentStrokeChange);
    }
    assign(m_selectedStrokeID, std::optional<QUuid>(), SelectedStrokeIDChange);
    assign(m_pendingTextEditID, std::optional<QUuid>(), PendingTextEditIDChange);
    renumberBadges();
}
