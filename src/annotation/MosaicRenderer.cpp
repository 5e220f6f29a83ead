#include "annotation/MosaicRenderer.h"

#include "annotation/ParallelFor.h"


#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    const double lowerCount = (variance12 - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes)
        / (-4.0 * lower - 4.0);
    const int m = std::clamp(static_cast<int>(std::lround(lowerCount)), 0, passes);
    std::array<int, 3> radii {};
    for (int i = 0; i < passes; ++i)
        radii[static_cast<std::size_t>(i)] = ((i < m ? lower : upper) - 1) / 2;
    return radii;
}

// Four premultiplied channels of one pixel as floats; GCC and Clang map the operations on it to
// the processor's vector instructions.
typedef float Pixel4 __attribute__((vector_size(16)));

typedef int Int4 __attribute__((vector_size(16)));
typedef std::uint8_t Bytes4 __attribute__((vector_size(4)));

// The lane of alpha in a pixel's four bytes in memory (QRgb is 0xAARRGGBB in a 32-bit word).
constexpr int kAlphaLane = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0;

#if defined(__SSE2__)

inline Pixel4 loadPixel(const std::uint8_t* p)
{
    int word = 0;
    std::memcpy(&word, p, sizeof word);
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
    return reinterpret_cast<Pixel4>(_mm_cvtepi32_ps(bytes));
}

// Stores a premultiplied pixel rounded and clamped to 0...255, every colour at most its alpha.
inline void storePixel(std::uint8_t* p, Pixel4 value)
{
    static_assert(kAlphaLane == 3, "x86 is little-endian");
    __m128 v = _mm_min_ps(_mm_max_ps(reinterpret_cast<__m128>(value), _mm_setzero_ps()), _mm_set1_ps(255.0f));
    v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
    __m128i channels = _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f)));
    channels = _mm_packus_epi16(_mm_packs_epi32(channels, channels), channels);
    const int word = _mm_cvtsi128_si32(channels);
    std::memcpy(p, &word, sizeof word);
}

#else

inline Pixel4 loadPixel(const std::uint8_t* p)
{
    Bytes4 bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    return __builtin_convertvector(bytes, Pixel4);
}

inline void storePixel(std::uint8_t* p, Pixel4 value)
{
    Int4 channels = __builtin_convertvector(value + 0.5f, Int4);
    channels = channels < 0 ? 0 : channels;
    channels = channels > 255 ? 255 : channels;
    const int alpha = channels[kAlphaLane];
    channels = channels > alpha ? alpha : channels;
    const Bytes4 bytes = __builtin_convertvector(channels, Bytes4);
    std::memcpy(p, &bytes, sizeof bytes);
}

#endif

// One box pass along a line of pixels: out[i] = mean of in[i - r ... i + r] for i in [lo, hi). The
// caller guarantees that the read range [lo - r, hi + r) lies inside the line.
void rowPass(const Pixel4* __restrict in, Pixel4* __restrict out, int lo, int hi, int r)
{
    if (r == 0) {
        std::memcpy(out + lo, in + lo, static_cast<std::size_t>(hi - lo) * sizeof(Pixel4));
        return;
    }
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    Pixel4 acc {};
    for (int j = lo - r; j < lo + r; ++j)
        acc += in[j];
    for (int i = lo; i < hi; ++i) {
        acc += in[i + r];
        out[i] = acc * scale;
        acc -= in[i - r];
    }
}

// The same along a column strip: every element of the line is a row of `width` pixels.
void stripPass(
    const Pixel4* __restrict in, Pixel4* __restrict out, int lo, int hi, int r, int width, Pixel4* __restrict acc)
{
    const std::size_t w = static_cast<std::size_t>(width);
    if (r == 0) {
        std::memcpy(out + static_cast<std::size_t>(lo) * w, in + static_cast<std::size_t>(lo) * w,
            static_cast<std::size_t>(hi - lo) * w * sizeof(Pixel4));
        return;
    }
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    for (std::size_t k = 0; k < w; ++k)
        acc[k] = Pixel4 {};
    for (int j = lo - r; j < lo + r; ++j) {
        const Pixel4* src = in + static_cast<std::size_t>(j) * w;
        for (std::size_t k = 0; k < w; ++k)
            acc[k] += src[k];
    }
    for (int i = lo; i < hi; ++i) {
        const Pixel4* incoming = in + static_cast<std::size_t>(i + r) * w;
        const Pixel4* outgoing = in + static_cast<std::size_t>(i - r) * w;
        Pixel4* dst = out + static_cast<std::size_t>(i) * w;
        for (std::size_t k = 0; k < w; ++k) {
            acc[k] += incoming[k];
            dst[k] = acc[k] * scale;
            acc[k] -= outgoing[k];
        }
    }
}

