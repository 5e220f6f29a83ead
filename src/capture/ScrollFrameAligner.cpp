#include "capture/ScrollFrameAligner.h"

#include <cstdlib>
#include <limits>

namespace {

// The grey values of the sampled columns of rows [firstRow, lastRow), packed row after row. Only
// the sampled pixels are converted, which is most of the saving over a whole grey plane.
std::vector<std::uint8_t> sampledColumns(const QImage& image, int stride, int firstRow, int lastRow, int columns)
{
    std::vector<std::uint8_t> packed(std::size_t(lastRow - firstRow) * columns);
    const bool grey = image.format() == QImage::Format_Grayscale8;
    for (int y = firstRow; y < lastRow; ++y) {
        std::uint8_t* target = packed.data() + std::size_t(y - firstRow) * columns;
        if (grey) {
            const uchar* source = image.constScanLine(y);
            for (int c = 0; c < columns; ++c)
                target[c] = source[std::size_t(c) * stride];
        } else {
            const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int c = 0; c < columns; ++c)
                target[c] = std::uint8_t(qGray(source[std::size_t(c) * stride]));
        }
    }
    return packed;
}

// The image in a format whose rows sampledColumns reads directly.
QImage readable(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    default:
        return image.convertToFormat(QImage::Format_RGB32);
    }
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

std::optional<int> ScrollFrameAligner::align(const QImage& previous, const QImage& next) const
{
    if (previous.size() != next.size() || columnStride < 1)
        return std::nullopt;
    const int w = previous.width();
    const int h = previous.height();
    const QImage previousImage = readable(previous);
    const QImage nextImage = readable(next);
    if (previousImage.isNull() || nextImage.isNull())
        return std::nullopt;

    const int bandStart = int(double(h) * 0.10);
    const int bandEnd = int(double(h) * 0.25);
    if (bandStart >= bandEnd || w <= 0)
        return std::nullopt;
    const int bandRows = bandEnd - bandStart;
    const int columns = (w + columnStride - 1) / columnStride;

    // Packing the sampled columns once turns every comparison into a run of adjacent bytes.
    const std::vector<std::uint8_t> band = sampledColumns(nextImage, columnStride, bandStart, bandEnd, columns);
    const std::vector<std::uint8_t> older = sampledColumns(previousImage, columnStride, 0, h, columns);

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
