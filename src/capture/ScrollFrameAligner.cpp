#include "capture/ScrollFrameAligner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The image in a format whose rows are read directly: 8-bit grey or 32-bit pixels.
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

// The image with 32-bit pixels.
QImage pixels32(const QImage& image)
{
    const QImage r = readable(image);
    return r.format() == QImage::Format_Grayscale8 ? r.convertToFormat(QImage::Format_RGB32) : r;
}

// The grey values of the columns `xs` of rows [firstRow, lastRow), packed row after row. Only the
// sampled pixels are converted, which is most of the saving over a whole grey plane.
std::vector<std::uint8_t> sampledColumns(const QImage& image, const std::vector<int>& xs, int firstRow, int lastRow)
{
    const std::size_t columns = xs.size();
    std::vector<std::uint8_t> packed(std::size_t(lastRow - firstRow) * columns);
    const bool grey = image.format() == QImage::Format_Grayscale8;
    for (int y = firstRow; y < lastRow; ++y) {
        std::uint8_t* target = packed.data() + std::size_t(y - firstRow) * columns;
        if (grey) {
            const uchar* source = image.constScanLine(y);
            for (std::size_t c = 0; c < columns; ++c)
                target[c] = source[xs[c]];
        } else {
            const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (std::size_t c = 0; c < columns; ++c)
                target[c] = std::uint8_t(qGray(source[xs[c]]));
        }
    }
    return packed;
}

std::vector<int> everyStride(int width, int stride)
{
    std::vector<int> xs;
    for (int x = 0; x < width; x += stride)
        xs.push_back(x);
    return xs;
}

// The sampled columns (indexes into the sampled x positions) whose pixels differ anywhere between
// two samplings of `rows` rows.
std::vector<int> changedColumns(
    const std::vector<std::uint8_t>& older, const std::vector<std::uint8_t>& newer, std::size_t columns, int rows)
{
    std::vector<int> changed;
    for (std::size_t c = 0; c < columns; ++c) {
        for (int y = 0; y < rows; ++y) {
            const std::size_t i = std::size_t(y) * columns + c;
            if (older[i] != newer[i]) {
                changed.push_back(int(c));
                break;
            }
        }
    }
    return changed;
}

// The samples of the columns `kept` (sorted indexes) of a plane of `rows` rows of `columns`
// samples, packed row after row. Kept columns mostly lie side by side: they are copied run by run.
std::vector<std::uint8_t> keptColumns(
    std::vector<std::uint8_t> plane, std::size_t columns, int rows, const std::vector<int>& kept)
{
    if (kept.size() == columns)
        return plane;
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (const int c : kept) {
        if (!runs.empty() && runs.back().first + runs.back().second == std::size_t(c))
            ++runs.back().second;
        else
            runs.emplace_back(std::size_t(c), 1);
    }
    std::vector<std::uint8_t> packed(std::size_t(rows) * kept.size());
    std::uint8_t* target = packed.data();
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* source = plane.data() + std::size_t(y) * columns;
        for (const auto& [first, length] : runs) {
            std::memcpy(target, source + first, length);
            target += length;
        }
    }
    return packed;
}

// Sum of absolute differences of two runs of bytes: the innermost loop of every measurement, 16
// bytes at a time where the processor allows (the compiler does not vectorise it at -O2).
std::uint64_t absoluteDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    std::size_t i = 0;
    std::uint64_t sum = 0;
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(x, y));
    }
    sum = std::uint64_t(_mm_cvtsi128_si64(sums)) + std::uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
#endif
    for (; i < count; ++i)
        sum += std::uint64_t(std::abs(int(a[i]) - int(b[i])));
    return sum;
}

