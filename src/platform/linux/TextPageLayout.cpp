#include "platform/linux/TextPageLayout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <leptonica/allheaders.h>
#include <limits>

namespace {

// The most common grey value: the background of a selection of text.
int backgroundGray(const QImage& gray)
{
    std::array<qint64, 256> counts {};
    for (int y = 0; y < gray.height(); ++y) {
        const uchar* row = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x)
            ++counts[row[x]];
    }
    return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

// Text whose x-height is at least this many pixels is read as it is: there the recogniser reads as
// well as at any enlargement, and the tesseract command, which reads the pixels as they are, reads
// exactly what Quorvel reads. Smaller text loses letters unless it is enlarged to an x-height of
// about 10 pixels. Measured on German and English lines of 9 to 28 pixels in DejaVu Sans and Lato,
// dark on light and light on dark: enlarging text that is large enough costs umlauts ("während"
// read as "wahrend") at random, depending on the exact factor.
constexpr int kSmallestPlainXHeight = 7;
constexpr double kEnlargedXHeight = 10.0;
constexpr double kLargestFactor = 3.0;
// The enlarged page stays within this many pixels, so that a whole screen is read within seconds.
constexpr double kLargestPixels = 24e6;

// The x-height of a run of glyphs from the heights of its ink's connected components: the lower
// quartile once the dots, commas and hyphens (under half the median height) are left out. Letters
// without ascenders or descenders are the shortest glyphs and rarely fewer than a quarter of a line,
// whereas a median follows a line with many capitals, digits or ascenders upward. 0 for no glyphs.
int xHeightOf(std::vector<int> heights)
{
    if (heights.empty())
        return 0;
    std::sort(heights.begin(), heights.end());
    const int median = heights[heights.size() / 2];
    const auto first = std::lower_bound(heights.begin(), heights.end(), (median + 1) / 2);
    const auto count = std::ptrdiff_t(heights.end() - first);
    return *(first + (count - 1) / 4);
}

// The ink of a grey page, one bit a pixel: whatever stands clearly apart from the background, so
// dark text on light and light text on dark measure alike.
PIX* inkOf(const QImage& gray, int background)
{
    PIX* ink = pixCreate(gray.width(), gray.height(), 1);
    if (!ink)
        return nullptr;
    const int wordsPerLine = pixGetWpl(ink);
    l_uint32* const bits = pixGetData(ink);
    for (int y = 0; y < gray.height(); ++y) {
        const uchar* row = gray.constScanLine(y);
        l_uint32* line = bits + qsizetype(y) * wordsPerLine;
        for (int x = 0; x < gray.width(); ++x) {
            if (std::abs(int(row[x]) - background) > 64)
                SET_DATA_BIT(line, x);
        }
    }
    return ink;
}

// The bounding boxes of the connected pieces of ink of a page: letters, or parts of letters.
std::vector<QRect> piecesOf(PIX* ink)
{
    std::vector<QRect> pieces;
    if (BOXA* boxes = pixConnCompBB(ink, 8)) {
        const int count = boxaGetCount(boxes);
        pieces.reserve(size_t(std::max(count, 0)));
        for (int i = 0; i < count; ++i) {
            l_int32 x = 0, y = 0, w = 0, h = 0;
            if (boxaGetBoxGeometry(boxes, i, &x, &y, &w, &h) == 0)
                pieces.emplace_back(x, y, w, h);
        }
        boxaDestroy(&boxes);
    }
    return pieces;
}

// The pieces that stand in their line as letters do, 3 pixels and higher: the marks raised above
// the letters beside them (quotes, apostrophes, the dots of umlauts, degree signs) are left out.
// They are no taller than the letters of small print, and a line of code or JSON thick with quoted
// names measured as small print by them. A piece is raised when a letter-shaped piece close beside
// it, taller but at most four times as tall, takes in its bottom row in its upper half.
std::vector<QRect> standingPieces(std::vector<QRect> pieces)
{
    std::erase_if(pieces, [](const QRect& piece) { return piece.height() < 3; });
    std::sort(pieces.begin(), pieces.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    const auto raisedBeside = [](const QRect& piece, const QRect& other) {
        const int gap = std::max(other.left() - piece.right(), piece.left() - other.right()) - 1;
        return other.height() > piece.height() && other.height() <= 4 * piece.height()
            && other.width() <= 2 * other.height() && gap <= other.height() && other.top() <= piece.bottom()
            && 2 * (piece.bottom() - other.top()) < other.height();
    };
    std::vector<QRect> standing;
    standing.reserve(pieces.size());
    for (const QRect& piece : pieces) {
        // Letter-shaped neighbours are at most 8 of its heights wide and 4 of them away.
        const int reach = 4 * piece.height();
        auto it = std::lower_bound(pieces.begin(), pieces.end(), piece.left() - 3 * reach,
            [](const QRect& other, int left) { return other.left() < left; });
        bool raised = false;
        for (; it != pieces.end() && it->left() <= piece.right() + reach + 1 && !raised; ++it)
            raised = raisedBeside(piece, *it);
        if (!raised)
            standing.push_back(piece);
    }
    return standing;
}

// How many columns the pieces cover.
int columnsOf(const std::vector<QRect>& pieces, int width)
{
    std::vector<char> covered(size_t(width), 0);
    for (const QRect& piece : pieces)
        std::fill(covered.begin() + piece.left(), covered.begin() + piece.right() + 1, 1);
    return int(std::count(covered.begin(), covered.end(), 1));
}

// Removes from the page, its ink and its pieces the pieces of ink that touch row `edge`.
void removePiecesAt(int edge, QImage& gray, PIX* ink, std::vector<QRect>& pieces, int background)
{
    const int width = gray.width();
    PIX* seed = pixCreate(width, gray.height(), 1);
    if (!seed)
        return;
    pixRasterop(seed, 0, edge, width, 1, PIX_SRC, ink, 0, edge);
    PIX* touching = pixSeedfillBinary(nullptr, seed, ink, 8);
    pixDestroy(&seed);
    if (!touching)
        return;
    pixSubtract(ink, ink, touching);
    const int wordsPerLine = pixGetWpl(touching);
    const l_uint32* const bits = pixGetData(touching);
    for (int y = 0; y < gray.height(); ++y) {
        const l_uint32* line = bits + qsizetype(y) * wordsPerLine;
        uchar* row = gray.scanLine(y);
        for (int x = 0; x < width; ++x) {
            if (GET_DATA_BIT(line, x))
                row[x] = uchar(background);
        }
    }
    pixDestroy(&touching);
    std::erase_if(pieces, [edge](const QRect& piece) { return piece.top() <= edge && piece.bottom() >= edge; });
}

// Removes the pieces of a row of text that the selection's top or bottom edge cuts through.
// Pieces of letters are no text to read, and the page segmentation reads them as a line of noise
// or, worse, drops the whole line next to them. The pieces touching an edge are a cut row when
// they are, by their median, under three quarters of the x-height of the pieces clear of the
// edges and cover at least a quarter as many columns as those: a line that merely touches the
// edge with its ascenders, capitals or descenders keeps their full height, and the dots above a
// few capitals cover few columns.
void removeCutRows(QImage& gray, PIX* ink, std::vector<QRect>& pieces, int background)
{
    const int lastRow = gray.height() - 1;
    std::vector<int> clearHeights;
    std::vector<QRect> clear;
    for (const QRect& piece : standingPieces(pieces)) {
        if (piece.top() > 0 && piece.bottom() < lastRow) {
            clearHeights.push_back(piece.height());
            clear.push_back(piece);
        }
    }
    const int xHeight = xHeightOf(clearHeights);
    if (xHeight == 0)
        return;
    const int clearColumns = columnsOf(clear, gray.width());
    for (const int edge : {0, lastRow}) {
        std::vector<QRect> touching;
        std::vector<int> heights;
        for (const QRect& piece : pieces) {
            if (piece.top() <= edge && piece.bottom() >= edge) {
                touching.push_back(piece);
                heights.push_back(piece.height());
            }
        }
        if (touching.empty())
            continue;
        std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
        if (heights[heights.size() / 2] * 4 < xHeight * 3 && columnsOf(touching, gray.width()) * 4 >= clearColumns)
            removePiecesAt(edge, gray, ink, pieces, background);
    }
}

// A run of rows with ink, separated from the next by at least one row of background: one line of
// text, a few lines set closely, or the dots above capital letters.
struct InkBand {
    int top = 0;
    int bottom = 0;
    std::vector<int> glyphHeights; // of the standing pieces of ink starting in the band
    bool measured = false;         // a line of its own, whose glyphs tell its size
    bool small = false;            // text to enlarge
    int height() const { return bottom - top; }
};

// The bands of the ink with the heights of its standing pieces in each.
std::vector<InkBand> inkBands(PIX* ink, const std::vector<QRect>& pieces)
{
    std::vector<InkBand> bands;
    const int height = int(pixGetHeight(ink));
    const int wordsPerLine = pixGetWpl(ink);
    const l_uint32* const bits = pixGetData(ink);
    for (int y = 0; y < height; ++y) {
        const l_uint32* line = bits + qsizetype(y) * wordsPerLine;
        if (std::all_of(line, line + wordsPerLine, [](l_uint32 word) { return word == 0; }))
            continue;
        if (bands.empty() || bands.back().bottom != y)
            bands.push_back(InkBand {y, y, {}});
        bands.back().bottom = y + 1;
    }
    for (const QRect& piece : standingPieces(pieces)) {
        // The band whose rows hold the piece: the last one starting at or above its top.
        const auto after = std::upper_bound(
            bands.begin(), bands.end(), piece.top(), [](int top, const InkBand& band) { return top < band.top; });
        if (after != bands.begin())
            std::prev(after)->glyphHeights.push_back(piece.height());
    }
    return bands;
}

// The median height of the bands with glyphs: about a line's. 0 for none.
int usualHeightOf(const std::vector<InkBand>& bands)
{
    std::vector<int> heights;
    for (const InkBand& band : bands) {
        if (!band.glyphHeights.empty())
            heights.push_back(band.height());
    }
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
    return heights[heights.size() / 2];
}

// Which bands hold small text. A band less than half as high as a neighbour or a quarter as high
// as most bands (the dots above capitals, a row of punctuation, what is left of a cut row) and one
// without glyphs (a rule) say nothing of the text's size: they follow the nearest band that does.
void classify(std::vector<InkBand>& bands, int usualHeight)
{
    const auto count = std::ptrdiff_t(bands.size());
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        InkBand& band = bands[size_t(i)];
        const int above = i > 0 ? bands[size_t(i - 1)].height() : 0;
        const int below = i + 1 < count ? bands[size_t(i + 1)].height() : 0;
        band.measured = !band.glyphHeights.empty() && band.height() * 2 >= std::max(above, below)
            && band.height() * 4 >= usualHeight;
        band.small = band.measured && xHeightOf(band.glyphHeights) < kSmallestPlainXHeight;
    }
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        InkBand& band = bands[size_t(i)];
        if (band.measured)
            continue;
        int nearestGap = std::numeric_limits<int>::max();
        for (std::ptrdiff_t j = 0; j < count; ++j) {
            const InkBand& other = bands[size_t(j)];
            const int gap = j < i ? band.top - other.bottom : other.top - band.bottom;
            if (other.measured && gap < nearestGap) {
                nearestGap = gap;
                band.small = other.small;
            }
        }
    }
}

