// Speed of the effect filters and the Beautify frame. The filters run on a 1920 × 1080 crop (the
// blur of radius 30 should stay under 30 ms, so dragging the amount slider stays interactive), the
// blur also on a 3840 × 2160 crop. The frame is rendered on a 3840 × 2160 image and reported as
// ratios to a plain copy and a PNG encode of the same pixels, measured in the same run.
#include "BenchSupport.h"
#include "annotation/BeautifyConfig.h"
#include "annotation/BeautifyRenderer.h"
#include "annotation/MosaicRenderer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>

namespace {

// A screenshot-like picture: flat areas, text-like stripes and some noise, so PNG has real work.
QImage sampleImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(246, 246, 248));
    QPainter p(&image);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> channel(0, 255);
    for (int y = 40; y < height - 40; y += 28) {
        for (int x = 40; x < width - 200; x += 180)
            p.fillRect(x, y, 60 + channel(rng) / 2, 12, QColor(channel(rng) / 3, channel(rng) / 3, channel(rng) / 3));
    }
    p.fillRect(width / 4, height / 3, width / 3, height / 4, QColor(0, 122, 255));
    p.end();
    for (int y = 0; y < height; y += 3) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; x += 7)
            line[x] = qRgb(channel(rng), channel(rng), channel(rng));
    }
    return image;
}

const QImage& hdCrop()
{
    static const QImage image = sampleImage(1920, 1080);
    return image;
}

const QImage& uhdImage()
{
    static const QImage image = sampleImage(3840, 2160);
    return image;
}

QByteArray encodePNG(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

BeautifyConfig frame()
{
    BeautifyConfig config = BeautifyConfig::disabled();
    config.isEnabled = true;
    config.background = BeautifyBackground::gradient(
        {PaintColor(0.36, 0.25, 0.83, 1), PaintColor(0.96, 0.42, 0.55, 1)}, 45);
    config.shadow.strength = 1;
    return config;
}

void BM_Blur30_1920x1080(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MosaicRenderer::blurred(hdCrop(), 30));
}
BENCHMARK(BM_Blur30_1920x1080)->Unit(benchmark::kMillisecond);

void BM_Blur30_3840x2160(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MosaicRenderer::blurred(uhdImage(), 30));
}
BENCHMARK(BM_Blur30_3840x2160)->Unit(benchmark::kMillisecond);

void BM_Pixelate10_1920x1080(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MosaicRenderer::pixelated(hdCrop(), 10));
}
BENCHMARK(BM_Pixelate10_1920x1080)->Unit(benchmark::kMillisecond);

void BM_Brighten_1920x1080(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MosaicRenderer::brightened(hdCrop(), 0.25f));
}
BENCHMARK(BM_Brighten_1920x1080)->Unit(benchmark::kMillisecond);

void BM_Baseline_Copy_3840x2160(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(uhdImage().copy());
}
BENCHMARK(BM_Baseline_Copy_3840x2160)->Unit(benchmark::kMillisecond);

void BM_Baseline_PNG_3840x2160(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(encodePNG(uhdImage()));
}
BENCHMARK(BM_Baseline_PNG_3840x2160)->Unit(benchmark::kMillisecond);

void BM_Beautify_3840x2160(benchmark::State& state)
{
    const BeautifyConfig config = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(BeautifyRenderer::render(uhdImage(), config));
}
BENCHMARK(BM_Beautify_3840x2160)->Unit(benchmark::kMillisecond);

void BM_BeautifyPNG_3840x2160(benchmark::State& state)
{
    const BeautifyConfig config = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(encodePNG(BeautifyRenderer::render(uhdImage(), config)));
}
BENCHMARK(BM_BeautifyPNG_3840x2160)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ms = [&](const std::string& name) { return reporter.ms(name); };
    const auto ratio = [&](const char* label, const std::string& measured, const std::string& baseline) {
        const double m = ms(measured);
        const double b = ms(baseline);
        if (m < 0 || b <= 0)
            return;
        std::printf("%-46s %9.1f ms = %6.2f x %s\n", label, m, m / b, baseline.c_str());
    };
    std::printf("\n");
    std::printf("%-46s %9.1f ms (aim: under 30 ms)\n", "blur radius 30, 1920 x 1080", ms("BM_Blur30_1920x1080"));
    ratio("blur radius 30, 3840 x 2160", "BM_Blur30_3840x2160", "BM_Baseline_Copy_3840x2160");
    ratio("Beautify render, 3840 x 2160", "BM_Beautify_3840x2160", "BM_Baseline_Copy_3840x2160");
    ratio("Beautify render, 3840 x 2160", "BM_Beautify_3840x2160", "BM_Baseline_PNG_3840x2160");
    ratio("Beautify render + PNG, 3840 x 2160", "BM_BeautifyPNG_3840x2160", "BM_Baseline_PNG_3840x2160");
    return 0;
}
