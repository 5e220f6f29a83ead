#include "annotation/PaintCanvasView.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeRenderer.h"
#include "ui/Theme.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kDoubleClickInterval = 0.4;
// Highlighter drags that start this many line heights above or below a text line snap to it.
constexpr double kSnapReach = 0.3;

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

double monotonicSeconds()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// A dashed outline pen; QPen counts dashes in line widths, the marks in points.
QPen dashedPen(const QColor& color, double width, double on, double off)
{
    QPen pen(color);
    pen.setWidthF(width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(10);
    pen.setDashPattern({on / width, off / width});
    return pen;
}

void strokeRoundedRect(QPainter& painter, const QRectF& rect, double radius, const QPen& pen)
{
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect, radius, radius);
}

// A 6 × 6 white square with rounded corners, outlined in cyan.
void drawSquareHandle(QPainter& painter, const QPointF& centre)
{
    QPen pen(Theme::guide());
    pen.setWidthF(1);
    painter.setPen(pen);
    painter.setBrush(Theme::text());
    painter.drawRoundedRect(QRectF(centre.x() - 3, centre.y() - 3, 6, 6), 2, 2);
}

} // namespace

PaintCanvasView::PaintCanvasView(AnnotationDocument& document, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_engine(document.engine())
    , m_clock(monotonicSeconds)
    , m_layers(document)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // The cursor tells the picture from the margin around it.
    setMouseTracking(true);
    for (auto signal : {&PaintEngine::strokesChanged, &PaintEngine::selectedStrokeIDChanged,
             &PaintEngine::isDraggingSelectionChanged, &PaintEngine::pendingTextEditIDChanged})
        connect(&m_engine, signal, this, [this] { m_needsFullUpdate = true; });
    connect(&m_engine, &PaintEngine::currentStrokeChanged, this, [this] { m_liveStrokeChanged = true; });
    connect(&m_engine, &PaintEngine::changed, this, &PaintCanvasView::engineChanged);
    connect(&m_layers, &CanvasLayerCache::backgroundDrawingFinished, this, qOverload<>(&QWidget::update));
    updateCursor();
}

void PaintCanvasView::setInteractive(bool interactive)
{
    m_interactive = interactive;
    setFocusPolicy(interactive ? Qt::StrongFocus : Qt::NoFocus);
    if (!interactive && m_gestureActive) {
        m_gestureActive = false;
        m_suppressStrokeForCurrentGesture = false;
    }
    updateCursor();
}

QSize PaintCanvasView::sizeHint() const
{
    return m_document.canvasSize().toSize().boundedTo(QSize(1200, 800));
}

double PaintCanvasView::viewScale() const
{
    const QSizeF canvas = m_document.canvasSize();
    if (!(canvas.width() > 0) || !(canvas.height() > 0) || width() <= 0 || height() <= 0)
        return 1;
    return std::min({width() / canvas.width(), height() / canvas.height(), 1.0});
}

QRectF PaintCanvasView::canvasRectInView() const
{
    const double s = viewScale();
    const QSizeF size = m_document.canvasSize() * s;
    // The corner sits on a whole device pixel, so that the cached layers are copied 1:1.
    const double ratio = devicePixelRatioF();
    const auto snapped = [ratio](double v) { return std::round(v * ratio) / ratio; };
    return QRectF(QPointF(snapped((width() - size.width()) / 2), snapped((height() - size.height()) / 2)), size);
}

CanvasLayerCache::Geometry PaintCanvasView::layerGeometry() const
{
    const double ratio = devicePixelRatioF();
    const QSizeF pixels = canvasRectInView().size() * ratio;
    return {QSize(std::max(1, qRound(pixels.width())), std::max(1, qRound(pixels.height()))), ratio, viewScale()};
}

QPointF PaintCanvasView::viewPointFromCanvas(const QPointF& canvasPoint) const
{
    return canvasRectInView().topLeft() + canvasPoint * viewScale();
}

QPointF PaintCanvasView::canvasPointFromView(const QPointF& viewPoint) const
{
    return (viewPoint - canvasRectInView().topLeft()) / viewScale();
}

void PaintCanvasView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_engine.setViewScale(viewScale());
}

// --- drawing ---