// The strips of the bands: runs of bands of plain or of small text, each small one with the
// enlargement that brings its x-height to the one read best. Strips meet halfway between the last
// band of one kind and the first of the next.
std::vector<TextPageLayout::Strip> stripsOf(std::vector<InkBand> bands, int usualHeight, QSize page)
{
    classify(bands, usualHeight);
    std::vector<TextPageLayout::Strip> strips;
    std::vector<int> glyphs; // of the small strip being gathered
    const auto endStrip = [&](int bottom) {
        TextPageLayout::Strip& strip = strips.back();
        strip.bottom = bottom;
        if (glyphs.empty())
            return;
        const double pixels = double(page.width()) * (strip.bottom - strip.top);
        const double largest = std::max(1.0, std::min(kLargestFactor, std::sqrt(kLargestPixels / pixels)));
        strip.factor = std::clamp(kEnlargedXHeight / xHeightOf(glyphs), 1.0, largest);
        glyphs.clear();
    };
    for (size_t i = 0; i < bands.size(); ++i) {
        const InkBand& band = bands[i];
        if (strips.empty() || band.small != bands[i - 1].small) {
            const int cut = strips.empty() ? 0 : (bands[i - 1].bottom + band.top) / 2;
            if (!strips.empty())
                endStrip(cut);
            strips.push_back({cut, page.height(), 1.0});
        }
        if (band.small && band.measured)
            glyphs.insert(glyphs.end(), band.glyphHeights.begin(), band.glyphHeights.end());
    }
    if (!strips.empty())
        endStrip(page.height());
    return strips;
}

