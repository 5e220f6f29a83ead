#include "capture/ScrollFrameAligner.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The sampled columns of rows [firstRow, lastRow) of a grey plane, packed row after row.
std::vector<std::uint8_t> sampledColumns(
    const std::vector<std::uint8_t>& plane, int width, int stride, int firstRow, int lastRow, int columns)
{
    std::vector<std::uint8_t> packed(std::size_t(lastRow - firstRow) * columns);
    for (int y = firstRow; y < lastRow; ++y) {
        const std::uint8_t* source = plane.data() + std::size_t(y) * width;
        std::uint8_t* target = packed.data() + std::size_t(y - firstRow) * columns;
        for (int c = 0; c < columns; ++c)
            target[c] = source[std::size_t(c) * stride];
    }
    return packed;
}

// Sum of absolute differences of two runs of bytes; written so the compiler vectorises it.
std::uint64_t absoluteDifference(const std::uint8_t* a, const std::uint8_t* b, int count)
{
    std::uint32_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum += std::uint32_t(std::abs(int(a[i]) - int(b[i])));
    return sum;
}

}

std::optional<std::vector<std::uint8_t>> ScrollFrameAligner::grayscaleBytes(const QImage& image)
{
    const int width = image.width();
    const int height = image.height();
    std::vector<std::uint8_t> bytes(std::size_t(width) * std::size_t(height), 0);
    if (bytes.empty())
        return bytes;
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return std::nullopt;
    for (int y = 0; y < height; ++y)
        std::memcpy(bytes.data() + std::size_t(y) * width, grey.constScanLine(y), std::size_t(width));
    return bytes;
}

std::optional<int> ScrollFrameAligner::align(const QImage& previous, const QImage& next) const
{
    if (previous.size() != next.size() || columnStride < 1)
        return std::nullopt;
    const int w = previous.width();
    const int h = previous.height();
    const auto previousPlane = grayscaleBytes(previous);
    const auto nextPlane = grayscaleBytes(next);
    if (!previousPlane || !nextPlane)
        return std::nullopt;

    const int bandStart = int(double(h) * 0.10);
    const int bandEnd = int(double(h) * 0.25);
    if (bandStart >= bandEnd || w <= 0)
        return std::nullopt;
    const int bandRows = bandEnd - bandStart;
    const int columns = (w + columnStride - 1) / columnStride;

    // Packing the sampled columns once turns every comparison into a run of adjacent bytes.
    const std::vector<std::uint8_t> band = sampledColumns(*nextPlane, w, columnStride, bandStart, bandEnd, columns);
    const std::vector<std::uint8_t> older = sampledColumns(*previousPlane, w, columnStride, 0, h, columns);

    // Every offset compares the same number of samples, so sums order as means do; a sum that
    // already reaches the best one cannot win (ties keep the smaller offset) and stops early.
    std::uint64_t bestSum = std::numeric_limits<std::uint64_t>::max();
    std::optional<int> bestOffset;
    for (int offset = 0; bandEnd + offset <= h; ++offset) {
        std::uint64_t sum = 0;
        for (int row = 0; row < bandRows && sum < bestSum; ++row) {
            sum += absoluteDifference(band.data() + std::size_t(row) * columns,
                older.data() + std::size_t(bandStart + offset + row) * columns, columns);
        }
        if (sum < bestSum) {
            bestSum = sum;
            bestOffset = offset;
        }
    }
    if (!bestOffset)
        return std::nullopt;
    const double count = double(columns) * double(bandRows);
    const double mean = double(bestSum) / count;
    if (!(mean < acceptanceThreshold))
        return std::nullopt;
    return bestOffset;
}
