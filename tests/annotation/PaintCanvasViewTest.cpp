// The canvas widget's gestures: the double click that reopens a text, the highlighter's snap to
// text lines, and hit tolerances that stay the same on screen at any fit scale.
#include "RenderTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "fakes/FakeTextRecognizer.h"

#include <QCoreApplication>
#include <QTest>

namespace {

struct CanvasFixture {
    explicit CanvasFixture(QSize imageSize, QSize viewSize, TextRecognizer* recognizer = nullptr)
        : document(AnnotationDocument::create(
            filledImage(imageSize.width(), imageSize.height(), Qt::white), nullptr, recognizer))
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