// Marks drawn over the text (arrows, frames, circles, pen strokes in the colours of an annotation
// editor) are as dark in plain luminance as the text itself: red, blue or purple strokes crossing
// the lines join their letters into shapes the recogniser cannot read, and a page thick with them
// is taken for a picture. Such marks are saturated colour where text is rarely coloured; but
// coloured text, links and buttons exist too, so only what is shaped like a mark fades: a run of
// saturated pixels that would read as ink, thin (a stroke, not a filled area with text on it),
// larger than a glyph (taller than a line or wider than a long word) and not one of a row of
// similar shapes (the letters of a coloured heading). Light marks such as a highlighter's bar are
// no ink to begin with and stay.
constexpr int kMarkChroma = 60;          // the spread of a pixel's channels from which it is coloured
constexpr double kStrokeWidthInX = 1.5;  // strokes are narrower than this many x-heights
constexpr int kFilledAreaInX2 = 20;      // a filled area (bar, button) covers this many x-heights²
constexpr double kMarkHeightInX = 2.5;   // taller than a line of text
constexpr double kMarkWidthInX = 6;      // or wider than a long word
constexpr int kSmallHoleInX = 4;         // the letters inside a coloured bar: holes under 4 x-heights

struct ColourMarks {
    PIX* pixels = nullptr; // one bit a pixel
    ~ColourMarks() { pixDestroy(&pixels); }
};

