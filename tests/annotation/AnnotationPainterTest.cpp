// The one painting routine through the document's export and the canvas: every tool on a known
// image, spotlight and area-highlight unions, effect crops, the arrow rule, pixel scales, and the
// canvas at a fit scale against the export.
#include "annotation/AnnotationDocument.h"
#include "annotation/EffectCropLayer.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeRenderer.h"
#include "RenderTestSupport.h"

#include <QPainter>
#include <algorithm>
#include <QTest>

namespace {

const QColor kGrey(128, 128, 128);
const QColor kDimmedGrey(58, 58, 58); // 128 under black at 55 %
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 204, 0);
const QColor kBlue(0, 0, 255);

// Grey, with a fine black-and-white checker in the lower left, where mosaic and blur go.
QImage knownImage()
{
    QImage image = filledImage(800, 600, kGrey);
    for (int y = 330; y < 600; ++y)
        for (int x = 0; x < 400; ++x)
            image.setPixelColor(x, y, ((x / 2 + y / 2) % 2) ? Qt::white : Qt::black);
    return image;
}

// One stroke of every drawing tool (the select tool draws nothing).
std::vector<PaintStroke> everyToolStrokes()
{
    const PaintColor red(1, 0, 0, 1), green(0, 0.8, 0, 1), blue(0, 0, 1, 1), yellow(1, 1, 0, 1);
    std::vector<PaintStroke> strokes;
    strokes.push_back(makeStroke(PaintTool::pen, {{0.05, 0.05}, {0.15, 0.07}, {0.25, 0.05}}, red));
    strokes.push_back(makeStroke(PaintTool::eraser, {{0.05, 0.13}, {0.25, 0.13}}, PaintColor(1, 1, 1, 1), 12));
    strokes.push_back(makeStroke(PaintTool::line, {{0.05, 0.2}, {0.25, 0.2}}, blue));
    strokes.push_back(makeStroke(PaintTool::arrow, {{0.05, 0.3}, {0.25, 0.3}}, green));
    strokes.push_back(makeStroke(PaintTool::rectangle, {{0.3, 0.05}, {0.45, 0.2}}, red));
    strokes.push_back(makeStroke(PaintTool::ellipse, {{0.5, 0.05}, {0.65, 0.2}}, blue));
    strokes.push_back(makeStroke(PaintTool::filledRectangle, {{0.7, 0.05}, {0.8, 0.2}}, green));
    strokes.push_back(makeStroke(PaintTool::blackout, {{0.85, 0.05}, {0.95, 0.2}}, PaintColor(0, 0, 0, 1)));
    strokes.push_back(makeStroke(PaintTool::highlighter, {{0.3, 0.3}, {0.45, 0.3}}, yellow, 3));
    PaintStroke badge = makeStroke(PaintTool::numberBadge, {{0.55, 0.3}}, red);
    badge.badgeNumber = 1;
    badge.badgeSize = 24;
    badge.text = QStringLiteral("Schritt");
    strokes.push_back(badge);
    PaintStroke label = makeStroke(PaintTool::label, {{0.7, 0.45}, {0.85, 0.3}}, blue);
    label.text = QStringLiteral("Label");
    label.fontSize = 15;
    label.badgeNumber = 2;
    strokes.push_back(label);
    PaintStroke text = makeStroke(PaintTool::text, {{0.15, 0.42}}, red);
    text.text = QStringLiteral("Text");
    text.fontSize = 20;
    strokes.push_back(text);
    PaintStroke mosaic = makeStroke(PaintTool::mosaic, {{0.05, 0.6}, {0.2, 0.8}});
    mosaic.effectAmount = 10;
    strokes.push_back(mosaic);
    PaintStroke blur = makeStroke(PaintTool::blur, {{0.25, 0.6}, {0.45, 0.8}});
    blur.effectAmount = 6;
    strokes.push_back(blur);
    strokes.push_back(makeStroke(PaintTool::spotlight, {{0.55, 0.55}, {0.97, 0.97}}));
    strokes.push_back(makeStroke(PaintTool::areaHighlight, {{0.75, 0.6}, {0.95, 0.8}}));
    return strokes;
}

