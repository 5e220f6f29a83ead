// Speed of the annotation model: hit testing one click against 1,000 strokes, and encoding and
// decoding 1,000 strokes as JSON. Each is reported as a ratio to a baseline from the same run:
// a plain loop over precomputed bounding boxes, and nlohmann's own dump and parse of the same JSON.
#include "BenchSupport.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>

namespace {

constexpr int kStrokeCount = 1000;
const QSizeF kCanvas(1600, 1000);
// A click that lies on no stroke, so that every test runs to the end.
const PaintPoint kMissingClick(0.999, 0.999);

const PaintTool kTools[] = {PaintTool::pen, PaintTool::line, PaintTool::arrow, PaintTool::rectangle, PaintTool::ellipse,
    PaintTool::filledRectangle, PaintTool::text, PaintTool::numberBadge, PaintTool::label, PaintTool::highlighter,
    PaintTool::mosaic, PaintTool::blur, PaintTool::eraser, PaintTool::spotlight};

// 1,000 strokes of every kind, drawn through the engine as the canvas would, inside 0...0.9.
PaintEngine& engineWithStrokes()
{
    static PaintEngine* engine = [] {
        auto* e = new PaintEngine();
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> coordinate(0.0, 0.9);
        e->setIncludeNumberInLabel(true);
        for (int i = 0; i < kStrokeCount; ++i) {
            const PaintTool tool = kTools[static_cast<std::size_t>(i) % std::size(kTools)];
            e->setSelectedTool(tool);
            const PaintPoint start(coordinate(rng), coordinate(rng));
            e->startStroke(start, kCanvas, std::nullopt,
                tool == PaintTool::highlighter ? std::optional<QRectF>(QRectF(start.x, start.y - 0.01, 0.1, 0.02))
                                               : std::nullopt);
            const int steps = (tool == PaintTool::pen || tool == PaintTool::eraser) ? 20 : 1;
            for (int s = 1; s <= steps; ++s)
                e->continueStroke(PaintPoint(start.x + 0.004 * s, start.y + 0.002 * s));
            e->endStroke();
            e->commitOrDiscardPendingText(QStringLiteral("Schritt %1").arg(i), std::nullopt, kCanvas);
        }
        // A click on empty canvas starts selection drags from scratch.
        e->setSelectedTool(PaintTool::select);
        return e;
    }();
    return *engine;
}

const QByteArray& encodedStrokes()
{
    static const QByteArray data = StrokeJSON::encode(engineWithStrokes().strokes()).value_or(QByteArray());
    return data;
}

void BM_HitTestBaseline_BoundingBoxes(benchmark::State& state)
{
    std::vector<QRectF> boxes;
    for (const PaintStroke& stroke : engineWithStrokes().strokes())
        boxes.push_back(stroke.boundingBox());
    for (auto _ : state) {
        int hits = 0;
        for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
            hits += it->contains(kMissingClick.x, kMissingClick.y) ? 1 : 0;
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_HitTestBaseline_BoundingBoxes);

void BM_HitTest_AllStrokes(benchmark::State& state)
{
    const std::vector<PaintStroke>& strokes = engineWithStrokes().strokes();
    for (auto _ : state) {
        int hits = 0;
        for (auto it = strokes.rbegin(); it != strokes.rend(); ++it)
            hits += it->hitTest(kMissingClick, kCanvas, 8) ? 1 : 0;
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_HitTest_AllStrokes);

// A select-tool click on empty canvas: all five handle and body passes over every stroke.
void BM_SelectClick_FivePasses(benchmark::State& state)
{
    PaintEngine& engine = engineWithStrokes();
    for (auto _ : state) {
        engine.startStroke(kMissingClick, kCanvas);
        engine.endStroke();
    }
}
BENCHMARK(BM_SelectClick_FivePasses);

void BM_EncodeBaseline_RawDump(benchmark::State& state)
{
    const nlohmann::ordered_json json = nlohmann::ordered_json::parse(encodedStrokes().toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(json.dump());
}
BENCHMARK(BM_EncodeBaseline_RawDump);

void BM_Encode_1000Strokes(benchmark::State& state)
{
    const std::vector<PaintStroke>& strokes = engineWithStrokes().strokes();
    for (auto _ : state)
        benchmark::DoNotOptimize(StrokeJSON::encode(strokes));
}
BENCHMARK(BM_Encode_1000Strokes);

void BM_DecodeBaseline_RawParse(benchmark::State& state)
{
    const QByteArray& data = encodedStrokes();
    for (auto _ : state)
        benchmark::DoNotOptimize(nlohmann::ordered_json::parse(data.constBegin(), data.constEnd()));
}
BENCHMARK(BM_DecodeBaseline_RawParse);

void BM_Decode_1000Strokes(benchmark::State& state)
{
    const QByteArray& data = encodedStrokes();
    for (auto _ : state)
        benchmark::DoNotOptimize(StrokeJSON::decode(data));
}
BENCHMARK(BM_Decode_1000Strokes);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for measuring label and text strokes
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n1,000 strokes (%lld bytes of JSON)\n", static_cast<long long>(encodedStrokes().size()));
    const auto ratio = [&](const char* label, const std::string& measured, const std::string& baseline) {
        const auto m = reporter.times.find(measured);
        const auto b = reporter.times.find(baseline);
        if (m == reporter.times.end() || b == reporter.times.end() || b->second <= 0)
            return;
        std::printf(
            "%-44s %10.1f us  = %7.1f x %s\n", label, m->second / 1000.0, m->second / b->second, baseline.c_str());
    };
    ratio("hit test of one click, every stroke", "BM_HitTest_AllStrokes", "BM_HitTestBaseline_BoundingBoxes");
    ratio("select click, five passes", "BM_SelectClick_FivePasses", "BM_HitTestBaseline_BoundingBoxes");
    ratio("encode", "BM_Encode_1000Strokes", "BM_EncodeBaseline_RawDump");
    ratio("decode", "BM_Decode_1000Strokes", "BM_DecodeBaseline_RawParse");
    return 0;
}