// Blurs premultiplied ARGB `image` in place with three box passes per direction. Each line is
// padded by pad = r0 + r1 + r2 transparent pixels on both sides and every pass narrows the range it
// computes, so the result equals the blur over an infinite transparent plane, cut to the image.
// Rows first, then columns in narrow strips so that the column passes stay in the cache.
void blurInPlace(QImage& image, const std::array<int, 3>& r)
{
    const int width = image.width();
    const int height = image.height();
    const int pad = r[0] + r[1] + r[2];
    if (pad == 0 || width == 0 || height == 0)
        return;

    std::uint8_t* bits = image.bits(); // detaches here, on the calling thread
    const std::size_t stride = static_cast<std::size_t>(image.bytesPerLine());

    parallelFor(height, static_cast<std::size_t>(width), [&](int firstRow, int endRow) {
        const int n = width + 2 * pad;
        std::vector<Pixel4> a(static_cast<std::size_t>(n));
        std::vector<Pixel4> b(static_cast<std::size_t>(n));
        for (int y = firstRow; y < endRow; ++y) {
            std::uint8_t* line = bits + static_cast<std::size_t>(y) * stride;
            std::fill(a.begin(), a.begin() + pad, Pixel4 {});
            std::fill(a.end() - pad, a.end(), Pixel4 {});
            for (int x = 0; x < width; ++x)
                a[static_cast<std::size_t>(pad + x)] = loadPixel(line + 4 * x);
            rowPass(a.data(), b.data(), r[0], n - r[0], r[0]);
            rowPass(b.data(), a.data(), r[0] + r[1], n - r[0] - r[1], r[1]);
            rowPass(a.data(), b.data(), pad, n - pad, r[2]);
            for (int x = 0; x < width; ++x)
                storePixel(line + 4 * x, b[static_cast<std::size_t>(pad + x)]);
        }
    });

    constexpr int stripPixels = 8;
    const int strips = (width + stripPixels - 1) / stripPixels;
    parallelFor(strips, static_cast<std::size_t>(height) * stripPixels, [&](int firstStrip, int endStrip) {
        const int n = height + 2 * pad;
        std::vector<Pixel4> a(static_cast<std::size_t>(n) * stripPixels);
        std::vector<Pixel4> b(static_cast<std::size_t>(n) * stripPixels);
        Pixel4 acc[stripPixels];
        for (int strip = firstStrip; strip < endStrip; ++strip) {
            const int x0 = strip * stripPixels;
            const int w = std::min(stripPixels, width - x0);
            const std::size_t padPixels = static_cast<std::size_t>(pad) * static_cast<std::size_t>(w);
            std::fill(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(padPixels), Pixel4 {});
            std::fill(a.begin() + static_cast<std::ptrdiff_t>(padPixels + static_cast<std::size_t>(height) * w),
                a.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(n) * w), Pixel4 {});
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* src = bits + static_cast<std::size_t>(y) * stride + 4 * x0;
                Pixel4* dst = a.data() + static_cast<std::size_t>(y + pad) * w;
                for (int k = 0; k < w; ++k)
                    dst[k] = loadPixel(src + 4 * k);
            }
            stripPass(a.data(), b.data(), r[0], n - r[0], r[0], w, acc);
            stripPass(b.data(), a.data(), r[0] + r[1], n - r[0] - r[1], r[1], w, acc);
            stripPass(a.data(), b.data(), pad, n - pad, r[2], w, acc);
            for (int y = 0; y < height; ++y) {
                std::uint8_t* dst = bits + static_cast<std::size_t>(y) * stride + 4 * x0;
                const Pixel4* src = b.data() + static_cast<std::size_t>(y + pad) * w;
                for (int k = 0; k < w; ++k)
                    storePixel(dst + 4 * k, src[k]);
            }
        }
    });
}

// From this standard deviation on, the blur runs on a copy reduced by an integer factor of about a
// quarter of it, and is scaled back up bilinearly. A blur that wide has no detail the reduction could
// lose, and the work falls with the square of the factor.
constexpr double kReductionThreshold = 8.0;