int countPixels(const QImage& image, const QRect& area, const std::function<bool(const QColor&)>& test)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

} // namespace

TEST(AnnotationRendering, EveryToolOnAKnownImage)
{
    auto document = AnnotationDocument::create(knownImage());
    ASSERT_TRUE(document);
    document->engine().loadStrokes(everyToolStrokes());
    const QImage out = document->renderAnnotatedImage();
    ASSERT_EQ(out.size(), QSize(800, 600));
    out.save(artifactsDir() + QStringLiteral("/annotation-export-all-tools.png"));

    EXPECT_TRUE(colourNear(pixelAt(out, 80, 36), kRed)) << "pen";
    EXPECT_TRUE(colourNear(pixelAt(out, 120, 78), Qt::white)) << "eraser";
    EXPECT_TRUE(colourNear(pixelAt(out, 120, 120), kBlue)) << "line";
    EXPECT_TRUE(colourNear(pixelAt(out, 120, 180), kGreen)) << "arrow shaft";
    EXPECT_TRUE(colourNear(pixelAt(out, 196, 180), kGreen)) << "arrowhead";
    EXPECT_TRUE(colourNear(pixelAt(out, 206, 180), kDimmedGrey)) << "beyond the tip, under the spotlight's veil";
    EXPECT_TRUE(colourNear(pixelAt(out, 300, 30), kRed)) << "rectangle outline";
    EXPECT_TRUE(colourNear(pixelAt(out, 300, 75), kDimmedGrey)) << "rectangle inside";
    EXPECT_TRUE(colourNear(pixelAt(out, 401, 75), kBlue)) << "ellipse outline";
    EXPECT_TRUE(colourNear(pixelAt(out, 460, 75), kDimmedGrey)) << "ellipse inside";
    EXPECT_TRUE(colourNear(pixelAt(out, 600, 75), kGreen)) << "filled rectangle";
    EXPECT_TRUE(colourNear(pixelAt(out, 720, 75), Qt::black)) << "blackout";
    // Yellow at 45 % multiplied into the veiled grey keeps red and green and takes blue away.
    EXPECT_TRUE(colourNear(pixelAt(out, 300, 180), QColor(58, 58, 32), 3)) << "highlighter";
    EXPECT_TRUE(colourNear(pixelAt(out, 440, 190), kRed)) << "badge disc below its number";
    EXPECT_TRUE(colourNear(pixelAt(out, 464, 180), QColor(20, 20, 20), 4)) << "badge caption chip";

    const std::optional<QRectF> chip = document->engine().strokes()[10].labelChipRect(document->canvasSize());
    ASSERT_TRUE(chip);
    EXPECT_TRUE(colourNear(pixelAt(out, chip->right() - 3, chip->center().y()), kBlue)) << "label chip";
    EXPECT_TRUE(colourNear(pixelAt(out, 620, 225), kBlue)) << "label leader";
    EXPECT_GT(
        countPixels(out, QRect(80, 235, 80, 35), [](const QColor& c) { return c.red() > 200 && c.green() < 80; }), 30)
        << "text";

    // Mosaic and blur turn the fine checker into greys (veiled); without them it is black and white.
    for (const QPoint& p : {QPoint(100, 420), QPoint(101, 421), QPoint(60, 380), QPoint(280, 420), QPoint(281, 441)})
        EXPECT_TRUE(colourNear(out.pixelColor(p), kDimmedGrey, 18)) << p.x() << "," << p.y();
    EXPECT_TRUE(colourNear(pixelAt(out, 680, 420), QColor(192, 192, 192), 3)) << "area highlight";
    EXPECT_TRUE(colourNear(pixelAt(out, 500, 540), kGrey, 2)) << "inside the spotlight";
    EXPECT_TRUE(colourNear(pixelAt(out, 790, 300), kDimmedGrey, 3)) << "outside the spotlight";

    // The canvas draws through the same routine, here at full size with the arrow selected.
    PaintCanvasView canvas(*document);
    canvas.resize(800, 600);
    canvas.show();
    document->engine().setSelectedTool(PaintTool::select);
    QTest::mouseClick(&canvas, Qt::LeftButton, {}, QPoint(120, 180));
    EXPECT_EQ(document->engine().selectedStrokeID(), document->engine().strokes()[3].id);
    const QImage shown = canvas.grab().toImage();
    shown.save(artifactsDir() + QStringLiteral("/annotation-canvas-all-tools.png"));
    for (const QPoint& p : {QPoint(80, 36), QPoint(600, 75), QPoint(680, 420), QPoint(790, 300), QPoint(300, 180)})
        EXPECT_TRUE(colourNear(shown.pixelColor(p), out.pixelColor(p), 2)) << p.x() << "," << p.y();

    // Fitted into a smaller window, with the filled rectangle selected and a mosaic being dragged out.
    canvas.resize(600, 400);
    QTest::mouseClick(&canvas, Qt::LeftButton, {}, canvas.viewPointFromCanvas(QPointF(600, 75)).toPoint());
    EXPECT_EQ(document->engine().selectedStrokeID(), document->engine().strokes()[6].id);
    canvas.grab().toImage().save(artifactsDir() + QStringLiteral("/annotation-canvas-fit-scale-selected.png"));
    document->engine().setSelectedTool(PaintTool::mosaic);
    document->engine().startStroke(PaintPoint(0.3, 0.38), document->canvasSize());
    document->engine().continueStroke(PaintPoint(0.45, 0.5));
    canvas.grab().toImage().save(artifactsDir() + QStringLiteral("/annotation-canvas-fit-scale.png"));
    document->engine().endStroke();
}

