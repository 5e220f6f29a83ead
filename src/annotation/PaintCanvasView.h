#pragma once
#include "annotation/CanvasLayerCache.h"
#include "annotation/PaintColor.h"
#include "annotation/PaintPoint.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <optional>

class AnnotationDocument;
class PaintEngine;
struct PaintStroke;

// The drawing surface of the annotation editor: shows one document's image with its effects,
// strokes and texts (drawn by the same routine as the export), scaled to fit the widget but never
// enlarged, centred on the editor's dark base colour, and turns the pointer into engine calls.
// A drag starts, continues and ends strokes or edits; two presses on the same text, label or badge
// less than 0.4 s apart open it for editing; Delete and Backspace delete the selected stroke.
// Only the picture is a drawing surface: a press in the margin around it starts nothing.
// With the highlighter, a drag that starts on a detected text line snaps to it.
//
// What lies below the stroke being drawn (image, effects, finished strokes) and what lies above it
// (texts, badges, chips) are kept in two cached layers (CanvasLayerCache) in which each finished
// stroke is drawn once; a move of the pointer repaints only the part of the widget the stroke
// being drawn touched.
class PaintCanvasView : public QWidget {
    Q_OBJECT
public:
    // The image's background colour under a location in canvas points, for the eraser.
    using ColorSampler = std::function<std::optional<PaintColor>(const QPointF& canvasPoint)>;

    explicit PaintCanvasView(AnnotationDocument& document, QWidget* parent = nullptr);

    // Interactive: pointer and delete key reach the engine. Otherwise the canvas only draws.
    void setInteractive(bool interactive);
    bool isInteractive() const { return m_interactive; }
    void setEraserBackgroundColor(ColorSampler sampler) { m_eraserBackgroundColor = std::move(sampler); }

    // View pixels per canvas point: min(width / canvas width, height / canvas height, 1).
    double viewScale() const;
    // Where the canvas lies in the widget.
    QRectF canvasRectInView() const;
    QPointF viewPointFromCanvas(const QPointF& canvasPoint) const;
    QPointF canvasPointFromView(const QPointF& viewPoint) const;

    // The clock of the double-click rule, in seconds (monotonic); tests replace it.
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

    QSize sizeHint() const override;

    // How often the finished strokes were drawn from scratch into the cached layers, and whether
    // such a drawing runs on the worker pool now (for tests and benchmarks).
    int layerRenderCount() const { return m_layers.fullDrawCount(); }
    bool isDrawingLayersInBackground() const { return m_layers.isDrawingInBackground(); }

signals:
    // Sent right before the canvas starts a new stroke or opens a text for editing, so that an
    // open text field can commit its text first.
    void strokeWillStart();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void dragChanged(const QPointF& viewPoint);
    void dragEnded();
    std::optional<QUuid> registerClickAndCheckDoubleClick(const PaintPoint& at);
    void updateCursor();
    bool isOnPicture(const QPointF& viewPoint) const;

    void engineChanged();
    CanvasLayerCache::Geometry layerGeometry() const;
    // The part of the widget the stroke being drawn covers, in view pixels; empty without one.
    QRect liveStrokeViewRect() const;

    void renderSelectionHighlight(QPainter& painter, const PaintStroke& stroke);
    void renderEndpointHandles(QPainter& painter, const PaintStroke& stroke);
    void renderTextBoxHandle(QPainter& painter, const PaintStroke& stroke);

    AnnotationDocument& m_document;
    PaintEngine& m_engine;
    bool m_interactive = true;
    ColorSampler m_eraserBackgroundColor;
    std::function<double()> m_clock;

    struct ClickInfo {
        double time = 0;
        QUuid strokeID;
    };
    std::optional<ClickInfo> m_lastClickInfo;
    bool m_suppressStrokeForCurrentGesture = false;
    bool m_gestureActive = false;
    // Where the pointer hovers, for the cursor; none while it is outside the widget.
    std::optional<QPointF> m_pointer;

    // The image, its effects and the strokes as cached layers.
    CanvasLayerCache m_layers;
    // What engine signals asked of the next repaint: all of it, or the live stroke's part.
    bool m_needsFullUpdate = false;
    bool m_liveStrokeChanged = false;
    // The live stroke's part of the widget as last painted, and its number of points then.
    QRect m_liveRect;
    std::size_t m_livePointCount = 0;
};
