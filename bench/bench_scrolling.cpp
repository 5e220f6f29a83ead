// Speed of the scrolling capture's measurement: 30 frames of 1920 × 1080 taken from a long page
// (each scrolled by 600 rows) are measured pair by pair as the capture does (every distance at
// which the frames agree, checked over the whole overlap) and stacked (aim: under 1 s in all).
// The time per frame pair, of the full measurement and of the quick band measurement alone, is
// printed against a plain comparison of the same two frames' grey rows, measured in the same run.
#include "BenchSupport.h"
#include "capture/ScrollFrameAligner.h"
#include "capture/ScrollSliceStack.h"

#include <QGuiApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr int frameWidth = 1920;
constexpr int frameHeight = 1080;
constexpr int frameCount = 30;
constexpr int scrollRows = 600;

// A page of text-like lines and coloured blocks, as a long document looks.
const QImage& page()
{
    static const QImage image = [] {
        QImage page(frameWidth, frameHeight + scrollRows * (frameCount - 1), QImage::Format_RGB32);
        page.fill(QColor(250, 250, 250));
        QPainter painter(&page);
        std::mt19937 rng(9);
        std::uniform_int_distribution<int> width(80, 900);
        std::uniform_int_distribution<int> shade(0, 120);
        for (int y = 10; y < page.height() - 20; y += 22) {
            int x = 40;
            while (x < frameWidth - 200) {
                const int w = width(rng) / 4;
                painter.fillRect(x, y, w, 12, QColor(shade(rng), shade(rng), shade(rng)));
                x += w + 12;
            }
        }
        return page;
    }();
    return image;
}

// Two frames of a page of one line repeated, 220 rows apart: every whole line is a distance at
// which they agree, and each is checked over its whole overlap.
const std::pair<QImage, QImage>& repeatedFrames()
{
    static const std::pair<QImage, QImage> pair = [] {
        QImage page(frameWidth, frameHeight + 440, QImage::Format_RGB32);
        page.fill(QColor(250, 250, 250));
        QPainter painter(&page);
        for (int y = 10; y < page.height() - 20; y += 22)
            for (int x = 40; x < 1400; x += 90)
                painter.fillRect(x, y, 70, 12, QColor(40, 40, 40));
        return std::make_pair(page.copy(0, 0, frameWidth, frameHeight), page.copy(0, 220, frameWidth, frameHeight));
    }();
    return pair;
}

QImage frame(int index)
{
    return page().copy(0, index * scrollRows, frameWidth, frameHeight);
}

const std::vector<QImage>& frames()
{
    static const std::vector<QImage> all = [] {
        std::vector<QImage> list;
        for (int i = 0; i < frameCount; ++i)
            list.push_back(frame(i));
        return list;
    }();
    return all;
}

void BM_Baseline_PlainRowComparison(benchmark::State& state)
{
    for (auto _ : state) {
        // Convert both frames to grey and compare every row once, as a naive "did it change" check.
        const QImage a = frames()[0].convertToFormat(QImage::Format_Grayscale8);
        const QImage b = frames()[1].convertToFormat(QImage::Format_Grayscale8);
        std::uint64_t sum = 0;
        for (int y = 0; y < a.height(); ++y) {
            const uchar* ra = a.constScanLine(y);
            const uchar* rb = b.constScanLine(y);
            for (int x = 0; x < a.width(); ++x)
                sum += std::uint64_t(std::abs(int(ra[x]) - int(rb[x])));
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_Baseline_PlainRowComparison)->Unit(benchmark::kMillisecond);

void BM_AlignOnePair(benchmark::State& state)
{
    const ScrollFrameAligner aligner;
    for (auto _ : state) {
        const auto offset = aligner.align(frames()[0], frames()[1]);
        if (offset != scrollRows)
            state.SkipWithError("wrong offset");
    }
}
BENCHMARK(BM_AlignOnePair)->Unit(benchmark::kMillisecond);

void BM_MatchOnePair(benchmark::State& state)
{
    const ScrollFrameAligner aligner;
    for (auto _ : state) {
        const auto offset = aligner.match(frames()[0], frames()[1], {}).clear();
        if (offset != scrollRows)
            state.SkipWithError("wrong offset");
    }
}
BENCHMARK(BM_MatchOnePair)->Unit(benchmark::kMillisecond);

void BM_MatchRepeatedLines(benchmark::State& state)
{
    const ScrollFrameAligner aligner;
    for (auto _ : state) {
        const ScrollMatch found = aligner.match(repeatedFrames().first, repeatedFrames().second, {});
        if (!found.allows(220) || found.clear())
            state.SkipWithError("repeated lines not seen as such");
    }
}
BENCHMARK(BM_MatchRepeatedLines)->Unit(benchmark::kMillisecond);

void BM_Align30FramesAndStitch(benchmark::State& state)
{
    const ScrollFrameAligner aligner;
    for (auto _ : state) {
        std::vector<QImage> slices {frames()[0]};
        for (int i = 1; i < frameCount; ++i) {
            const auto offset = aligner.match(frames()[i - 1], frames()[i], {}).clear();
            if (!offset) {
                state.SkipWithError("no offset");
                break;
            }
            slices.push_back(frames()[i].copy(0, frameHeight - *offset, frameWidth, *offset));
        }
        benchmark::DoNotOptimize(ScrollSliceStack::stitch(slices));
    }
}
BENCHMARK(BM_Align30FramesAndStitch)->Unit(benchmark::kMillisecond);

}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    frames();
    repeatedFrames();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ms = [&](const std::string& name) { return reporter.ms(name); };
    const double pair = ms("BM_MatchOnePair");
    const double band = ms("BM_AlignOnePair");
    const double plain = ms("BM_Baseline_PlainRowComparison");
    std::printf("\n%-52s %9.1f ms (aim: under 1000 ms)\n", "30 frames of 1920 x 1080 aligned and stitched",
        ms("BM_Align30FramesAndStitch"));
    if (pair > 0 && plain > 0) {
        std::printf("%-52s %9.2f ms = %6.2f x a plain row comparison (%.2f ms)\n", "measurement, one frame pair", pair,
            pair / plain, plain);
        std::printf(
            "%-52s %9.2f ms = %6.2f x a plain row comparison\n", "quick band measurement alone", band, band / plain);
        const double repeated = ms("BM_MatchRepeatedLines");
        std::printf("%-52s %9.2f ms = %6.2f x a plain row comparison\n", "measurement, a frame pair of repeated lines",
            repeated, repeated / plain);
    }
    return 0;
}