TEST(AnnotationRendering, SpotlightsAndHighlightsTakeTheUnionOfTheirRectangles)
{
    auto document = AnnotationDocument::create(filledImage(400, 200));
    document->engine().loadStrokes({
        makeStroke(PaintTool::spotlight, {{0.1, 0.1}, {0.4, 0.5}}),
        makeStroke(PaintTool::spotlight, {{0.3, 0.3}, {0.6, 0.7}}),
        makeStroke(PaintTool::areaHighlight, {{0.15, 0.15}, {0.35, 0.45}}),
        makeStroke(PaintTool::areaHighlight, {{0.25, 0.2}, {0.38, 0.4}}),
    });
    const QImage out = document->renderAnnotatedImage();
    EXPECT_TRUE(colourNear(pixelAt(out, 140, 80), kGrey, 2)) << "overlap of the spots stays bright";
    EXPECT_TRUE(colourNear(pixelAt(out, 200, 120), kGrey, 2)) << "second spot";
    EXPECT_TRUE(colourNear(pixelAt(out, 300, 30), kDimmedGrey, 3)) << "outside both";
    const QColor once = pixelAt(out, 70, 40);
    EXPECT_TRUE(colourNear(once, QColor(192, 192, 192), 3)) << "one highlight";
    EXPECT_EQ(pixelAt(out, 120, 60), once) << "overlapping highlights brighten once";
}

