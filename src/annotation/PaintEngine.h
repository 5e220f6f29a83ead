#pragma once
#include "annotation/AnnotationMetrics.h"
#include "annotation/PaintColor.h"
#include "annotation/PaintPoint.h"
#include "annotation/PaintStroke.h"
#include "annotation/PaintTool.h"
#include "annotation/StrokeEditDrag.h"
#include "annotation/TextMeasurer.h"

#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <optional>
#include <vector>

// The editable state of one image under annotation: the finished strokes, the stroke being
// drawn, the chosen tool and style, the selection, an editing drag and the pending text entry.
// The canvas feeds every pointer drag through startStroke / continueStroke / endStroke; points
// are canvas fractions and the canvas size in points comes with each call that needs it.
// Each property announces its changes through its own signal, and every change also emits
// `changed()`, once the operation has finished. Main thread only.
//
// A pending text entry is ended with the text its stroke already holds whenever a new stroke
// starts or another text is opened, so callers commit their text field before that.
class PaintEngine : public QObject {
    Q_OBJECT
public:
    explicit PaintEngine(const TextMeasurer& measurer = TextMeasurer::shared(), QObject* parent = nullptr);

    const std::vector<PaintStroke>& strokes() const { return m_strokes; }
    const std::optional<PaintStroke>& currentStroke() const { return m_currentStroke; }
    PaintTool selectedTool() const { return m_selectedTool; }
    PaintColor selectedColor() const { return m_selectedColor; }
    double lineWidth() const { return m_lineWidth; }
    double fontSize() const { return m_fontSize; }
    double badgeSize() const { return m_badgeSize; }
    bool includeNumberInLabel() const { return m_includeNumberInLabel; }
    double effectAmount() const { return m_effectAmount; }
    std::optional<QUuid> selectedStrokeID() const { return m_selectedStrokeID; }
    bool isDraggingSelection() const { return m_isDraggingSelection; }
    int nextBadgeNumber() const { return m_nextBadgeNumber; }
    std::optional<QUuid> pendingTextEditID() const { return m_pendingTextEditID; }

    // Style of the strokes drawn next; restyling the selection is a separate call below.
    void setSelectedTool(PaintTool tool);
    void setSelectedColor(const PaintColor& color);
    void setLineWidth(double lineWidth);
    void setFontSize(double fontSize);
    void setBadgeSize(double badgeSize);
    void setIncludeNumberInLabel(bool include);
    void setEffectAmount(double amount);

    // --- one drag ---
    // The first point. The eraser takes `eraserColorOverride` (white without one); a highlighter
    // keeps `textSnapRect`, the text line it was started on.
    void startStroke(const PaintPoint& at, const QSizeF& canvasSize,
        const std::optional<PaintColor>& eraserColorOverride = std::nullopt,
        const std::optional<QRectF>& textSnapRect = std::nullopt);
    void continueStroke(const PaintPoint& to);
    void endStroke();

    // --- text entry ---
    // Ends the pending text entry with `text` (trimmed). Empty text removes a text or label and
    // leaves a badge without caption. A text stroke with `boxSize` (canvas points) becomes a box
    // of that size centred on its first point.
    void commitOrDiscardPendingText(
        const QString& text, const std::optional<QSizeF>& boxSize, const QSizeF& canvasSize);
    // The topmost text, label or badge under the point.
    std::optional<QUuid> editableTextStroke(const PaintPoint& at, const QSizeF& canvasSize) const;
    // Selects that text, label or badge and reopens its text entry.
    void beginEditingExistingText(const QUuid& strokeID);

    // --- editing ---
    void deleteSelectedStroke();
    void applyColorToSelection(const PaintColor& color);
    void applyLineWidthToSelection(double lineWidth);
    void applyFontSizeToSelection(double fontSize);
    void applyBadgeSizeToSelection(double badgeSize);
    void applyEffectAmountToSelection(double amount);
    // Removes the most recently added stroke still present.
    void undo();
    // Removes every stroke; tool, colour and sizes stay.
    void clear();
    // Replaces the strokes with stored ones (re-editing a saved screenshot) and numbers their
    // badges from 1 in drawing order; selection, drag and text entry are cleared.
    void loadStrokes(std::vector<PaintStroke> strokes);

