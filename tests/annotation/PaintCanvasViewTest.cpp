// The canvas widget's gestures: the double click that reopens a text, the highlighter's snap to
// text lines, and hit tolerances that stay the same on screen at any fit scale; its cached layers
// and the small repaints of a stroke being drawn.
#include "RenderTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationPainter.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "fakes/FakeTextRecognizer.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include "ui/Theme.h"
#include <cmath>
#include <QTest>

namespace {

// Coloured stripes, so that blur, mosaic and blending show.
QImage stripedImage(int width, int height)
{
    QImage image = filledImage(width, height, Qt::white);
    QPainter painter(&image);
    for (int x = 0; x < width; x += 12)
        painter.fillRect(QRect(x, 0, 5, height), QColor::fromHsv((x * 3) % 360, 200, 220));
    return image;
}

struct CanvasFixture {
    explicit CanvasFixture(QSize imageSize, QSize viewSize, TextRecognizer* recognizer = nullptr)
        : CanvasFixture(filledImage(imageSize.width(), imageSize.height(), Qt::white), viewSize, recognizer)
    {
    }
    CanvasFixture(const QImage& image, QSize viewSize, TextRecognizer* recognizer = nullptr)
        : document(AnnotationDocument::create(image, nullptr, recognizer))
        , canvas(*document)
    {
        canvas.resize(viewSize);
        canvas.setClock([this] { return now; });
        canvas.show();
    }
    PaintEngine& engine() { return document->engine(); }
    void press(QPointF at) { QTest::mousePress(&canvas, Qt::LeftButton, {}, at.toPoint()); }
    void move(QPointF at) { QTest::mouseMove(&canvas, at.toPoint()); }
    void release(QPointF at) { QTest::mouseRelease(&canvas, Qt::LeftButton, {}, at.toPoint()); }
    void click(QPointF at)
    {
        press(at);
        release(at);
    }
    std::unique_ptr<AnnotationDocument> document;
    PaintCanvasView canvas;
    double now = 100;
};

} // namespace

TEST(PaintCanvasView, TwoPressesWithinFourTenthsOfASecondReopenAText)
{
    CanvasFixture f(QSize(400, 300), QSize(400, 300));
    PaintStroke label = makeStroke(PaintTool::label, {{0.2, 0.2}, {0.5, 0.5}});
    label.text = QStringLiteral("Hinweis");
    f.engine().loadStrokes({label});
    f.engine().setSelectedTool(PaintTool::pen);
    const QPointF chip(200, 150);

    f.now = 0.5;
    f.click(chip);
    EXPECT_FALSE(f.engine().pendingTextEditID());
    f.now = 0.89;
    f.press(chip);
    f.move(chip + QPointF(40, 30));
    EXPECT_EQ(f.engine().pendingTextEditID(), label.id);
    f.release(chip + QPointF(40, 30));
    EXPECT_EQ(f.engine().strokes(), std::vector<PaintStroke> {label}) << "the second press neither draws nor moves";
    f.engine().commitOrDiscardPendingText(QStringLiteral("Hinweis"), std::nullopt, f.document->canvasSize());

    f.now = 8.0;
    f.click(chip);
    f.now = 8.4;
    f.click(chip);
    EXPECT_FALSE(f.engine().pendingTextEditID()) << "0.4 s is too slow";

    // A press on empty canvas in between forgets the earlier one.
    f.engine().setSelectedTool(PaintTool::select);
    f.now = 8.5;
    f.click(QPointF(20, 280));
    f.now = 8.6;
    f.click(chip);
    EXPECT_FALSE(f.engine().pendingTextEditID());
}

TEST(PaintCanvasView, HighlighterDragsSnapToADetectedTextLine)
{
    const QRectF line(0.1, 0.4, 0.6, 0.1);
    FakeTextRecognizer recognizer({QRectF(0.1, 0.1, 0.6, 0.05), line});
    CanvasFixture f(QSize(400, 300), QSize(400, 300), &recognizer);
    AnnotationDocument::waitForTextDetections();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(f.document->textLineRects().size(), 2u);

    f.engine().setSelectedTool(PaintTool::highlighter);
    // 0.37 lies within 0.3 line heights above the line's top at 0.4.
    f.press(QPointF(80, 0.37 * 300));
    f.move(QPointF(200, 0.6 * 300));
    f.release(QPointF(240, 0.2 * 300));
    ASSERT_EQ(f.engine().strokes().size(), 1u);
    const PaintStroke& stroke = f.engine().strokes().front();
    EXPECT_EQ(stroke.textSnapRect, line);
    for (const PaintPoint& p : stroke.points)
        EXPECT_DOUBLE_EQ(p.y, 0.45);
}