// The offset at which rows [bandStart, bandEnd) of `newer` match `older` best, trying offsets while
// bandEnd + offset <= rows; both planes hold `rows` rows of `columns` packed samples. None when no
// offset scores strictly below `threshold` (a mean grey difference).
std::optional<int> bestOffset(const std::vector<std::uint8_t>& older, const std::vector<std::uint8_t>& newer,
    std::size_t columns, int rows, int bandStart, int bandEnd, double threshold)
{
    const int bandRows = bandEnd - bandStart;
    // Every offset compares the same number of samples, so sums order as means do; a sum that
    // already reaches the best one cannot win (ties keep the smaller offset) and stops early.
    std::uint64_t bestSum = std::numeric_limits<std::uint64_t>::max();
    std::optional<int> best;
    for (int offset = 0; bandEnd + offset <= rows; ++offset) {
        std::uint64_t sum = 0;
        for (int row = 0; row < bandRows && sum < bestSum; ++row) {
            sum += absoluteDifference(newer.data() + std::size_t(bandStart + row) * columns,
                older.data() + std::size_t(bandStart + offset + row) * columns, columns);
        }
        if (sum < bestSum) {
            bestSum = sum;
            best = offset;
        }
    }
    if (!best)
        return std::nullopt;
    const double mean = double(bestSum) / (double(columns) * double(bandRows));
    if (!(mean < threshold))
        return std::nullopt;
    return best;
}

// How many pixels of two rows of 32-bit pixels differ (colour only), counted up to `cap`.
int differingPixels(const QRgb* a, const QRgb* b, int width, int cap)
{
    int differing = 0;
    for (int x = 0; x < width && differing < cap; ++x)
        differing += ((a[x] ^ b[x]) & 0xffffffu) != 0 ? 1 : 0;
    return differing;
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
    const std::vector<int> xs = everyStride(w, columnStride);
    // Packing the sampled columns once turns every comparison into a run of adjacent bytes.
    const std::vector<std::uint8_t> band = sampledColumns(nextImage, xs, 0, bandEnd);
    const std::vector<std::uint8_t> older = sampledColumns(previousImage, xs, 0, h);
    return bestOffset(older, band, xs.size(), h, bandStart, bandEnd, acceptanceThreshold);
}

namespace {

// The compared samples of one frame's moving rows, packed row after row, with what each row
// holds: whether it is a single grey level (within 2) and which.
struct Plane {
    std::vector<std::uint8_t> samples;
    std::vector<std::uint8_t> flat;
    std::vector<std::uint8_t> level;
};

Plane planeOf(std::vector<std::uint8_t> samples, std::size_t columns, int rows)
{
    Plane plane;
    plane.samples = std::move(samples);
    plane.flat.resize(std::size_t(rows));
    plane.level.resize(std::size_t(rows));
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* row = plane.samples.data() + std::size_t(y) * columns;
        const auto [low, high] = std::minmax_element(row, row + columns);
        plane.flat[std::size_t(y)] = columns == 0 || *high - *low <= 2;
        plane.level[std::size_t(y)] = columns == 0 ? 0 : *low;
    }
    return plane;
}

// Whether row y of the newer plane and row y + offset of the older one say nothing about the
// scroll: both one grey level, the same one (two blank lines of a page).
bool blankAlike(const Plane& older, const Plane& newer, int y, int offset)
{
    const std::size_t a = std::size_t(y + offset);
    const std::size_t b = std::size_t(y);
    return older.flat[a] && newer.flat[b] && std::abs(int(older.level[a]) - int(newer.level[b])) <= 2;
}

// How the whole overlap at one distance agrees: the rows that carry something (are not blank
// alike) and match, and the newer frame's rows that carry something and do not.
struct Agreement {
    int evidence = 0;
    std::vector<int> mismatchedRows;
};

