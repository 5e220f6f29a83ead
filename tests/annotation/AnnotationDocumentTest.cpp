// The document around the rendering: strokes stored with a screenshot come back, text lines arrive
// from the recognizer only while the document exists, and the export is a PNG of the pixel size.
#include "RenderTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/StrokeJSON.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/TestSupport.h"
#include "store/ScreenshotItem.h"

#include <QCoreApplication>
#include <QSignalSpy>

namespace {

void deliverDetections()
{
    AnnotationDocument::waitForTextDetections();
    QCoreApplication::sendPostedEvents();
}

} // namespace

TEST(AnnotationDocument, ReEditingRestoresStoredStrokesWithTheirNumbers)
{
    PaintStroke first = makeStroke(PaintTool::numberBadge, {{0.2, 0.2}});
    first.badgeNumber = 1;
    first.badgeSize = 24;
    PaintStroke label = makeStroke(PaintTool::label, {{0.3, 0.3}, {0.5, 0.5}});
    label.text = QStringLiteral("Hier");
    label.badgeNumber = 2;
    PaintStroke second = makeStroke(PaintTool::numberBadge, {{0.7, 0.2}});
    second.badgeNumber = 3;
    const std::vector<PaintStroke> strokes {first, makeStroke(PaintTool::pen, {{0.1, 0.1}, {0.2, 0.3}}), label, second};
    auto item = std::make_shared<ScreenshotItem>();
    item->strokesData = StrokeJSON::encode(strokes);

    auto document = AnnotationDocument::create(filledImage(200, 100), item);
    EXPECT_EQ(document->engine().strokes(), strokes);
    EXPECT_EQ(document->engine().nextBadgeNumber(), 4);
    EXPECT_EQ(document->sourceItem(), item);

    ConsoleCapture console;
    auto broken = std::make_shared<ScreenshotItem>();
    broken->strokesData = QByteArray("[{\"id\": 12}");
    auto empty = AnnotationDocument::create(filledImage(200, 100), broken);
    EXPECT_TRUE(empty->engine().strokes().empty());
    EXPECT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.contains(QStringLiteral("AnnotationDocument:")));
    EXPECT_EQ(broken->strokesData, QByteArray("[{\"id\": 12}")) << "the stored data is left as it was";
}

TEST(AnnotationDocument, TextLinesArriveOnlyWhileTheDocumentExists)
{
    const std::vector<QRectF> lines {QRectF(0.1, 0.25, 0.3, 0.05), QRectF(0.1, 0.4, 0.5, 0.05)};
    FakeTextRecognizer held(lines, true);
    auto gone = AnnotationDocument::create(filledImage(300, 200), nullptr, &held);
    gone.reset();
    held.release();

    FakeTextRecognizer recognizer(lines);
    QImage retina = filledImage(600, 400);
    retina.setDevicePixelRatio(2);
    auto document = AnnotationDocument::create(retina, nullptr, &recognizer);
    QSignalSpy published(document.get(), &AnnotationDocument::textLineRectsChanged);
    EXPECT_TRUE(document->textLineRects().empty());
    deliverDetections();
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(document->textLineRects(), lines);
    EXPECT_EQ(recognizer.lastSize(), QSize(600, 400)) << "recognition reads the pixels";
    EXPECT_EQ(held.requests(), 1);
}

TEST(AnnotationDocument, ExportsAPngOfThePixelSize)
{
    QImage retina = filledImage(640, 360, Qt::white);
    retina.setDevicePixelRatio(2);
    auto document = AnnotationDocument::create(retina);
    document->engine().loadStrokes({makeStroke(PaintTool::rectangle, {{0.1, 0.1}, {0.9, 0.9}})});
    const std::optional<QByteArray> png = document->renderExportPNG();
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG"));
    EXPECT_EQ(imageSize(*png), QSize(640, 360));
    EXPECT_FALSE(AnnotationDocument::create(QImage()));
}