TEST(PaintCanvasView, HitTolerancesStayTheSameOnScreenAtAnyScale)
{
    CanvasFixture f(QSize(800, 600), QSize(400, 300));
    // Vertical, so that the distance runs along the longer canvas side, by which tolerances are measured.
    const PaintStroke line = makeStroke(PaintTool::line, {{0.5, 0.1}, {0.5, 0.9}});
    f.engine().loadStrokes({line});
    f.engine().setSelectedTool(PaintTool::select);
    EXPECT_DOUBLE_EQ(f.engine().viewScale(), 0.5);

    f.click(QPointF(200 + 7, 150));
    EXPECT_EQ(f.engine().selectedStrokeID(), line.id) << "7 screen pixels away is within the 8 of a body";
    f.click(QPointF(200 + 10, 150));
    EXPECT_FALSE(f.engine().selectedStrokeID());
}

TEST(PaintCanvasView, OnlyThePictureTakesPresses)
{
    // A 400 × 300 picture in a 600 × 300 view: a margin of 100 on either side.
    CanvasFixture f(QSize(400, 300), QSize(600, 300));
    const PaintStroke kept = makeStroke(PaintTool::rectangle, {{0.3, 0.3}, {0.6, 0.6}});
    f.engine().loadStrokes({kept});
    for (const PaintTool tool : {PaintTool::pen, PaintTool::rectangle, PaintTool::text, PaintTool::numberBadge,
             PaintTool::label, PaintTool::mosaic, PaintTool::select}) {
        f.engine().setSelectedTool(tool);
        f.click(QPointF(40, 150));
        // A drag from the margin onto the picture and over the rectangle neither draws nor moves.
        f.press(QPointF(50, 100));
        f.move(QPointF(70, 110));
        f.move(QPointF(220, 90));
        f.release(QPointF(300, 200));
        EXPECT_EQ(f.engine().strokes(), std::vector<PaintStroke> {kept}) << tool.rawValue().toStdString();
        EXPECT_FALSE(f.engine().pendingTextEditID());
        EXPECT_FALSE(f.engine().currentStroke());
    }
    f.engine().setSelectedTool(PaintTool::pen);
    f.move(QPointF(40, 150));
    EXPECT_EQ(f.canvas.cursor().shape(), Qt::ArrowCursor) << "nothing is drawn in the margin";
    f.move(QPointF(300, 150));
    EXPECT_EQ(f.canvas.cursor().shape(), Qt::CrossCursor);
    f.engine().undo();
    EXPECT_TRUE(f.engine().strokes().empty()) << "undo takes the stroke on the picture";

    // A drag from the picture into the margin draws, its points running on past the edge.
    f.press(QPointF(420, 150));
    f.move(QPointF(480, 150));
    f.move(QPointF(560, 150));
    f.release(QPointF(580, 150));
    ASSERT_EQ(f.engine().strokes().size(), 1u);
    EXPECT_DOUBLE_EQ(f.engine().strokes().front().points.back().x, 1.15);
    // Its part on the picture takes the select tool, which moves the whole stroke.
    f.engine().setSelectedTool(PaintTool::select);
    f.press(QPointF(460, 150));
    f.move(QPointF(440, 180));
    f.release(QPointF(440, 180));
    EXPECT_DOUBLE_EQ(f.engine().strokes().front().points.back().y, 0.6);
}

namespace {

// Records the parts of the widget each paint event was asked to paint.
struct PaintRegions : QObject {
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(event)->region().boundingRect());
        return false;
    }
    std::vector<QRect> regions;
};

