#include "annotation/PaintEngine.h"

#include "annotation/PaintEngineChangeBatch.h"

#include <algorithm>
#include <cmath>
#include <utility>

using namespace PaintEngineTolerance;

namespace {

bool isTextTool(PaintTool tool)
{
    return tool.takesText();
}

} // namespace

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
    if (m_selectedTool.family() == ToolFamily::none) {
        startSelection(at, canvasSize);
        return;
    }
    // A handle of the selected stroke of this tool reshapes it.
    if (beginModifyingSelectionIfHit(at, canvasSize))
        return;
    // Shapes, texts and effects move when dragged by their body; pen and eraser draw over.
    if (m_selectedTool.family() != ToolFamily::freehand && beginMovingExistingIfHit(at, canvasSize))
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
    switch (m_selectedTool.traits().color) {
    case ToolColor::background:
        stroke.color = eraserColorOverride.value_or(PaintColor(1, 1, 1, 1));
        stroke.lineWidth = 3 * m_lineWidth;
        break;
    case ToolColor::black:
        stroke.color = PaintColor(0, 0, 0, 1);
        break;
    case ToolColor::chosen:
    case ToolColor::none:
        break;
    }
    switch (m_selectedTool.traits().size) {
    case ToolSize::fontSize:
        stroke.fontSize = m_fontSize;
        break;
    case ToolSize::badgeSize:
        stroke.badgeSize = m_badgeSize;
        break;
    case ToolSize::effectAmount:
        stroke.effectAmount = m_effectAmount;
        break;
    case ToolSize::lineWidth:
        break;
    }
    m_currentStroke = std::move(stroke);
    markChanged(CurrentStrokeChange);
}

void PaintEngine::continueStroke(const PaintPoint& to)
{
    ChangeBatch batch(*this);
    if (m_selectedTool.family() == ToolFamily::none || m_isDraggingSelection) {
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
    if (m_selectedTool.family() == ToolFamily::none || m_isDraggingSelection) {
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

    // The family's shape: a polyline keeps every point, an anchor the first, the rest both ends.
    switch (tool.family()) {
    case ToolFamily::text:
    case ToolFamily::badge:
        stroke.points = {stroke.points.front()};
        break;
    case ToolFamily::freehand:
        break;
    default:
        stroke.points = {stroke.points.front(), stroke.points.back()};
        break;
    }

    if (isTextTool(tool) && m_pendingTextEditID && *m_pendingTextEditID != stroke.id)
        settlePendingText();

    // A badge always takes the next number; a label only when asked to.
    if (tool.traits().isNumbered && (tool.family() != ToolFamily::label || m_includeNumberInLabel)) {
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
        if (stroke->tool.family() == ToolFamily::badge) {
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
        if (stroke->tool.handles() == ToolHandles::textBox && boxSize && width > 0 && height > 0 && !stroke->points.empty()) {
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
        // Badges always count; a label only when it was given a number.
        const bool numbered = stroke.tool.traits().isNumbered
            && (stroke.tool.family() != ToolFamily::label || stroke.badgeNumber.has_value());
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