// The agreement at `offset`, where a row matches when no sample differs by more than `tolerance`
// grey levels. None when fewer than four rows carry something or more than one in sixteen of them
// do not match.
std::optional<Agreement> agreementAt(
    const Plane& older, const Plane& newer, std::size_t columns, int rows, int offset, int tolerance)
{
    const int overlap = rows - offset;
    int informative = 0;
    for (int y = 0; y < overlap; ++y)
        informative += blankAlike(older, newer, y, offset) ? 0 : 1;
    if (informative < 4)
        return std::nullopt;
    const std::size_t allowed = std::size_t(informative / 16);
    Agreement agreement;
    for (int y = 0; y < overlap; ++y) {
        if (blankAlike(older, newer, y, offset))
            continue;
        const std::uint8_t* a = older.samples.data() + std::size_t(y + offset) * columns;
        const std::uint8_t* b = newer.samples.data() + std::size_t(y) * columns;
        bool differs = false;
        for (std::size_t c = 0; c < columns && !differs; ++c)
            differs = std::abs(int(a[c]) - int(b[c])) > tolerance;
        if (differs) {
            agreement.mismatchedRows.push_back(y);
            if (agreement.mismatchedRows.size() > allowed)
                return std::nullopt;
        }
    }
    agreement.evidence = informative - int(agreement.mismatchedRows.size());
    return agreement;
}

// How many of the sorted rows lie above `end`.
int rowsBefore(const std::vector<int>& rows, int end)
{
    return int(std::lower_bound(rows.begin(), rows.end(), end) - rows.begin());
}

}

ScrollMatch ScrollFrameAligner::match(const QImage& previous, const QImage& next, const ScrollBand& band) const
{
    if (previous.size() != next.size() || columnStride < 1 || band.top < 0 || band.bottom < 0 || band.left < 0
        || band.right < 0)
        return {};
    const int first = band.top;
    const int rows = previous.height() - band.top - band.bottom;
    const int left = band.left;
    const int right = previous.width() - band.right;
    const int bandStart = int(double(rows) * 0.10);
    const int bandEnd = int(double(rows) * 0.25);
    if (bandStart >= bandEnd || right <= left)
        return {};
    const QImage previousImage = readable(previous);
    const QImage nextImage = readable(next);
    if (previousImage.isNull() || nextImage.isNull())
        return {};
    std::vector<int> xs;
    for (int x = left; x < right; x += columnStride)
        xs.push_back(x);
    std::vector<std::uint8_t> older = sampledColumns(previousImage, xs, first, first + rows);
    std::vector<std::uint8_t> newer = sampledColumns(nextImage, xs, first, first + rows);

    ScrollMatch result;
    // The columns that changed anywhere in the moving rows; the others are left out.
    std::vector<int> changed = changedColumns(older, newer, xs.size(), rows);
    if (changed.empty()) {
        result.still = true;
        for (std::size_t c = 0; c < xs.size(); ++c)
            changed.push_back(int(c));
    }
    const std::size_t columns = changed.size();
    const Plane olderPlane = planeOf(keptColumns(std::move(older), xs.size(), rows, changed), columns, rows);
    const Plane newerPlane = planeOf(keptColumns(std::move(newer), xs.size(), rows, changed), columns, rows);
    const int tolerance = int(acceptanceThreshold);

    std::vector<std::pair<int, Agreement>> agreements;
    for (int offset = 0; offset <= rows - minOverlap; ++offset) {
        // A first look at one band of the new frame: 10 % to 25 % of the rows, or the overlap
        // itself when the band would reach past it. Its mean difference must be below the
        // threshold before the whole overlap is compared.
        int from = bandStart;
        int to = std::min(bandEnd, rows - offset);
        if (to - from < 4) {
            from = 0;
            to = rows - offset;
        }
        const double budget = acceptanceThreshold * double(columns) * double(to - from);
        std::uint64_t sum = 0;
        for (int y = from; y < to && double(sum) < budget; ++y)
            sum += absoluteDifference(newerPlane.samples.data() + std::size_t(y) * columns,
                olderPlane.samples.data() + std::size_t(y + offset) * columns, columns);
        if (!(double(sum) < budget))
            continue;
        if (std::optional<Agreement> agreement = agreementAt(olderPlane, newerPlane, columns, rows, offset, tolerance))
            agreements.emplace_back(offset, std::move(*agreement));
    }
    // A distance goes when another one matches the rows both share clearly better: content that
    // changes in place (a cursor) spoils both alike, a misplaced line only the wrong one.
    constexpr int clearlyBetter = 4;
    for (std::size_t i = 0; i < agreements.size(); ++i) {
        bool refuted = false;
        for (std::size_t j = 0; j < agreements.size() && !refuted; ++j) {
            if (i == j)
                continue;
            const int shared = rows - std::max(agreements[i].first, agreements[j].first);
            refuted = rowsBefore(agreements[i].second.mismatchedRows, shared)
                >= rowsBefore(agreements[j].second.mismatchedRows, shared) + clearlyBetter;
        }
        if (!refuted)
            result.candidates.push_back(
                {agreements[i].first, agreements[i].second.evidence, int(agreements[i].second.mismatchedRows.size())});
    }
    // Blank frames that did not change: nothing moved, as far as anyone can tell.
    if (result.still && result.candidates.empty())
        result.candidates.push_back({0, 0});
    // The sampled columns may miss what tells two lines apart (a digit of a number): a distance
    // taken on its agreement alone is compared in every column of the compared ones first.
    if (const int taken = result.takenOnAgreement(); taken >= 0) {
        std::vector<int> every;
        for (const int c : changed)
            for (int x = xs[std::size_t(c)]; x < std::min(xs[std::size_t(c)] + columnStride, right); ++x)
                every.push_back(x);
        const Plane olderEvery = planeOf(sampledColumns(previousImage, every, first, first + rows), every.size(), rows);
        const Plane newerEvery = planeOf(sampledColumns(nextImage, every, first, first + rows), every.size(), rows);
        ScrollCandidate& candidate = result.candidates[std::size_t(taken)];
        const std::optional<Agreement> agreement = agreementAt(
            olderEvery, newerEvery, every.size(), rows, candidate.offset, tolerance);
        candidate.mismatched = agreement ? int(agreement->mismatchedRows.size()) : rows;
    }
    return result;
}