TEST(AnnotationRendering, EffectCropsCoverTheirRectangleInsideTheImage)
{
    QImage stripes(1000, 500, QImage::Format_ARGB32_Premultiplied);
    for (int x = 0; x < 1000; ++x)
        for (int y = 0; y < 500; ++y)
            stripes.setPixelColor(x, y, QColor((x * 37) % 256, (y * 11) % 256, (x * y) % 256));
    auto document = AnnotationDocument::create(stripes);

    // The rectangle of (0.1, 0.1)–(0.2, 0.2) with the default amount: 100 × 50 pixels at (100, 50).
    const PaintStroke mosaic = makeStroke(PaintTool::mosaic, {{0.1, 0.1}, {0.2, 0.2}});
    const QImage crop = document->croppedEffectImage(mosaic);
    ASSERT_FALSE(crop.isNull());
    EXPECT_EQ(crop.size(), QSize(100, 50));
    EXPECT_EQ(crop.offset(), QPoint(100, 50));
    // Cells of 10 pixels on a grid through the centre of the grown 120 × 70 crop at (90, 40).
    EXPECT_EQ(crop.pixel(0, 0), crop.pixel(9, 4));
    EXPECT_EQ(crop.pixel(10, 5), crop.pixel(19, 14));

    // Over the left edge: the crop is the part inside, drawn there unstretched.
    PaintStroke edge = makeStroke(PaintTool::mosaic, {{-0.05, 0.2}, {0.1, 0.4}});
    edge.effectAmount = 8;
    const QImage edgeCrop = document->croppedEffectImage(edge);
    EXPECT_EQ(edgeCrop.size(), QSize(100, 100));
    EXPECT_EQ(edgeCrop.offset(), QPoint(0, 100));
    PaintStroke blur = makeStroke(PaintTool::blur, {{-0.05, 0.6}, {0.1, 0.8}});
    EXPECT_EQ(document->croppedEffectImage(blur).size(), QSize(100, 100));

    document->engine().loadStrokes({edge});
    const QImage out = document->renderAnnotatedImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage expected = edgeCrop.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int differing = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            differing += out.pixel(x, 100 + y) != expected.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);

    // Equal points give nothing, and nothing is cached.
    const std::size_t cached = document->effectCropCacheCount();
    EXPECT_TRUE(document->croppedEffectImage(makeStroke(PaintTool::mosaic, {{0.3, 0.3}, {0.3, 0.3}})).isNull());
    EXPECT_EQ(document->effectCropCacheCount(), cached);
}

TEST(AnnotationRendering, EffectsThatCannotBeComputedAreBlack)
{
    QImage white = filledImage(100, 100, Qt::white);
    const std::vector<PaintStroke> strokes {
        makeStroke(PaintTool::blur, {{0.2, 0.2}, {0.6, 0.6}}), makeStroke(PaintTool::blur, {{0.7, 0.7}, {0.7, 0.7}})};
    QPainter painter(&white);
    EffectCropLayer {
        PaintTool::blur, strokes, QSizeF(100, 100), std::nullopt, [](const PaintStroke&) { return QImage(); }}
        .paint(painter);
    painter.end();
    EXPECT_TRUE(colourNear(white.pixelColor(40, 40), Qt::black, 0));
    EXPECT_TRUE(colourNear(white.pixelColor(70, 70), Qt::white, 0)) << "an empty rectangle draws nothing";
}

TEST(AnnotationRendering, EffectCropCacheKeepsTheNewestCropPerStrokeWithinItsBudget)
{
    auto document = AnnotationDocument::create(filledImage(400, 400));
    PaintStroke first = makeStroke(PaintTool::blur, {{0.1, 0.1}, {0.3, 0.3}});
    const PaintStroke second = makeStroke(PaintTool::mosaic, {{0.5, 0.5}, {0.7, 0.7}});
    document->engine().loadStrokes({first, second});
    for (double dx : {0.0, 0.05, 0.1}) {
        first.points = {{0.1 + dx, 0.1}, {0.3 + dx, 0.3}};
        EXPECT_FALSE(document->croppedEffectImage(first).isNull());
    }
    EXPECT_EQ(document->effectCropCacheCount(), 1u);
    const QImage firstCrop = document->croppedEffectImage(first);
    EXPECT_EQ(document->effectCropCacheBytes(), firstCrop.sizeInBytes());
    EXPECT_EQ(document->croppedEffectImage(first).cacheKey(), firstCrop.cacheKey()) << "reused while unchanged";

    document->setEffectCropBudget(firstCrop.sizeInBytes() + 1);
    EXPECT_FALSE(document->croppedEffectImage(second).isNull());
    EXPECT_EQ(document->effectCropCacheCount(), 1u) << "the older crop made room";
    EXPECT_LE(document->effectCropCacheBytes(), firstCrop.sizeInBytes() + 1);
}

