#include "annotation/MosaicRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

QImage premultipliedCopy(const QImage& image)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (result.constBits() == image.constBits())
        result.detach();
    return result;
}

// Divides by a fixed window length through a fixed-point reciprocal.
struct Divider {
    explicit Divider(std::uint32_t divisor) : multiplier((std::uint64_t(1) << 32) / divisor) {}
    std::uint32_t operator()(std::uint32_t value) const
    {
        return static_cast<std::uint32_t>((value * multiplier + (std::uint64_t(1) << 31)) >> 32);
    }
    std::uint64_t multiplier;
};

// One box pass along the rows with window radius r; the outside of the image counts as transparent.
void boxRows(QImage& image, int r)
{
    const int w = image.width();
    const Divider divide(static_cast<std::uint32_t>(2 * r + 1));
    std::vector<std::uint32_t> row(static_cast<std::size_t>(w));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        std::copy(line, line + w, row.begin());
        std::array<std::uint32_t, 4> sum {};
        const auto add = [&](int x, int sign) {
            if (x < 0 || x >= w)
                return;
            const std::uint32_t p = row[static_cast<std::size_t>(x)];
            for (int c = 0; c < 4; ++c)
                sum[c] += static_cast<std::uint32_t>(sign) * ((p >> (8 * c)) & 0xff);
        };
        for (int x = 0; x < r && x < w; ++x)
            add(x, 1);
        for (int x = 0; x < w; ++x) {
            add(x + r, 1);
            line[x] = divide(sum[0]) | divide(sum[1]) << 8 | divide(sum[2]) << 16 | divide(sum[3]) << 24;
            add(x - r, -1);
        }
    }
}

// One box pass along the columns, all columns at once so that rows are read in memory order.
void boxColumns(QImage& image, int r)
{
    const int w = image.width();
    const int h = image.height();
    const Divider divide(static_cast<std::uint32_t>(2 * r + 1));
    const QImage source = image.copy();
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(w) * 4, 0);
    const auto add = [&](int y, int sign) {
        if (y < 0 || y >= h)
            return;
        const auto* line = reinterpret_cast<const std::uint32_t*>(source.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = line[x];
            std::uint32_t* s = &sums[static_cast<std::size_t>(x) * 4];
            for (int c = 0; c < 4; ++c)
                s[c] += static_cast<std::uint32_t>(sign) * ((p >> (8 * c)) & 0xff);
        }
    };
    for (int y = 0; y < r && y < h; ++y)
        add(y, 1);
    for (int y = 0; y < h; ++y) {
        add(y + r, 1);
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::uint32_t* s = &sums[static_cast<std::size_t>(x) * 4];
            line[x] = divide(s[0]) | divide(s[1]) << 8 | divide(s[2]) << 16 | divide(s[3]) << 24;
        }
        add(y - r, -1);
    }
}

} // namespace

QImage MosaicRenderer::brightened(const QImage& image, float amount)
{
    if (image.isNull() || !std::isfinite(amount))
        return QImage();
    QImage result = premultipliedCopy(image);
    if (result.isNull())
        return QImage();
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const std::uint32_t p = line[x];
            const int a = static_cast<int>(p >> 24);
            // The amount is added to the colour before premultiplication, so it scales with alpha.
            const int delta = static_cast<int>(std::lround(amount * static_cast<float>(a)));
            std::uint32_t out = p & 0xff000000u;
            for (int c = 0; c < 3; ++c) {
                const int v = std::clamp(static_cast<int>((p >> (8 * c)) & 0xff) + delta, 0, a);
                out |= static_cast<std::uint32_t>(v) << (8 * c);
            }
            line[x] = out;
        }
    }
    return result;
}

QImage MosaicRenderer::pixelated(const QImage& image, qreal scale)
{
    if (image.isNull() || !std::isfinite(scale))
        return QImage();
    QImage result = premultipliedCopy(image);
    if (result.isNull() || scale <= 1)
        return result;
    const int w = result.width();
    const int h = result.height();
    // Cells of `scale` pixels on a grid through the image's centre; each takes its average colour.
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    const auto cellOf = [scale](int pixel, double centre) {
        return static_cast<int>(std::floor((pixel + 0.5 - centre) / scale));
    };
    const int firstColumn = cellOf(0, cx);
    const int columns = cellOf(w - 1, cx) - firstColumn + 1;
    std::vector<int> columnOf(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x)
        columnOf[static_cast<std::size_t>(x)] = cellOf(x, cx) - firstColumn;

    std::vector<std::uint64_t> sums(static_cast<std::size_t>(columns) * 5);
    int y = 0;
    while (y < h) {
        const int cellRow = cellOf(y, cy);
        int end = y;
        while (end < h && cellOf(end, cy) == cellRow)
            ++end;
        std::fill(sums.begin(), sums.end(), 0);
        for (int row = y; row < end; ++row) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(result.constScanLine(row));
            for (int x = 0; x < w; ++x) {
                std::uint64_t* s = &sums[static_cast<std::size_t>(columnOf[static_cast<std::size_t>(x)]) * 5];
                for (int c = 0; c < 4; ++c)
                    s[c] += (line[x] >> (8 * c)) & 0xff;
                ++s[4];
            }
        }
        std::vector<std::uint32_t> colours(static_cast<std::size_t>(columns));
        for (int column = 0; column < columns; ++column) {
            const std::uint64_t* s = &sums[static_cast<std::size_t>(column) * 5];
            std::uint32_t colour = 0;
            for (int c = 0; c < 4; ++c)
                colour |= static_cast<std::uint32_t>((s[c] + s[4] / 2) / std::max<std::uint64_t>(s[4], 1)) << (8 * c);
            colours[static_cast<std::size_t>(column)] = colour;
        }
        for (int row = y; row < end; ++row) {
            auto* line = reinterpret_cast<std::uint32_t*>(result.scanLine(row));
            for (int x = 0; x < w; ++x)
                line[x] = colours[static_cast<std::size_t>(columnOf[static_cast<std::size_t>(x)])];
        }
        y = end;
    }
    return result;
}

QImage MosaicRenderer::blurred(const QImage& image, qreal radius)
{
    if (image.isNull() || !std::isfinite(radius))
        return QImage();
    QImage result = premultipliedCopy(image);
    if (result.isNull() || radius <= 0)
        return result;
    // A Gaussian of standard deviation `radius`, approximated by three box passes in each direction.
    const double sigma = radius;
    constexpr int passes = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m = (12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) / (-4.0 * lower - 4);
    const int lowerCount = static_cast<int>(std::lround(m));
    const int limit = std::max(result.width(), result.height());
    for (int pass = 0; pass < passes; ++pass) {
        const int size = pass < lowerCount ? lower : upper;
        const int r = std::min((size - 1) / 2, limit);
        if (r <= 0)
            continue;
        boxRows(result, r);
        boxColumns(result, r);
    }
    return result;
}