std::optional<int> ScrollFrameAligner::align(
    const QImage& previous, const QImage& next, const ScrollBand& band, Probe probe) const
{
    if (previous.size() != next.size() || columnStride < 1 || band.top < 0 || band.bottom < 0)
        return std::nullopt;
    const int w = previous.width();
    const int first = band.top;
    const int rows = previous.height() - band.top - band.bottom;
    const int bandStart = probe == Probe::upper ? int(double(rows) * 0.10) : 0;
    const int bandEnd = probe == Probe::upper ? int(double(rows) * 0.25) : std::min(rows, 2 * minOverlap);
    if (bandStart >= bandEnd || w <= 0)
        return std::nullopt;
    const QImage previousImage = readable(previous);
    const QImage nextImage = readable(next);
    if (previousImage.isNull() || nextImage.isNull())
        return std::nullopt;
    const std::vector<int> xs = everyStride(w, columnStride);
    std::vector<std::uint8_t> older = sampledColumns(previousImage, xs, first, first + rows);
    std::vector<std::uint8_t> newer = sampledColumns(nextImage, xs, first, first + rows);

    // The columns that changed anywhere in the moving rows; the others are left out.
    const std::vector<int> changed = changedColumns(older, newer, xs.size(), rows);
    if (changed.empty())
        return 0;
    return bestOffset(keptColumns(std::move(older), xs.size(), rows, changed),
        keptColumns(std::move(newer), xs.size(), rows, changed), changed.size(), rows, bandStart, bandEnd,
        acceptanceThreshold);
}