// Whether `piece` is one of a row of at least three pieces of about its size (the letters of a
// word): two others of half to twice its height, overlapping most of its rows, within two of its
// heights to the left or right.
bool inRowOfSimilarPieces(const QRect& piece, const std::vector<QRect>& pieces)
{
    int similar = 0;
    for (const QRect& other : pieces) {
        if (other == piece)
            continue;
        const int lower = std::min(piece.height(), other.height());
        const int higher = std::max(piece.height(), other.height());
        const int overlap = std::min(piece.bottom(), other.bottom()) - std::max(piece.top(), other.top()) + 1;
        const int gap = std::max(piece.left(), other.left()) - std::min(piece.right(), other.right());
        if (higher <= 2 * lower && overlap * 10 >= lower * 7 && gap <= 2 * higher && ++similar >= 2)
            return true;
    }
    return false;
}

// The saturated pixels of `colour` (the page composited on white) that would read as ink: their
// luminance in `gray` stands out from the background `background`. None on a page without them.
PIX* colouredInkOf(const QImage& colour, const QImage& gray, int background)
{
    PIX* coloured = pixCreate(colour.width(), colour.height(), 1);
    if (!coloured)
        return nullptr;
    bool any = false;
    const int wordsPerLine = pixGetWpl(coloured);
    for (int y = 0; y < colour.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        const uchar* luminance = gray.constScanLine(y);
        l_uint32* line = pixGetData(coloured) + qsizetype(y) * wordsPerLine;
        for (int x = 0; x < colour.width(); ++x) {
            const int r = qRed(in[x]), g = qGreen(in[x]), b = qBlue(in[x]);
            if (std::max({r, g, b}) - std::min({r, g, b}) >= kMarkChroma
                && std::abs(int(luminance[x]) - background) > 64) {
                SET_DATA_BIT(line, x);
                any = true;
            }
        }
    }
    if (!any)
        pixDestroy(&coloured);
    return coloured;
}