void PaintCanvasView::engineChanged()
{
    updateCursor();
    const QRect live = liveStrokeViewRect();
    if (m_needsFullUpdate) {
        update();
    } else if (m_liveStrokeChanged) {
        // A pen stroke that grew by one point changes only around its newest segment; any other
        // change of the live stroke repaints where it was and where it is now.
        const auto& stroke = m_engine.currentStroke();
        const bool grew = stroke && stroke->tool.family() == ToolFamily::freehand && m_livePointCount > 0
            && stroke->points.size() == m_livePointCount + 1;
        if (grew) {
            const QSizeF canvas = m_document.canvasSize();
            const auto at = [&](const PaintPoint& p) {
                return viewPointFromCanvas(QPointF(p.x * canvas.width(), p.y * canvas.height()));
            };
            const double reach = std::max(stroke->lineWidth, 0.0) * viewScale() / 2 + 3;
            const QRectF segment = QRectF(at(stroke->points[m_livePointCount - 1]), at(stroke->points.back()))
                                       .normalized()
                                       .adjusted(-reach, -reach, reach, reach);
            update(segment.toAlignedRect());
        } else {
            update(m_liveRect.united(live));
        }
    }
    m_liveRect = live;
    m_livePointCount = m_engine.currentStroke() ? m_engine.currentStroke()->points.size() : 0;
    m_needsFullUpdate = false;
    m_liveStrokeChanged = false;
}

QRect PaintCanvasView::liveStrokeViewRect() const
{
    const auto& stroke = m_engine.currentStroke();
    if (!stroke || stroke->points.empty())
        return QRect();
    const QSizeF canvas = m_document.canvasSize();
    QRectF box = stroke->boundingBox();
    if (stroke->controlPoint)
        box = box.united(QRectF(stroke->controlPoint->toPointF(), QSizeF(0, 0)));
    QRectF inPoints(box.left() * canvas.width(), box.top() * canvas.height(), box.width() * canvas.width(),
        box.height() * canvas.height());
    if (stroke->tool.family() == ToolFamily::bar)
        inPoints = inPoints.united(stroke->highlighterBar(canvas));
    // Room for the line's width, an arrowhead and the antialiased edge.
    const double reach = (std::max(stroke->lineWidth, 0.0) / 2 + StrokeRenderer::kArrowheadLength) * viewScale() + 3;
    const QRectF inView(viewPointFromCanvas(inPoints.topLeft()), inPoints.size() * viewScale());
    return inView.adjusted(-reach, -reach, reach, reach).toAlignedRect();
}

void PaintCanvasView::paintEvent(QPaintEvent* event)
{
    const CanvasLayerCache::Geometry geometry = layerGeometry();
    m_layers.update(geometry, m_engine.isDraggingSelection() ? m_engine.selectedStrokeID() : std::optional<QUuid>());
    const QRectF picture = canvasRectInView();
    // The painter clips to the region asked for: a move of the pointer blends only that part.
    QPainter painter(this);
    painter.fillRect(rect(), Theme::annotationBase());
    const QImage& below = m_layers.below();
    if (!below.isNull() && m_layers.belowGeometry() == geometry) {
        painter.drawImage(picture.topLeft(), below);
    } else {
        // While a drawing of long strokes runs: the layer of an older size stretched to this one,
        // or before the first, the bare image.
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(picture, below.isNull() ? m_document.sourceBitmap() : below);
        painter.restore();
    }
    if (const auto& live = m_engine.currentStroke()) {
        const double s = viewScale();
        painter.save();
        // Also as the painter's own clip, so that a long live line works only on this part.
        painter.setClipRect(event->rect());
        painter.translate(picture.topLeft());
        painter.scale(s, s);
        painter.setClipRect(QRectF(QPointF(0, 0), m_document.canvasSize()), Qt::IntersectClip);
        StrokeRenderer::renderStroke(painter, *live, m_document.canvasSize(), true);
        painter.restore();
    }
    if (!m_layers.above().isNull())
        painter.drawImage(picture.topLeft(), m_layers.above());

    // The marks of the selection are drawn at screen size, like the tolerances of their handles.
    const std::optional<QUuid> selected = m_engine.selectedStrokeID();
    if (!selected || selected == m_engine.pendingTextEditID())
        return;
    const auto& strokes = m_engine.strokes();
    const auto it = std::find_if(
        strokes.begin(), strokes.end(), [&](const PaintStroke& st) { return st.id == *selected; });
    if (it == strokes.end())
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    renderSelectionHighlight(painter, *it);
}