std::optional<ScrollBand> ScrollFrameAligner::staticEdges(const QImage& previous, const QImage& next)
{
    if (previous.size() != next.size() || previous.isNull())
        return std::nullopt;
    const QImage a = pixels32(previous);
    const QImage b = pixels32(next);
    const int w = a.width();
    const int h = a.height();
    const int tolerance = w / 32;
    // A cursor is at most a line of text high; short lines of text that changed with the scroll
    // differ in as few pixels, but row after row, further than that.
    const int cursorRows = std::max(32, h / 16);
    // How many rows from the edge at `first`, walking by `step`, stay the same, at most `limit`.
    const auto sameRows = [&](int first, int step, int limit) {
        int firstChanged = -1;
        for (int i = 0; i < limit; ++i) {
            const int y = first + step * i;
            const int differing = differingPixels(reinterpret_cast<const QRgb*>(a.constScanLine(y)),
                reinterpret_cast<const QRgb*>(b.constScanLine(y)), w, tolerance + 1);
            if (differing > tolerance)
                return i;
            if (differing > 0 && firstChanged < 0)
                firstChanged = i;
            else if (differing > 0 && i - firstChanged >= cursorRows)
                return firstChanged;
        }
        return limit;
    };
    ScrollBand band;
    band.top = sameRows(0, 1, h);
    if (band.top == h)
        return std::nullopt;
    band.bottom = sameRows(h - 1, -1, h - band.top);
    return band;
}

namespace {

enum class ColumnMotion { unchanged, follows, outOfStep };

// How column x of the moving rows behaved between the frames (grey rows packed `width` bytes
// apart, `rows` of them): the same in both, shifted up by `offset` with the content, or anything
// else. A pixel is off when it differs by more than 2 grey levels (grabs are pixel-exact, and a
// scroll bar's thumb differs from its track by only a few levels); a column follows with at most
// one row in ten off, which forgives a footer line that changed (a pager's first prompt).
ColumnMotion columnMotion(const std::vector<std::uint8_t>& older, const std::vector<std::uint8_t>& newer, int width,
    int rows, int offset, int x)
{
    bool unchanged = true;
    for (int y = 0; y < rows && unchanged; ++y)
        unchanged = older[std::size_t(y) * width + x] == newer[std::size_t(y) * width + x];
    if (unchanged)
        return ColumnMotion::unchanged;
    const int compared = rows - offset;
    int off = 0;
    for (int y = 0; y < compared; ++y) {
        const int d = int(newer[std::size_t(y) * width + x]) - int(older[std::size_t(y + offset) * width + x]);
        if (std::abs(d) > 2 && ++off * 10 > compared)
            return ColumnMotion::outOfStep;
    }
    return ColumnMotion::follows;
}

// How many columns from one side are left out: up to and including the innermost column out of
// step before the first column that follows the content.
int sideToLeaveOut(const std::vector<ColumnMotion>& motion, bool fromLeft)
{
    const int width = int(motion.size());
    int leaveOut = 0;
    for (int i = 0; i < width; ++i) {
        const ColumnMotion m = motion[std::size_t(fromLeft ? i : width - 1 - i)];
        if (m == ColumnMotion::follows)
            return leaveOut;
        if (m == ColumnMotion::outOfStep)
            leaveOut = i + 1;
    }
    return 0;
}

// Whether row y of the older plane shows up `offset` rows higher in the newer one, within the
// columns [left, right): no pixel more than 2 grey levels off (a short line of text differs from
// another in a few pixels only).
bool rowFollows(const std::vector<std::uint8_t>& older, const std::vector<std::uint8_t>& newer, int width, int y,
    int offset, int left, int right)
{
    const std::uint8_t* a = older.data() + std::size_t(y) * width;
    const std::uint8_t* b = newer.data() + std::size_t(y - offset) * width;
    for (int x = left; x < right; ++x) {
        if (std::abs(int(a[x]) - int(b[x])) > 2)
            return false;
    }
    return true;
}

// Whether row y of a plane `width` bytes wide is one grey level (within 2) in the columns [left, right).
bool flatRow(const std::vector<std::uint8_t>& plane, int width, int y, int left, int right)
{
    if (right <= left)
        return true;
    const std::uint8_t* row = plane.data() + std::size_t(y) * width;
    const auto [low, high] = std::minmax_element(row + left, row + right);
    return *high - *low <= 2;
}

}

