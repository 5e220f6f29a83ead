#include "annotation/MosaicRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Every filter works on premultiplied ARGB; the result keeps the input's device pixel ratio.
QImage premultipliedCopy(const QImage& image)
{
    // A shared copy when the format already fits; the first scanLine() write detaches it, so the
    // caller's pixels are never touched.
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// --- blur ---

// Radii of the three box filters whose succession approximates a Gaussian of standard deviation
// sigma (box widths chosen so that the variances add up to sigma²).
std::array<int, 3> boxRadii(double sigma)
{
    constexpr int passes = 3;
    const double variance12 = 12.0 * sigma * sigma;
    int lower = static_cast<int>(std::floor(std::sqrt(variance12 / passes + 1)));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double lowerCount
        = (variance12 - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes) / (-4.0 * lower - 4.0);
    const int m = std::clamp(static_cast<int>(std::lround(lowerCount)), 0, passes);
    std::array<int, 3> radii {};
    for (int i = 0; i < passes; ++i)
        radii[static_cast<std::size_t>(i)] = ((i < m ? lower : upper) - 1) / 2;
    return radii;
}

// One box pass over a line of elements, each `width` floats (a pixel's channels, or a strip of
// pixels): out[i] = mean of in[i - r ... i + r] for i in [lo, hi). The caller guarantees that the
// read range [lo - r, hi + r) lies inside the line.
template <int FixedWidth>
void boxPass(const float* in, float* out, int lo, int hi, int r, int runtimeWidth, float* acc)
{
    const int width = FixedWidth > 0 ? FixedWidth : runtimeWidth;
    const std::size_t w = static_cast<std::size_t>(width);
    if (r == 0) {
        std::memcpy(out + static_cast<std::size_t>(lo) * w, in + static_cast<std::size_t>(lo) * w,
            static_cast<std::size_t>(hi - lo) * w * sizeof(float));
        return;
    }
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    std::fill(acc, acc + w, 0.0f);
    for (int j = lo - r; j < lo + r; ++j) {
        const float* src = in + static_cast<std::size_t>(j) * w;
        for (std::size_t c = 0; c < w; ++c)
            acc[c] += src[c];
    }
    for (int i = lo; i < hi; ++i) {
        const float* incoming = in + static_cast<std::size_t>(i + r) * w;
        const float* outgoing = in + static_cast<std::size_t>(i - r) * w;
        float* dst = out + static_cast<std::size_t>(i) * w;
        for (std::size_t c = 0; c < w; ++c) {
            acc[c] += incoming[c];
            dst[c] = acc[c] * scale;
            acc[c] -= outgoing[c];
        }
    }
}

// Three box passes over a padded line of n elements whose content sits at [pad, n - pad), with
// pad = r0 + r1 + r2 zero elements on each side. Each pass narrows the range it computes, so the
// last one yields exactly the content range, in `b`, as a blur over an infinite transparent plane.
template <int FixedWidth>
void threePasses(float* a, float* b, int n, const std::array<int, 3>& r, int width, float* acc)
{
    boxPass<FixedWidth>(a, b, r[0], n - r[0], r[0], width, acc);
    boxPass<FixedWidth>(b, a, r[0] + r[1], n - r[0] - r[1], r[1], width, acc);
    boxPass<FixedWidth>(a, b, r[0] + r[1] + r[2], n - r[0] - r[1] - r[2], r[2], width, acc);
}

inline std::uint8_t toByte(float value)
{
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value + 0.5f), 0, 255));
}