void PaintCanvasView::renderSelectionHighlight(QPainter& painter, const PaintStroke& stroke)
{
    const QSizeF canvas = m_document.canvasSize();
    const double s = viewScale();
    const QPen dashed = dashedPen(withAlpha(Theme::guide(), 0.7), 1.5, 6, 4);
    const ToolHandles handles = stroke.tool.handles();
    if ((handles == ToolHandles::endpoints || handles == ToolHandles::endpointsAndBend) && stroke.points.size() == 2) {
        renderEndpointHandles(painter, stroke);
    } else if (handles == ToolHandles::textBox) {
        renderTextBoxHandle(painter, stroke);
    } else if (stroke.tool.family() == ToolFamily::badge) {
        if (stroke.points.empty())
            return;
        const QPointF centre = viewPointFromCanvas(
            QPointF(stroke.points.front().x * canvas.width(), stroke.points.front().y * canvas.height()));
        const double radius = std::max(0.9 * stroke.badgeSize.value_or(0) * s, 22.0);
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, radius, radius);
    } else {
        const QRectF box = stroke.boundingBox();
        const QPointF topLeft = viewPointFromCanvas(QPointF(box.left() * canvas.width(), box.top() * canvas.height()));
        const QRectF grown(topLeft.x() - 6, topLeft.y() - 6, box.width() * canvas.width() * s + 12,
            box.height() * canvas.height() * s + 12);
        strokeRoundedRect(painter, grown, 4, dashed);
        if (stroke.tool.isResizableRegionTool()) {
            for (const QPointF& corner : {grown.topLeft(), grown.topRight(), grown.bottomLeft(), grown.bottomRight()})
                drawSquareHandle(painter, corner);
        }
    }
}

void PaintCanvasView::renderEndpointHandles(QPainter& painter, const PaintStroke& stroke)
{
    const QSizeF canvas = m_document.canvasSize();
    const auto view = [&](const PaintPoint& p) {
        return viewPointFromCanvas(QPointF(p.x * canvas.width(), p.y * canvas.height()));
    };
    const auto dot = [&](const QPointF& centre) {
        QPen pen(Theme::text());
        pen.setWidthF(2);
        painter.setPen(pen);
        painter.setBrush(Theme::selectionHandle());
        painter.drawEllipse(centre, 7.0, 7.0);
    };
    if (stroke.tool.family() == ToolFamily::label) {
        dot(view(stroke.points.front()));
        if (const std::optional<QRectF> chip = stroke.labelChipRect(canvas)) {
            const QPointF topLeft = viewPointFromCanvas(chip->topLeft());
            const QRectF shown(topLeft, chip->size() * viewScale());
            strokeRoundedRect(painter, shown.adjusted(-3, -3, 3, 3), 8,
                dashedPen(withAlpha(Theme::selectionHandle(), 0.8), 1.5, 5, 3));
        }
        return;
    }
    dot(view(stroke.points.front()));
    dot(view(stroke.points.back()));
    if (const std::optional<PaintPoint> apex = stroke.bendApex()) {
        const QPointF c = view(*apex);
        QPainterPath diamond(QPointF(c.x(), c.y() - 6));
        diamond.lineTo(c.x() + 6, c.y());
        diamond.lineTo(c.x(), c.y() + 6);
        diamond.lineTo(c.x() - 6, c.y());
        diamond.closeSubpath();
        QPen pen(Theme::text());
        pen.setWidthF(2);
        painter.setPen(pen);
        painter.setBrush(Theme::orange());
        painter.drawPath(diamond);
    }
}

void PaintCanvasView::renderTextBoxHandle(QPainter& painter, const PaintStroke& stroke)
{
    const QSizeF canvas = m_document.canvasSize();
    const std::optional<QPointF> handle = stroke.textBoxHandlePoint(canvas);
    if (stroke.points.empty() || !handle)
        return;
    const QPointF h = viewPointFromCanvas(*handle);
    const QPointF p = viewPointFromCanvas(
        QPointF(stroke.points.front().x * canvas.width(), stroke.points.front().y * canvas.height()));
    const QPen dashed = dashedPen(withAlpha(Theme::guide(), 0.7), 1.5, 6, 4);
    if (stroke.points.size() >= 2) {
        const QRectF box(
            std::min(p.x(), h.x()), std::min(p.y(), h.y()), std::abs(h.x() - p.x()), std::abs(h.y() - p.y()));
        strokeRoundedRect(painter, box, 4, dashed);
    } else {
        const double radius = std::max(0.9 * stroke.fontSize.value_or(0) * viewScale(), 22.0);
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(p, radius, radius);
    }
    drawSquareHandle(painter, h);
}