TEST(AnnotationRendering, AnArrowShorterThanItsHeadDrawsOnlyTheHead)
{
    auto document = AnnotationDocument::create(filledImage(200, 200, Qt::white));
    // 8 points long, 8 wide: a shaft would end 13 points before the tip, behind the start.
    document->engine().loadStrokes(
        {makeStroke(PaintTool::arrow, {{0.5, 0.5}, {0.54, 0.5}}, PaintColor(1, 0, 0, 1), 8)});
    const QImage out = document->renderAnnotatedImage();
    EXPECT_TRUE(colourNear(pixelAt(out, 101, 100), kRed)) << "head";
    EXPECT_TRUE(colourNear(pixelAt(out, 92, 100), Qt::white, 0)) << "no shaft behind the start";
    EXPECT_TRUE(colourNear(pixelAt(out, 98, 103), Qt::white, 0)) << "no shaft beside the head";
}

TEST(AnnotationRendering, ALineOrPenOfZeroLengthDrawsARoundDot)
{
    auto document = AnnotationDocument::create(filledImage(200, 200, Qt::white));
    document->engine().loadStrokes({makeStroke(PaintTool::line, {{0.5, 0.5}, {0.5, 0.5}}, PaintColor(1, 0, 0, 1), 10),
        makeStroke(PaintTool::pen, {{0.2, 0.2}}, PaintColor(0, 0, 1, 1), 6)});
    const QImage out = document->renderAnnotatedImage();
    EXPECT_TRUE(colourNear(pixelAt(out, 100, 100), kRed));
    EXPECT_TRUE(colourNear(pixelAt(out, 103, 100), kRed)) << "radius 5";
    EXPECT_TRUE(colourNear(pixelAt(out, 104, 104), Qt::white, 0)) << "round, not square";
    EXPECT_TRUE(colourNear(pixelAt(out, 107, 100), Qt::white, 0));
    EXPECT_TRUE(colourNear(pixelAt(out, 40, 40), kBlue));
}

TEST(AnnotationRendering, EffectCropsOfHugeStoredCoordinatesStayInsideTheImage)
{
    auto document = AnnotationDocument::create(filledImage(100, 80, Qt::white));
    const QImage crop = document->croppedEffectImage(makeStroke(PaintTool::mosaic, {{-1e300, -1e300}, {1e300, 1e300}}));
    EXPECT_EQ(crop.size(), QSize(100, 80));
    EXPECT_EQ(crop.offset(), QPoint(0, 0));
    EXPECT_TRUE(document->croppedEffectImage(makeStroke(PaintTool::blur, {{1e300, 0}, {1e301, 1}})).isNull());
}

TEST(AnnotationRendering, ImagesRenderAtTheirPixelSize)
{
    QImage retina = filledImage(2880, 1800, Qt::white);
    retina.setDevicePixelRatio(2);
    auto document = AnnotationDocument::create(retina);
    EXPECT_EQ(document->canvasSize(), QSizeF(1440, 900));
    document->engine().loadStrokes({makeStroke(PaintTool::line, {{0.1, 0.5}, {0.9, 0.5}}, PaintColor(0, 0, 1, 1), 10),
        makeStroke(PaintTool::filledRectangle, {{0.5, 0.1}, {0.6, 0.2}})});
    const QImage out = document->renderAnnotatedImage();
    EXPECT_EQ(out.size(), QSize(2880, 1800));
    EXPECT_TRUE(colourNear(pixelAt(out, 1500, 200), kRed)) << "rectangle";
    EXPECT_TRUE(colourNear(pixelAt(out, 1500, 1440), Qt::white, 0)) << "left of it";
    // A line 10 points wide is 20 pixels wide.
    EXPECT_EQ(
        countPixels(out, QRect(1000, 850, 1, 100), [](const QColor& c) { return c.blue() > 200 && c.red() < 60; }), 20);
}