// The image reduced by `factor` (the mean of each factor × factor block, the outside transparent),
// with one transparent pixel of margin on every side for the interpolation back.
QImage reduced(const QImage& image, int factor)
{
    const int width = (image.width() + factor - 1) / factor;
    const int height = (image.height() + factor - 1) / factor;
    QImage result(width + 2, height + 2, QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return {};
    result.fill(Qt::transparent);
    const float scale = 1.0f / static_cast<float>(factor * factor);
    const std::uint8_t* source = image.constBits();
    const std::size_t sourceStride = static_cast<std::size_t>(image.bytesPerLine());
    std::uint8_t* target = result.bits();
    const std::size_t targetStride = static_cast<std::size_t>(result.bytesPerLine());
    const int sourceWidth = image.width();
    const int sourceHeight = image.height();
    parallelFor(height, static_cast<std::size_t>(sourceWidth) * factor, [&](int firstRow, int endRow) {
        std::vector<Pixel4> sums(static_cast<std::size_t>(width));
        for (int ry = firstRow; ry < endRow; ++ry) {
            std::fill(sums.begin(), sums.end(), Pixel4 {});
            for (int y = ry * factor; y < std::min(sourceHeight, (ry + 1) * factor); ++y) {
                const std::uint8_t* line = source + static_cast<std::size_t>(y) * sourceStride;
                for (int rx = 0; rx < width; ++rx) {
                    Pixel4 sum = sums[static_cast<std::size_t>(rx)];
                    for (int x = rx * factor; x < std::min(sourceWidth, (rx + 1) * factor); ++x)
                        sum += loadPixel(line + 4 * x);
                    sums[static_cast<std::size_t>(rx)] = sum;
                }
            }
            std::uint8_t* out = target + static_cast<std::size_t>(ry + 1) * targetStride + 4;
            for (int rx = 0; rx < width; ++rx)
                storePixel(out + 4 * rx, sums[static_cast<std::size_t>(rx)] * scale);
        }
    });
    return result;
}

// Scales a margin-padded reduced image back up to width × height: bilinear between the centres of
// the reduced pixels, which lie at (i + 0.5) × factor.
void enlargeInto(const QImage& small, int factor, QImage& target)
{
    struct Tap {
        int index;
        float weight; // of index + 1
    };
    const auto taps = [factor](int count) {
        std::vector<Tap> result(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const double u = (i + 0.5) / factor - 0.5 + 1; // in the padded image
            const int index = static_cast<int>(std::floor(u));
            result[static_cast<std::size_t>(i)] = Tap {index, static_cast<float>(u - index)};
        }
        return result;
    };
    const std::vector<Tap> columns = taps(target.width());
    const std::vector<Tap> rows = taps(target.height());
    const std::uint8_t* source = small.constBits();
    const std::size_t sourceStride = static_cast<std::size_t>(small.bytesPerLine());
    const int sourceWidth = small.width();
    std::uint8_t* bits = target.bits();
    const std::size_t stride = static_cast<std::size_t>(target.bytesPerLine());
    const int width = target.width();
    parallelFor(target.height(), static_cast<std::size_t>(width), [&](int firstRow, int endRow) {
        std::vector<Pixel4> blended(static_cast<std::size_t>(sourceWidth));
        for (int y = firstRow; y < endRow; ++y) {
            const Tap row = rows[static_cast<std::size_t>(y)];
            const std::uint8_t* upper = source + static_cast<std::size_t>(row.index) * sourceStride;
            const std::uint8_t* lower = upper + sourceStride;
            for (int i = 0; i < sourceWidth; ++i)
                blended[static_cast<std::size_t>(i)] = loadPixel(upper + 4 * i) * (1 - row.weight)
                    + loadPixel(lower + 4 * i) * row.weight;
            std::uint8_t* out = bits + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; ++x) {
                const Tap column = columns[static_cast<std::size_t>(x)];
                const std::size_t i = static_cast<std::size_t>(column.index);
                storePixel(out + 4 * x, blended[i] * (1 - column.weight) + blended[i + 1] * column.weight);
            }
        }
    });
}

// Blurs premultiplied ARGB `image` in place by a Gaussian of standard deviation sigma.
bool gaussianBlurInPlace(QImage& image, double sigma)
{
    if (sigma < kReductionThreshold) {
        blurInPlace(image, boxRadii(sigma));
        return true;
    }
    const int factor = static_cast<int>(sigma / 4);
    QImage small = reduced(image, factor);
    if (small.isNull())
        return false;
    // Reducing (a box of the factor) and enlarging (a tent of twice it) blur by variance factor² / 4
    // on their own; the reduced blur adds the rest.
    const double rest = std::sqrt(std::max(sigma * sigma - factor * factor / 4.0, 0.0)) / factor;
    blurInPlace(small, boxRadii(rest));
    enlargeInto(small, factor, image);
    return true;
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
        while (bandEnd < height
            && rowCell[static_cast<std::size_t>(bandEnd)] == rowCell[static_cast<std::size_t>(bandStart)])
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
    if (result.isNull() || !gaussianBlurInPlace(result, sigma))
        return {};
    result.setDevicePixelRatio(image.devicePixelRatio());
    return result;
}

QImage blurredMask(const QImage& mask, qreal radius)
{
    double sigma = 0;
    if (!usableRadius(mask, radius, &sigma))
        return {};
    // Blurred as black with the mask as alpha; masks are small.
    QImage work = mask.convertToFormat(QImage::Format_Alpha8).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (work.isNull() || !gaussianBlurInPlace(work, sigma))
        return {};
    QImage result = work.convertToFormat(QImage::Format_Alpha8);
    result.setDevicePixelRatio(mask.devicePixelRatio());
    return result;
}

}