// The marks among the coloured ink `coloured` (taken) over text of x-height `xHeight`; none
// without marks.
PIX* colourMarksOf(PIX* coloured, int xHeight)
{
    const int width = pixGetWidth(coloured);
    const int height = pixGetHeight(coloured);
    // Filled areas: the coloured pixels with the letters inside them filled, where a square of a
    // stroke's largest width fits, and large (a crossing of strokes is small).
    const int strokeWidth = std::max(3, int(std::lround(kStrokeWidthInX * xHeight)));
    PIX* holes = pixHolesByFilling(coloured, 4);
    PIX* smallHoles = holes ? pixSelectBySize(holes, kSmallHoleInX * xHeight, kSmallHoleInX * xHeight, 4,
                                  L_SELECT_IF_BOTH, L_SELECT_IF_LT, nullptr)
                            : nullptr;
    PIX* solid = smallHoles ? pixOr(nullptr, coloured, smallHoles) : pixCopy(nullptr, coloured);
    pixDestroy(&holes);
    pixDestroy(&smallHoles);
    PIX* thick = pixOpenBrick(nullptr, solid, strokeWidth, strokeWidth);
    pixDestroy(&solid);
    PIX* filled = thick ? pixSelectByArea(thick, float(kFilledAreaInX2 * xHeight * xHeight), 8, L_SELECT_IF_GTE, nullptr)
                        : nullptr;
    // Strokes: the coloured pixels apart from filled areas and what hangs on to them (the thin
    // remains of a bar between its letters and its edge).
    PIX* strokes = pixCopy(nullptr, coloured);
    pixDestroy(&coloured);
    if (filled) {
        PIX* zone = pixDilateBrick(nullptr, filled, 5, 5);
        PIX* near = pixDilateBrick(nullptr, zone, 3, 3);
        pixSubtract(strokes, strokes, zone);
        PIX* seed = pixAnd(nullptr, near, strokes);
        PIX* attached = seed ? pixSeedfillBinary(nullptr, seed, strokes, 8) : nullptr;
        if (attached)
            pixSubtract(strokes, strokes, attached);
        pixDestroy(&zone);
        pixDestroy(&near);
        pixDestroy(&seed);
        pixDestroy(&attached);
        pixDestroy(&filled);
    }
    PIXA* shapes = nullptr;
    BOXA* boxes = pixConnComp(strokes, &shapes, 8);
    pixDestroy(&strokes);
    std::vector<QRect> pieces;
    for (int i = 0; boxes && i < boxaGetCount(boxes); ++i) {
        l_int32 x = 0, y = 0, w = 0, h = 0;
        boxaGetBoxGeometry(boxes, i, &x, &y, &w, &h);
        pieces.emplace_back(x, y, w, h);
    }
    boxaDestroy(&boxes);
    PIX* marks = nullptr;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const QRect& piece = pieces[i];
        if ((piece.height() <= kMarkHeightInX * xHeight && piece.width() <= kMarkWidthInX * xHeight)
            || inRowOfSimilarPieces(piece, pieces))
            continue;
        PIX* shape = pixaGetPix(shapes, int(i), L_CLONE);
        // Mostly where a stroke's square fits: a small filled area (a button), no stroke.
        l_int32 all = 0, inThick = 0;
        pixCountPixels(shape, &all, nullptr);
        if (thick) {
            BOX* box = boxCreate(piece.x(), piece.y(), piece.width(), piece.height());
            PIX* under = pixClipRectangle(thick, box, nullptr);
            boxDestroy(&box);
            if (under) {
                pixAnd(under, under, shape);
                pixCountPixels(under, &inThick, nullptr);
                pixDestroy(&under);
            }
        }
        if (inThick * 2 <= all) {
            if (!marks)
                marks = pixCreate(width, height, 1);
            if (marks)
                pixRasterop(marks, piece.x(), piece.y(), piece.width(), piece.height(), PIX_SRC | PIX_DST, shape, 0, 0);
        }
        pixDestroy(&shape);
    }
    pixaDestroy(&shapes);
    pixDestroy(&thick);
    return marks;
}

