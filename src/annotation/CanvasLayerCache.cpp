#include "annotation/CanvasLayerCache.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationPainter.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeRenderer.h"
#include "platform/Background.h"
#include "ui/Theme.h"

#include <QHash>
#include <QPainter>
#include <algorithm>

namespace {

bool drawsBelow(const PaintStroke& stroke)
{
    const ToolFamily family = stroke.tool.family();
    return family != ToolFamily::text && family != ToolFamily::badge;
}

bool drawsAbove(const PaintStroke& stroke)
{
    const ToolFamily family = stroke.tool.family();
    return family == ToolFamily::text || family == ToolFamily::badge || family == ToolFamily::label;
}

// The strokes as the layer below shows them: texts and badges draw nothing there, and a label
// only its leader arrow, whatever its text and number.
std::vector<PaintStroke> belowStrokes(const std::vector<PaintStroke>& strokes)
{
    std::vector<PaintStroke> result;
    for (const PaintStroke& stroke : strokes) {
        if (!drawsBelow(stroke))
            continue;
        result.push_back(stroke);
        if (stroke.tool.family() == ToolFamily::label) {
            result.back().text.reset();
            result.back().fontSize.reset();
            result.back().badgeNumber.reset();
        }
    }
    return result;
}

std::vector<PaintStroke> aboveStrokes(const std::vector<PaintStroke>& strokes)
{
    std::vector<PaintStroke> result;
    std::copy_if(strokes.begin(), strokes.end(), std::back_inserter(result), drawsAbove);
    return result;
}

// Whether `now` is `drawn` with strokes added that lie above everything the layer below holds:
// anything but an effect, whose layers lie beneath every stroke.
bool addedOnTop(const std::vector<PaintStroke>& drawn, const std::vector<PaintStroke>& now)
{
    return now.size() > drawn.size() && std::equal(drawn.begin(), drawn.end(), now.begin())
        && std::all_of(now.begin() + std::ptrdiff_t(drawn.size()), now.end(),
            [](const PaintStroke& stroke) { return stroke.tool.effect() == ToolEffect::none; });
}

std::size_t pointCount(const std::vector<PaintStroke>& strokes)
{
    std::size_t count = 0;
    for (const PaintStroke& stroke : strokes)
        count += std::max<std::size_t>(stroke.points.size(), 1);
    return count;
}

QImage scaledTo(const QImage& image, const QSize& pixels)
{
    if (image.isNull() || image.size() == pixels)
        return image;
    return image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// A painter on `layer` that draws in canvas points, clipped to the canvas.
void beginOnLayer(QPainter& painter, QImage& layer, const CanvasLayerCache::Geometry& geometry, const QSizeF& canvas)
{
    layer.setDevicePixelRatio(geometry.ratio);
    painter.begin(&layer);
    painter.scale(geometry.scale, geometry.scale);
    painter.setClipRect(QRectF(QPointF(0, 0), canvas));
}

} // namespace

// Everything a drawing of the layer below reads, copied, so that it can run on the worker pool.
struct CanvasLayerCache::BelowDrawing {
    Geometry geometry;
    std::optional<QUuid> liveDragStrokeID;
    std::vector<PaintStroke> strokes;
    QSizeF canvasSize;
    QColor base;
    // The image, at the layer's size when it was scaled for it before; likewise the brightened
    // copy, null without area highlights.
    QImage image;
    QImage brightened;
    QHash<QUuid, QImage> effectCrops;
};

struct CanvasLayerCache::BelowResult {
    QImage layer;
    QImage scaledImage;
    QImage scaledBrightened;
    BelowDrawing drawing;
};

CanvasLayerCache::CanvasLayerCache(AnnotationDocument& document, QObject* parent)
    : QObject(parent)
    , m_document(document)
    , m_engine(document.engine())
{
    connect(&m_engine, &PaintEngine::strokesChanged, this, [this] { ++m_revision; });
}

std::optional<CanvasLayerCache::Geometry> CanvasLayerCache::belowGeometry() const
{
    return m_belowDrawn ? std::optional<Geometry>(m_belowDrawn->geometry) : std::nullopt;
}

void CanvasLayerCache::update(const Geometry& geometry, std::optional<QUuid> liveDragStrokeID)
{
    // Only the effects of mosaic and blur strokes turn into a placeholder while dragged; any other
    // stroke is drawn as itself.
    if (liveDragStrokeID) {
        const auto& strokes = m_engine.strokes();
        const auto it = std::find_if(
            strokes.begin(), strokes.end(), [&](const PaintStroke& stroke) { return stroke.id == *liveDragStrokeID; });
        if (it == strokes.end() || (it->tool.effect() != ToolEffect::mosaic && it->tool.effect() != ToolEffect::blur))
            liveDragStrokeID.reset();
    }
    updateAbove(geometry);
    updateBelow(geometry, liveDragStrokeID);
}

void CanvasLayerCache::updateAbove(const Geometry& geometry)
{
    if (m_aboveDrawn && m_aboveDrawn->revision == m_revision && m_aboveDrawn->geometry == geometry)
        return;
    std::vector<PaintStroke> strokes = aboveStrokes(m_engine.strokes());
    const bool same = m_aboveDrawn && m_aboveDrawn->geometry == geometry && m_aboveDrawn->strokes == strokes;
    if (!same) {
        // Texts, badges and chips are few and quick to draw: they are drawn afresh.
        m_above = QImage();
        if (!strokes.empty()) {
            m_above = QImage(geometry.pixels, QImage::Format_ARGB32_Premultiplied);
            m_above.fill(Qt::transparent);
            QPainter painter;
            beginOnLayer(painter, m_above, geometry, m_document.canvasSize());
            AnnotationPainter::paintAboveLiveStroke(painter,
                AnnotationScene {strokes, m_document.canvasSize(), std::nullopt, {}, QImage(), nullptr, std::nullopt});
        }
    }
    m_aboveDrawn = Drawn {geometry, std::nullopt, std::move(strokes), m_revision};
}

void CanvasLayerCache::updateBelow(const Geometry& geometry, const std::optional<QUuid>& liveDragStrokeID)
{
    const bool sameKey = m_belowDrawn && m_belowDrawn->geometry == geometry
        && m_belowDrawn->liveDragStrokeID == liveDragStrokeID && !m_below.isNull();
    if (sameKey && m_belowDrawn->revision == m_revision)
        return;
    // A drawing under way for another geometry is taken first; what changed since follows it.
    if (!sameKey && m_drawingInBackground)
        return;
    std::vector<PaintStroke> strokes = belowStrokes(m_engine.strokes());
    if (sameKey && strokes == m_belowDrawn->strokes) {
        m_belowDrawn->revision = m_revision;
        return;
    }
    if (sameKey && addedOnTop(m_belowDrawn->strokes, strokes)) {
        // New strokes on top are drawn over the layer as it is, exactly as a drawing of all would.
        QPainter painter;
        beginOnLayer(painter, m_below, geometry, m_document.canvasSize());
        for (auto it = strokes.begin() + std::ptrdiff_t(m_belowDrawn->strokes.size()); it != strokes.end(); ++it)
            StrokeRenderer::renderStroke(painter, *it, m_document.canvasSize(), false);
        painter.end();
        m_belowDrawn->strokes = std::move(strokes);
        m_belowDrawn->revision = m_revision;
        return;
    }
    if (m_drawingInBackground)
        return;

    ++m_fullDraws;
    const quint64 revision = m_revision;
    // An editing drag redraws at every pointer move and must follow the pointer, so it never waits.
    const bool inBackground = pointCount(strokes) > kBackgroundPoints && !m_engine.isDraggingSelection();
    BelowDrawing drawing = makeBelowDrawing(geometry, liveDragStrokeID, std::move(strokes));
    if (!inBackground) {
        takeBelow(drawBelow(std::move(drawing)), revision);
        return;
    }
    m_drawingInBackground = true;
    Background::run(
        this, [drawing = std::move(drawing)]() mutable { return drawBelow(std::move(drawing)); },
        [this, revision](BelowResult result) {
            m_drawingInBackground = false;
            takeBelow(std::move(result), revision);
            emit backgroundDrawingFinished();
        });
}

CanvasLayerCache::BelowDrawing CanvasLayerCache::makeBelowDrawing(
    const Geometry& geometry, const std::optional<QUuid>& liveDragStrokeID, std::vector<PaintStroke> strokes)
{
    BelowDrawing drawing;
    drawing.geometry = geometry;
    drawing.liveDragStrokeID = liveDragStrokeID;
    drawing.canvasSize = m_document.canvasSize();
    drawing.base = Theme::annotationBase();
    drawing.image = m_scaledImage.size() == geometry.pixels ? m_scaledImage : m_document.sourceBitmap();
    const bool highlights = std::any_of(strokes.begin(), strokes.end(),
        [](const PaintStroke& stroke) { return stroke.tool.effect() == ToolEffect::areaHighlight; });
    if (highlights) {
        drawing.brightened = m_scaledBrightened.size() == geometry.pixels ? m_scaledBrightened
                                                                          : m_document.brightenedImage();
    }
    // The crops come from the document's cache, which lives on this thread.
    for (const PaintStroke& stroke : strokes) {
        const ToolEffect effect = stroke.tool.effect();
        if ((effect == ToolEffect::mosaic || effect == ToolEffect::blur) && stroke.id != liveDragStrokeID)
            drawing.effectCrops.insert(stroke.id, m_document.croppedEffectImage(stroke));
    }
    drawing.strokes = std::move(strokes);
    return drawing;
}

CanvasLayerCache::BelowResult CanvasLayerCache::drawBelow(BelowDrawing drawing)
{
    // Drawing the full-size image scaled at every drawing would be slow for large screenshots,
    // so it is scaled once per layer size.
    BelowResult result;
    result.scaledImage = scaledTo(drawing.image, drawing.geometry.pixels);
    result.scaledBrightened = scaledTo(drawing.brightened, drawing.geometry.pixels);
    QImage layer(drawing.geometry.pixels, QImage::Format_ARGB32_Premultiplied);
    if (!layer.isNull()) {
        layer.fill(drawing.base);
        QPainter painter;
        beginOnLayer(painter, layer, drawing.geometry, drawing.canvasSize);
        const QHash<QUuid, QImage>& crops = drawing.effectCrops;
        AnnotationPainter::paintBelowLiveStroke(painter,
            AnnotationScene {drawing.strokes, drawing.canvasSize, result.scaledImage,
                [&crops](const PaintStroke& stroke) { return crops.value(stroke.id); }, result.scaledBrightened,
                nullptr, drawing.liveDragStrokeID});
    }
    result.layer = std::move(layer);
    result.drawing = std::move(drawing);
    return result;
}

void CanvasLayerCache::takeBelow(BelowResult result, quint64 revision)
{
    // Without the memory for a layer the canvas shows the bare image, and the next repaint tries again.
    m_below = std::move(result.layer);
    m_scaledImage = std::move(result.scaledImage);
    m_scaledBrightened = std::move(result.scaledBrightened);
    BelowDrawing& drawing = result.drawing;
    m_belowDrawn = Drawn {drawing.geometry, drawing.liveDragStrokeID, std::move(drawing.strokes), revision};
}