// Blurs `image` (C bytes per pixel, every byte one channel) in place: rows first, then columns in
// strips a few hundred floats wide, so that the column passes run over contiguous memory.
template <int C>
void blurInPlace(QImage& image, const std::array<int, 3>& radii)
{
    const int width = image.width();
    const int height = image.height();
    const int pad = radii[0] + radii[1] + radii[2];
    if (pad == 0)
        return;

    // Rows.
    {
        const int n = width + 2 * pad;
        std::vector<float> a(static_cast<std::size_t>(n) * C, 0.0f);
        std::vector<float> b(static_cast<std::size_t>(n) * C, 0.0f);
        float acc[C];
        for (int y = 0; y < height; ++y) {
            std::uint8_t* line = image.scanLine(y);
            std::fill(a.begin(), a.end(), 0.0f);
            float* content = a.data() + static_cast<std::size_t>(pad) * C;
            for (int i = 0; i < width * C; ++i)
                content[i] = line[i];
            threePasses<C>(a.data(), b.data(), n, radii, C, acc);
            const float* result = b.data() + static_cast<std::size_t>(pad) * C;
            for (int i = 0; i < width * C; ++i)
                line[i] = toByte(result[i]);
        }
    }

    // Columns, in strips of stripPixels pixels.
    {
        constexpr int stripFloats = 256;
        const int stripPixels = std::max(1, stripFloats / C);
        const int n = height + 2 * pad;
        std::vector<float> a(static_cast<std::size_t>(n) * stripFloats);
        std::vector<float> b(static_cast<std::size_t>(n) * stripFloats);
        std::vector<float> acc(stripFloats);
        for (int x0 = 0; x0 < width; x0 += stripPixels) {
            const int pixels = std::min(stripPixels, width - x0);
            const int w = pixels * C;
            std::fill(a.begin(), a.end(), 0.0f);
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* src = image.constScanLine(y) + static_cast<std::size_t>(x0) * C;
                float* dst = a.data() + static_cast<std::size_t>(y + pad) * w;
                for (int i = 0; i < w; ++i)
                    dst[i] = src[i];
            }
            threePasses<0>(a.data(), b.data(), n, radii, w, acc.data());
            for (int y = 0; y < height; ++y) {
                std::uint8_t* dst = image.scanLine(y) + static_cast<std::size_t>(x0) * C;
                const float* src = b.data() + static_cast<std::size_t>(y + pad) * w;
                for (int i = 0; i < w; ++i)
                    dst[i] = toByte(src[i]);
            }
        }
    }

    if constexpr (C == 4) {
        // Rounding may leave a colour channel one step above alpha; premultiplied pixels must not.
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const QRgb p = line[x];
                const int alpha = qAlpha(p);
                line[x] = qRgba(std::min(qRed(p), alpha), std::min(qGreen(p), alpha), std::min(qBlue(p), alpha), alpha);
            }
        }
    }
}

// A usable standard deviation: finite and not negative. Beyond the image's larger side the result is
// as good as fully faded, so larger values are capped there to bound the padding.
bool usableRadius(const QImage& image, qreal radius, double* sigma)
{
    if (image.isNull() || !std::isfinite(radius) || radius < 0)
        return false;
    *sigma = std::min<double>(radius, std::max(image.width(), image.height()));
    return true;
}

} // namespace

namespace MosaicRenderer {

QImage brightened(const QImage& image, float amount)
{
    if (image.isNull() || !std::isfinite(amount))
        return {};
    QImage result = premultipliedCopy(image);
    if (result.isNull())
        return {};
    // Unpremultiplied c' = clamp(c + amount); premultiplied by alpha a that is
    // C' = clamp(C + amount × a, 0, a), which needs no division.
    std::array<int, 256> offset {};
    for (int alpha = 0; alpha < 256; ++alpha)
        offset[static_cast<std::size_t>(alpha)] = static_cast<int>(std::lround(static_cast<double>(amount) * alpha));
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb p = line[x];
            const int alpha = qAlpha(p);
            const int add = offset[static_cast<std::size_t>(alpha)];
            line[x] = qRgba(std::clamp(qRed(p) + add, 0, alpha), std::clamp(qGreen(p) + add, 0, alpha),
                std::clamp(qBlue(p) + add, 0, alpha), alpha);
        }
    }
    result.setDevicePixelRatio(image.devicePixelRatio());
    return result;
}