// What the canvas should show: the whole scene drawn at once, as before any cache existed.
QImage drawnAtOnce(CanvasFixture& f)
{
    QImage image(f.canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Theme::annotationBase());
    QPainter painter(&image);
    const QRectF area = f.canvas.canvasRectInView();
    painter.translate(area.topLeft());
    painter.scale(f.canvas.viewScale(), f.canvas.viewScale());
    painter.setClipRect(QRectF(QPointF(0, 0), f.document->canvasSize()));
    AnnotationScene scene = f.document->scene(f.document->sourceBitmap());
    if (f.engine().currentStroke())
        scene.liveStroke = &*f.engine().currentStroke();
    AnnotationPainter::paint(painter, scene);
    return image;
}

// Pixels that differ by more than rounding (texts blended from their own layer), outside the marks
// of the selected stroke (drawn by the canvas alone).
int differingPixels(CanvasFixture& f)
{
    const QImage x = f.canvas.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage y = drawnAtOnce(f).convertToFormat(QImage::Format_ARGB32);
    QRect marks;
    for (const PaintStroke& stroke : f.engine().strokes()) {
        if (stroke.id != f.engine().selectedStrokeID())
            continue;
        const QRectF box = stroke.boundingBox();
        const QSizeF canvas = f.document->canvasSize();
        marks = QRectF(f.canvas.viewPointFromCanvas(QPointF(box.left() * canvas.width(), box.top() * canvas.height())),
            f.canvas.viewPointFromCanvas(QPointF(box.right() * canvas.width(), box.bottom() * canvas.height())))
                    .toAlignedRect()
                    .adjusted(-28, -28, 28, 28);
    }
    int count = 0;
    for (int py = 0; py < x.height(); ++py)
        for (int px = 0; px < x.width(); ++px)
            count += !marks.contains(px, py) && !colourNear(x.pixelColor(px, py), y.pixelColor(px, py), 2);
    return count;
}

} // namespace

TEST(PaintCanvasView, FinishedStrokesArePaintedOnceAndAPointerMoveRepaintsOnlyAroundIt)
{
    CanvasFixture f(QSize(400, 300), QSize(400, 300));
    std::vector<PaintPoint> long_;
    for (int i = 0; i < 4000; ++i)
        long_.emplace_back(0.5 + 0.4 * std::sin(i * 0.01), 0.5 + 0.4 * std::cos(i * 0.013));
    PaintStroke label = makeStroke(PaintTool::label, {{0.1, 0.1}, {0.3, 0.2}});
    label.text = QStringLiteral("Hinweis");
    f.engine().loadStrokes({makeStroke(PaintTool::pen, long_), label});
    f.engine().setSelectedTool(PaintTool::pen);
    PaintRegions paints;
    f.canvas.installEventFilter(&paints);
    QCoreApplication::processEvents();
    EXPECT_EQ(differingPixels(f), 0);
    const int rendered = f.canvas.layerRenderCount();

    // A new stroke: its moves repaint a few pixels around the pointer and draw no layer again.
    f.press(QPointF(50, 250));
    QCoreApplication::processEvents();
    for (int i = 1; i <= 10; ++i) {
        paints.regions.clear();
        f.move(QPointF(50 + 4 * i, 250 - 2 * i));
        QCoreApplication::processEvents();
        ASSERT_FALSE(paints.regions.empty()) << "the move was not repainted";
        EXPECT_LE(paints.regions.back().width() * paints.regions.back().height(), 24 * 24);
        EXPECT_TRUE(paints.regions.back().contains(QPoint(50 + 4 * i, 250 - 2 * i)));
    }
    EXPECT_EQ(f.canvas.layerRenderCount(), rendered);
    EXPECT_EQ(differingPixels(f), 0) << "the live stroke shows as drawn at once";

    // The finished stroke is drawn onto the layers as they are; a new scale and an undo draw
    // everything once more.
    f.release(QPointF(90, 230));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.engine().strokes().size(), 3u);
    EXPECT_EQ(f.canvas.layerRenderCount(), rendered);
    EXPECT_EQ(differingPixels(f), 0);
    f.canvas.resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.canvas.layerRenderCount(), rendered + 1);
    EXPECT_EQ(differingPixels(f), 0) << "at scale 0.67";
    f.engine().undo();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.canvas.layerRenderCount(), rendered + 2);
    EXPECT_EQ(differingPixels(f), 0);
}