    // The scale at which the canvas is shown (view pixels per canvas point, at most 1). Hit
    // tolerances of handles and bodies are meant on screen, so they are divided by it.
    void setViewScale(double viewScale);
    double viewScale() const { return m_viewScale; }

signals:
    void strokesChanged();
    void currentStrokeChanged();
    void selectedToolChanged();
    void selectedColorChanged();
    void lineWidthChanged();
    void fontSizeChanged();
    void badgeSizeChanged();
    void includeNumberInLabelChanged();
    void effectAmountChanged();
    void selectedStrokeIDChanged();
    void isDraggingSelectionChanged();
    void nextBadgeNumberChanged();
    void pendingTextEditIDChanged();
    // After any of the above.
    void changed();

private:
    void startSelection(const PaintPoint& at, const QSizeF& canvasSize);
    bool beginModifyingSelectionIfHit(const PaintPoint& at, const QSizeF& canvasSize);
    bool beginMovingExistingIfHit(const PaintPoint& at, const QSizeF& canvasSize);
    void continueSelection(const PaintPoint& to);
    void endSelection();
    void renumberBadges();
    // A tolerance in screen points as canvas points.
    double tolerance(double screenPoints) const { return screenPoints / m_viewScale; }
    // Ends a text entry that is still open, keeping the text its stroke already has.
    void settlePendingText();

    void beginDrag(const PaintStroke& stroke, StrokeEditDrag::Kind kind, const PaintPoint& at, int index = 0);
    PaintStroke* strokeWithID(const std::optional<QUuid>& id);
    const PaintStroke* strokeWithID(const std::optional<QUuid>& id) const;

    // Signals are collected while an operation runs and emitted once it has finished, so that
    // observers never see a half-done change.
    enum Change : unsigned {
        StrokesChange = 1u << 0,
        CurrentStrokeChange = 1u << 1,
        SelectedToolChange = 1u << 2,
        SelectedColorChange = 1u << 3,
        LineWidthChange = 1u << 4,
        FontSizeChange = 1u << 5,
        BadgeSizeChange = 1u << 6,
        IncludeNumberInLabelChange = 1u << 7,
        EffectAmountChange = 1u << 8,
        SelectedStrokeIDChange = 1u << 9,
        IsDraggingSelectionChange = 1u << 10,
        NextBadgeNumberChange = 1u << 11,
        PendingTextEditIDChange = 1u << 12,
    };
    class ChangeBatch;
    void markChanged(unsigned changes) { m_changes |= changes; }
    void flushChanges();
    template <typename T> void assign(T& field, const T& value, Change change)
    {
        if (!(field == value)) {
            field = value;
            markChanged(change);
        }
    }

    const TextMeasurer& m_measurer;

    std::vector<PaintStroke> m_strokes;
    std::optional<PaintStroke> m_currentStroke;
    PaintTool m_selectedTool = PaintTool::pen;
    PaintColor m_selectedColor {1.0, 0.23, 0.19, 1.0};
    double m_lineWidth = 3;
    double m_fontSize = 20;
    double m_badgeSize = AnnotationMetrics::defaultBadgeSize;
    bool m_includeNumberInLabel = false;
    double m_effectAmount = 10;
    std::optional<QUuid> m_selectedStrokeID;
    bool m_isDraggingSelection = false;
    std::optional<StrokeEditDrag> m_drag;
    int m_nextBadgeNumber = 1;
    std::optional<QUuid> m_pendingTextEditID;
    double m_viewScale = 1;

    unsigned m_changes = 0;
    int m_batchDepth = 0;
};