QImage pixelated(const QImage& image, qreal scale)
{
    // A cell size that is not a positive number has no meaning; failing (rather than returning the
    // pixels unchanged) keeps a redaction from showing what it should hide.
    if (image.isNull() || !std::isfinite(scale) || scale <= 0)
        return {};
    QImage result = premultipliedCopy(image);
    if (result.isNull() || scale < 1) {
        if (!result.isNull())
            result.setDevicePixelRatio(image.devicePixelRatio());
        return result;
    }

    const int width = result.width();
    const int height = result.height();
    // The cell of each column and row: the pixel centre's distance from the image centre in cells.
    const auto cellIndices = [scale](int count) {
        const double centre = count / 2.0;
        std::vector<int> cells(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            cells[static_cast<std::size_t>(i)] = static_cast<int>(std::floor((i + 0.5 - centre) / scale));
        const int first = cells.front();
        for (int& cell : cells)
            cell -= first;
        return cells;
    };
    const std::vector<int> columnCell = cellIndices(width);
    const std::vector<int> rowCell = cellIndices(height);
    const std::size_t columns = static_cast<std::size_t>(columnCell.back()) + 1;

    // One band of rows (one row of cells) at a time: sum the premultiplied channels per cell, then
    // paint every pixel of the band with its cell's mean.
    std::vector<std::uint64_t> sums(columns * 5);
    int bandStart = 0;
    while (bandStart < height) {
        int bandEnd = bandStart;
        while (bandEnd < height && rowCell[static_cast<std::size_t>(bandEnd)] == rowCell[static_cast<std::size_t>(bandStart)])
            ++bandEnd;
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = bandStart; y < bandEnd; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(result.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                std::uint64_t* cell = &sums[static_cast<std::size_t>(columnCell[static_cast<std::size_t>(x)]) * 5];
                const QRgb p = line[x];
                cell[0] += static_cast<std::uint64_t>(qRed(p));
                cell[1] += static_cast<std::uint64_t>(qGreen(p));
                cell[2] += static_cast<std::uint64_t>(qBlue(p));
                cell[3] += static_cast<std::uint64_t>(qAlpha(p));
                cell[4] += 1;
            }
        }
        std::vector<QRgb> colours(columns);
        for (std::size_t c = 0; c < columns; ++c) {
            const std::uint64_t* cell = &sums[c * 5];
            const std::uint64_t count = std::max<std::uint64_t>(cell[4], 1);
            const auto mean = [count](std::uint64_t sum) { return static_cast<int>((sum + count / 2) / count); };
            colours[c] = qRgba(mean(cell[0]), mean(cell[1]), mean(cell[2]), mean(cell[3]));
        }
        for (int y = bandStart; y < bandEnd; ++y) {
            auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = colours[static_cast<std::size_t>(columnCell[static_cast<std::size_t>(x)])];
        }
        bandStart = bandEnd;
    }
    result.setDevicePixelRatio(image.devicePixelRatio());
    return result;
}

QImage blurred(const QImage& image, qreal radius)
{
    double sigma = 0;
    if (!usableRadius(image, radius, &sigma))
        return {};
    QImage result = premultipliedCopy(image);
    if (result.isNull())
        return {};
    blurInPlace<4>(result, boxRadii(sigma));
    result.setDevicePixelRatio(image.devicePixelRatio());
    return result;
}

QImage blurredMask(const QImage& mask, qreal radius)
{
    double sigma = 0;
    if (!usableRadius(mask, radius, &sigma))
        return {};
    const QImage::Format format
        = mask.format() == QImage::Format_Grayscale8 ? QImage::Format_Grayscale8 : QImage::Format_Alpha8;
    QImage result = mask.convertToFormat(format);
    if (result.isNull())
        return {};
    blurInPlace<1>(result, boxRadii(sigma));
    result.setDevicePixelRatio(mask.devicePixelRatio());
    return result;
}

}