// Finished strokes are drawn once: a stroke added on top, a typed text and a wider window that
// keeps the picture's scale draw no stroke again, and every step looks as the whole scene drawn at
// once, also where the highlighter multiplies over blur, mosaic, area highlight and spotlight.
TEST(PaintCanvasView, StrokesAddedOnTopAndSizesThatKeepTheScaleDrawNothingAgain)
{
    CanvasFixture f(stripedImage(400, 300), QSize(400, 300));
    PaintStroke mosaic = makeStroke(PaintTool::mosaic, {{0.05, 0.05}, {0.35, 0.45}});
    mosaic.effectAmount = 8;
    PaintStroke blur = makeStroke(PaintTool::blur, {{0.4, 0.05}, {0.7, 0.45}});
    blur.effectAmount = 6;
    PaintStroke label = makeStroke(PaintTool::label, {{0.1, 0.8}, {0.3, 0.7}});
    label.text = QStringLiteral("Hinweis");
    f.engine().loadStrokes({mosaic, blur, makeStroke(PaintTool::areaHighlight, {{0.72, 0.05}, {0.95, 0.45}}),
        makeStroke(PaintTool::spotlight, {{0.02, 0.02}, {0.98, 0.6}}), label,
        makeStroke(PaintTool::pen, {{0.5, 0.9}, {0.6, 0.7}, {0.9, 0.95}})});
    QCoreApplication::processEvents();
    EXPECT_EQ(differingPixels(f), 0);
    const int rendered = f.canvas.layerRenderCount();

    f.engine().setSelectedTool(PaintTool::highlighter);
    f.press(QPointF(20, 100));
    f.move(QPointF(200, 110));
    f.release(QPointF(380, 110));
    f.engine().setSelectedTool(PaintTool::text);
    f.click(QPointF(200, 220));
    f.engine().commitOrDiscardPendingText(QStringLiteral("Bitte prüfen"), std::nullopt, f.document->canvasSize());
    f.engine().setSelectedTool(PaintTool::numberBadge);
    f.click(QPointF(330, 220));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.engine().strokes().size(), 9u);
    EXPECT_EQ(differingPixels(f), 0);
    f.canvas.resize(560, 340);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.canvas.layerRenderCount(), rendered) << "strokes were drawn again";
    EXPECT_EQ(differingPixels(f), 0) << "in the wider view";

    // A new effect lies beneath every stroke: everything is drawn again.
    f.engine().setSelectedTool(PaintTool::spotlight);
    f.press(QPointF(100, 240));
    f.move(QPointF(200, 280));
    f.release(QPointF(300, 300));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.canvas.layerRenderCount(), rendered + 1);
    EXPECT_EQ(differingPixels(f), 0);
    f.canvas.grab().save(artifactsDir() + QStringLiteral("/annotation-canvas-cached-layers.png"));
}

// A drawing of long strokes runs on the worker pool; the older layer stays on screen, stretched
// to a new size, until it is done.
TEST(PaintCanvasView, LongStrokesAreDrawnOnTheWorkerPool)
{
    CanvasFixture f(QSize(400, 300), QSize(400, 300));
    std::vector<PaintPoint> points;
    for (std::size_t i = 0; i < CanvasLayerCache::kBackgroundPoints + 5000; ++i)
        points.emplace_back(0.5 + 0.4 * std::sin(double(i) * 0.01), 0.5 + 0.4 * std::cos(double(i) * 0.013));
    f.engine().loadStrokes({makeStroke(PaintTool::pen, points, PaintColor(1, 0, 0, 1), 6)});
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.canvas.isDrawingLayersInBackground());
    QTRY_VERIFY_WITH_TIMEOUT(!f.canvas.isDrawingLayersInBackground(), 30000);
    EXPECT_EQ(differingPixels(f), 0);

    f.canvas.resize(300, 200);
    f.canvas.repaint();
    EXPECT_TRUE(f.canvas.isDrawingLayersInBackground());
    const QImage meanwhile = f.canvas.grab().toImage();
    EXPECT_TRUE(colourNear(pixelAt(meanwhile, 150, 180), QColor(255, 0, 0), 60)) << "the stroke stays on screen";
    QTRY_VERIFY_WITH_TIMEOUT(!f.canvas.isDrawingLayersInBackground(), 30000);
    EXPECT_EQ(differingPixels(f), 0) << "at scale 0.67";
}