// Fades the coloured marks of `colour` in its luminance `gray`: each of their pixels and those
// next to them takes its lightest channel on a light page (its darkest on a dark one), which turns
// a saturated stroke into background while grey text, where a mark leaves it visible, stays as it is.
void fadeColourMarks(const QImage& colour, QImage& gray)
{
    const int background = backgroundGray(gray);
    // Most pages have no coloured ink: they are left before their text is measured.
    PIX* coloured = colouredInkOf(colour, gray, background);
    if (!coloured)
        return;
    PIX* ink = inkOf(gray, background);
    if (!ink) {
        pixDestroy(&coloured);
        return;
    }
    std::vector<int> heights;
    for (const QRect& piece : standingPieces(piecesOf(ink)))
        heights.push_back(piece.height());
    pixDestroy(&ink);
    const int xHeight = xHeightOf(std::move(heights));
    if (xHeight == 0) {
        pixDestroy(&coloured);
        return;
    }
    PIX* marks = colourMarksOf(coloured, xHeight);
    if (!marks)
        return;
    PIX* around = pixDilateBrick(nullptr, marks, 5, 5);
    pixDestroy(&marks);
    if (!around)
        return;
    const bool light = background >= 128;
    const int wordsPerLine = pixGetWpl(around);
    for (int y = 0; y < gray.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        const l_uint32* line = pixGetData(around) + qsizetype(y) * wordsPerLine;
        uchar* out = gray.scanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (GET_DATA_BIT(line, x)) {
                const int r = qRed(in[x]), g = qGreen(in[x]), b = qBlue(in[x]);
                out[x] = uchar(light ? std::max({r, g, b}) : std::min({r, g, b}));
            }
        }
    }
    pixDestroy(&around);
}

} // namespace

QImage TextPageLayout::grayPage(const QImage& image)
{
    QImage page(image.size(), QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        source.setDevicePixelRatio(1);
        for (int y = 0; y < page.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            auto* out = reinterpret_cast<QRgb*>(page.scanLine(y));
            for (int x = 0; x < page.width(); ++x) {
                const QRgb p = in[x];
                const int back = 255 - qAlpha(p);
                out[x] = qRgb(qRed(p) + back, qGreen(p) + back, qBlue(p) + back);
            }
        }
    }
    QImage gray = page.convertToFormat(QImage::Format_Grayscale8);
    fadeColourMarks(page, gray);
    return gray;
}

TextPageLayout::Page TextPageLayout::layoutOf(QImage gray)
{
    Page layout;
    const int background = backgroundGray(gray);
    PIX* ink = inkOf(gray, background);
    if (ink) {
        std::vector<QRect> pieces = piecesOf(ink);
        removeCutRows(gray, ink, pieces, background);
        std::vector<InkBand> bands = inkBands(ink, pieces);
        layout.lineHeight = usualHeightOf(bands);
        layout.strips = stripsOf(std::move(bands), layout.lineHeight, gray.size());
        pixDestroy(&ink);
    }
    layout.page = std::move(gray);
    return layout;
}
