// Speed of the annotation export: a 3840 × 2160 screenshot with 50 strokes and two 800 × 600
// blurs rendered and encoded as PNG, against a plain PNG encode of the same pixels in the same
// run; and one blur of radius 30 over a 1920 × 1080 crop.
#include "BenchSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/MosaicRenderer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>

namespace {

const QSize kImageSize(3840, 2160);

// Something like a screenshot: a gradient, panels and lines of text.
const QImage& screenshot()
{
    static const QImage image = [] {
        QImage result(kImageSize, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&result);
        QLinearGradient gradient(0, 0, kImageSize.width(), kImageSize.height());
        gradient.setColorAt(0, QColor(40, 60, 90));
        gradient.setColorAt(1, QColor(200, 210, 230));
        painter.fillRect(result.rect(), gradient);
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> x(0, 3400), y(0, 1900), grey(180, 255);
        QFont font = painter.font();
        font.setPixelSize(22);
        painter.setFont(font);
        for (int i = 0; i < 40; ++i) {
            const QRect panel(x(rng), y(rng), 420, 240);
            painter.fillRect(panel, QColor(grey(rng), grey(rng), grey(rng)));
            painter.setPen(Qt::black);
            for (int line = 0; line < 7; ++line)
                painter.drawText(panel.x() + 12, panel.y() + 30 + 30 * line,
                    QStringLiteral("Line %1 of panel %2, some words").arg(line).arg(i));
        }
        return result;
    }();
    return image;
}

std::vector<PaintStroke> strokes()
{
    const PaintTool tools[] = {PaintTool::pen, PaintTool::arrow, PaintTool::rectangle, PaintTool::ellipse,
        PaintTool::line, PaintTool::highlighter, PaintTool::text, PaintTool::numberBadge, PaintTool::label,
        PaintTool::filledRectangle};
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coordinate(0.05, 0.9);
    std::vector<PaintStroke> result;
    for (int i = 0; i < 50; ++i) {
        PaintStroke stroke;
        stroke.id = QUuid::createUuid();
        stroke.tool = tools[i % 10];
        stroke.color = PaintColor(1, 0.23, 0.19, 1);
        stroke.lineWidth = 4;
        const PaintPoint start(coordinate(rng), coordinate(rng));
        stroke.points = {start};
        if (stroke.tool == PaintTool::pen) {
            for (int step = 1; step < 30; ++step)
                stroke.points.emplace_back(start.x + step * 0.002, start.y + (step % 5) * 0.002);
        } else if (stroke.tool != PaintTool::text && stroke.tool != PaintTool::numberBadge) {
            stroke.points.emplace_back(start.x + 0.08, start.y + 0.05);
        }
        if (stroke.tool == PaintTool::text || stroke.tool == PaintTool::label || stroke.tool == PaintTool::numberBadge)
            stroke.text = QStringLiteral("Annotation %1").arg(i);
        if (stroke.tool == PaintTool::numberBadge) {
            stroke.badgeNumber = i / 10 + 1;
            stroke.badgeSize = 24;
        }
        result.push_back(stroke);
    }
    for (double left : {0.1, 0.5}) {
        PaintStroke blur;
        blur.id = QUuid::createUuid();
        blur.tool = PaintTool::blur;
        blur.effectAmount = 10;
        blur.points = {
            PaintPoint(left, 0.3), PaintPoint(left + 800.0 / kImageSize.width(), 0.3 + 600.0 / kImageSize.height())};
        result.push_back(blur);
    }
    return result;
}

QByteArray encodePNG(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(image);
    return png;
}

void BM_PngEncodeBaseline(benchmark::State& state)
{
    auto document = AnnotationDocument::create(screenshot());
    document->engine().loadStrokes(strokes());
    const QImage pixels = document->renderAnnotatedImage();
    for (auto _ : state)
        benchmark::DoNotOptimize(encodePNG(pixels));
}
BENCHMARK(BM_PngEncodeBaseline)->MinTime(4);

// A new document each time, so the blurs are computed in every export.
void BM_ExportPNG_50Strokes2Blurs(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto document = AnnotationDocument::create(screenshot());
        document->engine().loadStrokes(strokes());
        state.ResumeTiming();
        benchmark::DoNotOptimize(document->renderExportPNG());
    }
}
BENCHMARK(BM_ExportPNG_50Strokes2Blurs)->MinTime(4);

void BM_Blur_Radius30_1920x1080(benchmark::State& state)
{
    const QImage crop = screenshot().copy(0, 0, 1920, 1080);
    for (auto _ : state)
        benchmark::DoNotOptimize(MosaicRenderer::blurred(crop, 30));
}
BENCHMARK(BM_Blur_Radius30_1920x1080);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for texts, badges and labels
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // Runs are named after their function, followed by their options ("/min_time:...").
    const auto time = [&](const std::string& name) {
        for (const auto& [runName, nanoseconds] : reporter.times) {
            if (runName == name || runName.rfind(name + "/", 0) == 0)
                return nanoseconds;
        }
        return 0.0;
    };
    const double baseline = time("BM_PngEncodeBaseline");
    const double exportTime = time("BM_ExportPNG_50Strokes2Blurs");
    std::printf("\n3840 x 2160, 50 strokes, 2 blurs of 800 x 600\n");
    if (baseline > 0 && exportTime > 0)
        std::printf("%-44s %10.1f ms  = %5.2f x PNG encode alone (%.1f ms)\n", "export PNG", exportTime / 1e6,
            exportTime / baseline, baseline / 1e6);
    if (const double blur = time("BM_Blur_Radius30_1920x1080"); blur > 0)
        std::printf("%-44s %10.1f ms\n", "blur, radius 30, 1920 x 1080", blur / 1e6);
    return 0;
}