ScrollBand ScrollFrameAligner::withEdgesOutOfStep(
    const QImage& previous, const QImage& next, ScrollBand band, int offset)
{
    band.left = 0;
    band.right = 0;
    const int first = band.top;
    const int rows = previous.height() - band.top - band.bottom;
    if (previous.size() != next.size() || rows <= offset || offset < 0 || first < 0)
        return band;
    const QImage a = readable(previous);
    const QImage b = readable(next);
    const int width = a.width();
    std::vector<int> xs(std::size_t(width), 0);
    for (int x = 0; x < width; ++x)
        xs[std::size_t(x)] = x;
    // The moving rows, and below them the static bottom.
    const int below = a.height() - first;
    const std::vector<std::uint8_t> older = sampledColumns(a, xs, first, first + below);
    const std::vector<std::uint8_t> newer = sampledColumns(b, xs, first, first + below);

    // The sides first: a scroll bar's columns would make every row look out of step.
    std::vector<ColumnMotion> motion(std::size_t(width), ColumnMotion::unchanged);
    for (int x = 0; x < width; ++x)
        motion[std::size_t(x)] = columnMotion(older, newer, width, rows, offset, x);
    band.left = sideToLeaveOut(motion, true);
    band.right = sideToLeaveOut(motion, false);
    if (band.left + band.right >= width)
        band.left = band.right = 0;

    // Then the bottom: the rows below the lowest that move up with the content are static, those
    // above the static ones that did not (a footer line that changed between the frames) as much
    // as those of the static ones that did (lines of text that happen to be the same in both
    // frames). A row counts as moving only as the lowest of at least four that move and carry
    // something, so that blank rows of the footer that happen to match blank content do not end
    // it; without such rows the static bottom stays as it was.
    constexpr int movingRun = 4;
    const int right = width - band.right;
    int run = 0;
    int lowest = below - 1;
    for (int y = below - 1; y >= offset; --y) {
        if (flatRow(older, width, y, band.left, right) && flatRow(newer, width, y - offset, band.left, right))
            continue;
        run = rowFollows(older, newer, width, y, offset, band.left, right) ? run + 1 : 0;
        if (run == 1)
            lowest = y;
        if (run == movingRun) {
            band.bottom = below - 1 - lowest;
            break;
        }
    }
    return band;
}

ScrollFrameAligner::Measurement ScrollFrameAligner::measure(const QImage& previous, const QImage& next) const
{
    const std::optional<ScrollBand> edges = staticEdges(previous, next);
    if (!edges) {
        Measurement unchanged;
        unchanged.match.still = true;
        unchanged.match.candidates.push_back({0, 0});
        return unchanged;
    }
    const auto measureWith = [&](Probe probe) -> Measurement {
        ScrollBand refined = *edges;
        const std::optional<int> rough = align(previous, next, *edges, probe);
        if (rough && *rough >= minMeaningfulOffset)
            refined = withEdgesOutOfStep(previous, next, *edges, *rough);
        ScrollMatch found = match(previous, next, refined);
        const std::optional<int> clear = found.clear();
        if (clear && *clear >= minMeaningfulOffset && clear != rough) {
            refined = withEdgesOutOfStep(previous, next, *edges, *clear);
            found = match(previous, next, refined);
        }
        return {std::move(found), refined};
    };
    Measurement upper = measureWith(Probe::upper);
    if (upper.match.clear())
        return upper;
    Measurement first = measureWith(Probe::first);
    const std::optional<int> clear = first.match.clear();
    return clear && *clear >= minMeaningfulOffset ? first : upper;
}
