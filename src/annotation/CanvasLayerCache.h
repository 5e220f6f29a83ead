#pragma once
#include "annotation/PaintStroke.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QUuid>
#include <cstddef>
#include <optional>
#include <vector>

class AnnotationDocument;
class PaintEngine;

// What the drawing canvas shows of one document, kept as two layers at the screen's resolution:
// below the stroke being drawn (the image, its effects and the finished strokes) and above it
// (texts, badges and label chips). Finished strokes are drawn once: a stroke added on top of the
// others is drawn onto the layers as they are, the text of a text, badge or label redraws only
// the layer above, and a new widget size that keeps the picture's scale keeps both layers. Any
// other change draws the layer below again; when that means stroking many points (a long pen
// stroke), it is drawn on the worker pool while the older layer stays on screen. Main thread only,
// apart from that drawing, which gets copies of everything it reads.
class CanvasLayerCache : public QObject {
    Q_OBJECT
public:
    // What the layers are drawn for: the picture's size in device pixels, the device pixels per
    // view point and the view points per canvas point.
    struct Geometry {
        QSize pixels;
        double ratio = 1;
        double scale = 1;
        bool operator==(const Geometry&) const = default;
    };

    // Drawings of the layer below with more points than this run on the worker pool.
    static constexpr std::size_t kBackgroundPoints = 20000;

    explicit CanvasLayerCache(AnnotationDocument& document, QObject* parent = nullptr);

    // Brings the layers up to date with the engine's strokes at `geometry`. An effect stroke named
    // by `liveDragStrokeID` (one being dragged) shows its placeholder instead of its effect.
    void update(const Geometry& geometry, std::optional<QUuid> liveDragStrokeID);

    // The layer below, opaque; null until the first drawing has ended. While a drawing for a new
    // geometry runs on the worker pool, it is the older one (see `belowGeometry`).
    const QImage& below() const { return m_below; }
    std::optional<Geometry> belowGeometry() const;
    // The layer above, transparent, always of the geometry last passed to update(); null when no
    // stroke draws there.
    const QImage& above() const { return m_above; }

    bool isDrawingInBackground() const { return m_drawingInBackground; }
    // How often the layer below was drawn from scratch, with every finished stroke.
    int fullDrawCount() const { return m_fullDraws; }

signals:
    // A drawing on the worker pool has ended and its layer is in place.
    void backgroundDrawingFinished();

private:
    // The strokes a layer shows, as they were when it was drawn.
    struct Drawn {
        Geometry geometry;
        std::optional<QUuid> liveDragStrokeID;
        std::vector<PaintStroke> strokes;
        quint64 revision = 0;
    };
    struct BelowDrawing;
    struct BelowResult;

    void updateAbove(const Geometry& geometry);
    void updateBelow(const Geometry& geometry, const std::optional<QUuid>& liveDragStrokeID);
    BelowDrawing makeBelowDrawing(
        const Geometry& geometry, const std::optional<QUuid>& liveDragStrokeID, std::vector<PaintStroke> strokes);
    static BelowResult drawBelow(BelowDrawing drawing);
    void takeBelow(BelowResult result, quint64 revision);

    AnnotationDocument& m_document;
    PaintEngine& m_engine;
    // Grows with every change of the engine's strokes.
    quint64 m_revision = 1;

    QImage m_below;
    std::optional<Drawn> m_belowDrawn;
    QImage m_above;
    std::optional<Drawn> m_aboveDrawn;
    // The image and its brightened copy at the size of the layer last drawn.
    QImage m_scaledImage;
    QImage m_scaledBrightened;
    bool m_drawingInBackground = false;
    int m_fullDraws = 0;
};