TEST(AnnotationRendering, CanvasAtHalfScaleAgreesWithTheExport)
{
    auto document = AnnotationDocument::create(filledImage(800, 600, Qt::white));
    document->engine().loadStrokes({
        makeStroke(PaintTool::filledRectangle, {{0.25, 0.25}, {0.5, 0.5}}),
        makeStroke(PaintTool::line, {{0.1, 0.75}, {0.9, 0.75}}, PaintColor(0, 0, 1, 1), 8),
    });
    PaintCanvasView canvas(*document);
    canvas.resize(400, 300);
    EXPECT_DOUBLE_EQ(canvas.viewScale(), 0.5);
    const QImage shown = canvas.grab().toImage();
    const QImage exported = document->renderAnnotatedImage();
    shown.save(artifactsDir() + QStringLiteral("/annotation-canvas-half-scale.png"));

    const auto redColumns = [](const QImage& image, int y) {
        return countPixels(
            image, QRect(0, y, image.width(), 1), [](const QColor& c) { return c.red() > 200 && c.green() < 60; });
    };
    const auto blueRows = [](const QImage& image, int x) {
        return countPixels(
            image, QRect(x, 0, 1, image.height()), [](const QColor& c) { return c.blue() > 200 && c.red() < 100; });
    };
    EXPECT_EQ(redColumns(shown, 110), 100);
    EXPECT_EQ(redColumns(exported, 220), 200);
    EXPECT_TRUE(colourNear(pixelAt(shown, 101, 101), kRed));
    EXPECT_TRUE(colourNear(pixelAt(exported, 202, 202), kRed));
    EXPECT_NEAR(blueRows(shown, 200), 4, 1);
    EXPECT_EQ(blueRows(exported, 400), 8);
}

// A long pen stroke is stroked in short pieces (one outline of 100,000 points takes seconds);
// the pieces must look like the one outline: opaque, translucent (no darker joints where pieces
// meet or the line crosses itself) and on a device with two pixels per point.
TEST(AnnotationRendering, ALongPenStrokeLooksLikeOneOutline)
{
    std::vector<PaintPoint> scribble;
    quint32 seed = 7;
    double x = 100, y = 80;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        x = std::clamp(x + double(seed >> 24) / 255.0 * 8 - 4, 10.0, 190.0);
        y = std::clamp(y + double((seed >> 16) & 0xff) / 255.0 * 8 - 4, 10.0, 150.0);
        scribble.emplace_back(x / 200, y / 160);
    }
    for (const double opacity : {1.0, 0.5}) {
        for (const qreal ratio : {1.0, 2.0}) {
            const PaintStroke stroke = makeStroke(PaintTool::pen, scribble, PaintColor(0.1, 0.3, 0.9, opacity), 3);
            const auto draw = [&](bool asOneOutline) {
                QImage image(QSize(200, 160) * ratio, QImage::Format_ARGB32_Premultiplied);
                image.setDevicePixelRatio(ratio);
                image.fill(Qt::white);
                QPainter painter(&image);
                painter.setClipRect(QRectF(0, 0, 200, 160));
                if (!asOneOutline) {
                    StrokeRenderer::renderStroke(painter, stroke, QSizeF(200, 160), false);
                    return image;
                }
                std::vector<QPointF> points;
                for (const PaintPoint& p : scribble)
                    points.emplace_back(p.x * 200, p.y * 160);
                QPen pen(StrokeRenderer::strokeColor(stroke));
                pen.setWidthF(3);
                pen.setCapStyle(Qt::RoundCap);
                pen.setJoinStyle(Qt::RoundJoin);
                painter.setRenderHint(QPainter::Antialiasing);
                painter.strokePath(StrokeRenderer::polylinePath(points), pen);
                return image;
            };
            const QImage pieces = draw(false);
            const QImage outline = draw(true);
            int differing = 0;
            for (int py = 0; py < pieces.height(); ++py) {
                for (int px = 0; px < pieces.width(); ++px) {
                    const QColor a = pieces.pixelColor(px, py), b = outline.pixelColor(px, py);
                    const int d = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                        std::abs(a.blue() - b.blue())});
                    differing += d > 24;
                }
            }
            // Only antialiased edges where pieces cross blend a little darker; a joint drawn twice
            // in a translucent colour would differ at each of its 190 joints.
            EXPECT_LT(differing, pieces.width() * pieces.height() / 100) << "opacity " << opacity << " ratio " << ratio;
            if (opacity < 1 && ratio > 1)
                pieces.save(artifactsDir() + QStringLiteral("/annotation-long-translucent-pen.png"));
        }
    }
}