// --- pointer ---

void PaintCanvasView::mousePressEvent(QMouseEvent* event)
{
    if (!m_interactive || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    // Only the picture takes presses: the dark margin around it starts nothing, so that no stroke,
    // badge or text lands where no one can see it. A drag that starts on the picture may leave it.
    if (!isOnPicture(event->position())) {
        event->accept();
        return;
    }
    m_gestureActive = true;
    dragChanged(event->position());
}

void PaintCanvasView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_gestureActive && (event->buttons() & Qt::LeftButton)) {
        dragChanged(event->position());
        return;
    }
    m_pointer = event->position();
    updateCursor();
}

void PaintCanvasView::leaveEvent(QEvent* event)
{
    m_pointer.reset();
    QWidget::leaveEvent(event);
}

bool PaintCanvasView::isOnPicture(const QPointF& viewPoint) const
{
    return canvasRectInView().contains(viewPoint);
}

void PaintCanvasView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_gestureActive || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_gestureActive = false;
    m_pointer = event->position();
    dragEnded();
    updateCursor();
}

void PaintCanvasView::keyPressEvent(QKeyEvent* event)
{
    if (m_interactive && (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)) {
        m_engine.deleteSelectedStroke();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PaintCanvasView::dragChanged(const QPointF& viewPoint)
{
    if (m_suppressStrokeForCurrentGesture)
        return;
    const QSizeF canvas = m_document.canvasSize();
    if (!(canvas.width() > 0) || !(canvas.height() > 0))
        return;
    // Not clamped: a drag past the edge gives fractions below 0 or above 1.
    const QPointF location = canvasPointFromView(viewPoint);
    PaintPoint point(location.x() / canvas.width(), location.y() / canvas.height(), 1.0);

    if (m_engine.currentStroke() || m_engine.isDraggingSelection()) {
        if (m_engine.currentStroke() && m_engine.currentStroke()->textSnapRect)
            point.y = m_engine.currentStroke()->textSnapRect->center().y();
        m_engine.continueStroke(point);
        return;
    }

    if (const std::optional<QUuid> id = registerClickAndCheckDoubleClick(point)) {
        m_suppressStrokeForCurrentGesture = true;
        emit strokeWillStart();
        m_engine.beginEditingExistingText(*id);
        return;
    }

    std::optional<PaintColor> eraserColor;
    if (m_engine.selectedTool().traits().color == ToolColor::background && m_eraserBackgroundColor)
        eraserColor = m_eraserBackgroundColor(location);

    std::optional<QRectF> snap;
    if (m_engine.selectedTool().family() == ToolFamily::bar) {
        for (const QRectF& line : m_document.textLineRects()) {
            const double reach = kSnapReach * line.height();
            if (point.x >= line.left() && point.x <= line.right() && point.y >= line.top() - reach
                && point.y <= line.bottom() + reach) {
                snap = line;
                point.y = line.center().y();
                break;
            }
        }
    }
    emit strokeWillStart();
    m_engine.startStroke(point, canvas, eraserColor, snap);
}

void PaintCanvasView::dragEnded()
{
    if (m_suppressStrokeForCurrentGesture) {
        m_suppressStrokeForCurrentGesture = false;
        return;
    }
    m_engine.endStroke();
}

std::optional<QUuid> PaintCanvasView::registerClickAndCheckDoubleClick(const PaintPoint& at)
{
    const std::optional<QUuid> id = m_engine.editableTextStroke(at, m_document.canvasSize());
    if (!id) {
        m_lastClickInfo.reset();
        return std::nullopt;
    }
    const double now = m_clock();
    const bool isDoubleClick = m_lastClickInfo && m_lastClickInfo->strokeID == *id
        && now - m_lastClickInfo->time < kDoubleClickInterval;
    m_lastClickInfo = ClickInfo {now, *id};
    return isDoubleClick ? id : std::nullopt;
}

void PaintCanvasView::updateCursor()
{
    if (!m_interactive) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    if (m_engine.isDraggingSelection()) {
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    // Beside the picture the pointer is a plain arrow: nothing is drawn there.
    if (!m_gestureActive && m_pointer && !isOnPicture(*m_pointer)) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    switch (m_engine.selectedTool().family()) {
    case ToolFamily::none:
        setCursor(Qt::ArrowCursor);
        break;
    case ToolFamily::text:
        setCursor(Qt::IBeamCursor);
        break;
    default:
        setCursor(Qt::CrossCursor);
        break;
    }
}
