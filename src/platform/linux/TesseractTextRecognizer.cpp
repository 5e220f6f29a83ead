#include "platform/linux/TesseractTextRecognizer.h"

#include "platform/Background.h"
#include "platform/Console.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <dlfcn.h>
#include <limits>
#include <leptonica/allheaders.h>
#include <memory>
#include <mutex>
#include <string>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace {

// Tesseract runs parts of its recognition on OpenMP threads that busy-wait for each other; on a
// busy machine that makes a line of text take seconds instead of a fraction of one. With dynamic
// teams the OpenMP runtime gives the calling thread only as many threads as there are idle cores.
// The setting belongs to each calling thread; the runtime is Tesseract's own (none when it was
// built without OpenMP).
void preferIdleCoresOnly()
{
    thread_local bool done = false;
    if (done)
        return;
    done = true;
    using SetDynamic = void (*)(int);
    static const auto setDynamic = reinterpret_cast<SetDynamic>(dlsym(RTLD_DEFAULT, "omp_set_dynamic"));
    if (setDynamic)
        setDynamic(1);
}

void endEngine(tesseract::TessBaseAPI* api)
{
    if (!api)
        return;
    api->End();
    delete api;
}

// A loaded engine, set up as every read wants it; null when the models cannot be loaded.
tesseract::TessBaseAPI* loadEngine(const std::string& languages)
{
    auto* api = new tesseract::TessBaseAPI();
    // The default data folder of the installed Tesseract (or TESSDATA_PREFIX).
    if (api->Init(nullptr, languages.c_str(), tesseract::OEM_DEFAULT) != 0) {
        endEngine(api);
        return nullptr;
    }
    // Tesseract's own diagnostics would go to the terminal at every image.
    api->SetVariable("debug_file", "/dev/null");
    // The page segmentation takes a vertical channel of aligned gaps for the gutter between two
    // columns once the gaps are three quarters of the text's height wide. In monospaced text every
    // word gap is aligned with the ones above and below it, and a terminal's "Zeile 1:" … "Zeile 9:"
    // became a column of its own, read apart from the rest of its rows or dropped. At twice the
    // text's height, word gaps stay word gaps and real gutters (an em and more) still divide columns.
    api->SetVariable("textord_tabfind_aligned_gap_fraction", "2");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    return api;
}

}

// Loaded engines that are not reading. An engine reads on one thread at a time but may read on any
// thread, so an engine loaded ahead of a read (prepare) serves it whichever worker runs it. Loading
// takes a noticeable part of a read's time; an idle engine is kept for a while for the next read
// and ended once it has idled for the lifetime, which gives its memory back.
class TesseractTextRecognizer::EnginePool : public std::enable_shared_from_this<EnginePool> {
public:
    EnginePool(std::string languages, std::chrono::milliseconds idleLifetime)
        : m_languages(std::move(languages))
        , m_idleLifetime(idleLifetime)
    {
    }
    ~EnginePool()
    {
        for (Idle& idle : m_idle)
            endEngine(idle.api);
    }

    // An idle engine, else a new one; null when the models cannot be loaded.
    tesseract::TessBaseAPI* take()
    {
        preferIdleCoresOnly();
        {
            std::lock_guard lock(m_mutex);
            if (!m_idle.empty()) {
                tesseract::TessBaseAPI* api = m_idle.back().api;
                m_idle.pop_back();
                return api;
            }
            if (m_failed)
                return nullptr;
        }
        tesseract::TessBaseAPI* api = loadEngine(m_languages);
        std::lock_guard lock(m_mutex);
        if (!api && !m_failed) {
            m_failed = true;
            Console::log(QStringLiteral("TesseractTextRecognizer: could not load the languages %1")
                             .arg(QString::fromStdString(m_languages)));
        }
        if (api)
            ++m_loaded;
        return api;
    }

    void giveBack(tesseract::TessBaseAPI* api)
    {
        if (!api)
            return;
        api->Clear();
        {
            std::lock_guard lock(m_mutex);
            m_idle.push_back({api, std::chrono::steady_clock::now()});
        }
        scheduleEnding();
    }

    // Loads one engine on the worker pool unless one is idle or already loading.
    void prepare()
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_idle.empty() || m_failed || m_preparing)
                return;
            m_preparing = true;
        }
        std::shared_ptr<EnginePool> self = shared_from_this();
        Background::run([self] {
            tesseract::TessBaseAPI* api = self->take();
            {
                std::lock_guard lock(self->m_mutex);
                self->m_preparing = false;
            }
            self->giveBack(api);
        });
    }

    // Ends the engines that have idled for the lifetime.
    void endIdle()
    {
        std::vector<tesseract::TessBaseAPI*> ending;
        {
            std::lock_guard lock(m_mutex);
            const auto now = std::chrono::steady_clock::now();
            auto old = std::stable_partition(
                m_idle.begin(), m_idle.end(), [&](const Idle& idle) { return now - idle.since < m_idleLifetime; });
            for (auto it = old; it != m_idle.end(); ++it)
                ending.push_back(it->api);
            m_idle.erase(old, m_idle.end());
        }
        for (tesseract::TessBaseAPI* api : ending)
            endEngine(api);
    }

    int loaded() const
    {
        std::lock_guard lock(m_mutex);
        return m_loaded;
    }
    int idle() const
    {
        std::lock_guard lock(m_mutex);
        return int(m_idle.size());
    }

private:
    struct Idle {
        tesseract::TessBaseAPI* api;
        std::chrono::steady_clock::time_point since;
    };

    // After the lifetime the engines that idled through it are ended, on the worker pool (ending
    // one frees tens of megabytes). Without an event loop they stay until the recognizer goes.
    void scheduleEnding()
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        std::weak_ptr<EnginePool> weak = weak_from_this();
        const auto lifetime = m_idleLifetime;
        QMetaObject::invokeMethod(
            app,
            [weak, lifetime, app] {
                QTimer::singleShot(lifetime + std::chrono::milliseconds(50), app, [weak] {
                    if (weak.expired())
                        return;
                    Background::run([weak] {
                        if (std::shared_ptr<EnginePool> pool = weak.lock())
                            pool->endIdle();
                    });
                });
            },
            Qt::QueuedConnection);
    }

    const std::string m_languages;
    const std::chrono::milliseconds m_idleLifetime;
    mutable std::mutex m_mutex;
    std::vector<Idle> m_idle;
    int m_loaded = 0;
    bool m_failed = false;
    bool m_preparing = false;
};

namespace {

// An engine taken from the pool for one read and given back when the read ends.
class EngineLease {
public:
    explicit EngineLease(TesseractTextRecognizer::EnginePool& pool)
        : m_pool(pool)
        , m_api(pool.take())
    {
    }
    ~EngineLease() { m_pool.giveBack(m_api); }
    EngineLease(const EngineLease&) = delete;
    EngineLease& operator=(const EngineLease&) = delete;
    tesseract::TessBaseAPI* get() const { return m_api; }

private:
    TesseractTextRecognizer::EnginePool& m_pool;
    tesseract::TessBaseAPI* m_api;
};

// The image as a grey page: transparent pixels count as white, the usual page background.
QImage grayPage(const QImage& image)
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
    return page.convertToFormat(QImage::Format_Grayscale8);
}

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
    for (const QRect& piece : pieces) {
        if (piece.top() > 0 && piece.bottom() < lastRow && piece.height() >= 3) {
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
    std::vector<int> glyphHeights; // of the pieces of ink starting in the band, 3 pixels and higher
    bool measured = false;         // a line of its own, whose glyphs tell its size
    bool small = false;            // text to enlarge
    int height() const { return bottom - top; }
};

// The bands of the ink with the heights of its pieces in each.
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
    for (const QRect& piece : pieces) {
        if (piece.height() < 3)
            continue;
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
std::vector<TesseractTextRecognizer::Strip> stripsOf(std::vector<InkBand> bands, int usualHeight, QSize page)
{
    classify(bands, usualHeight);
    std::vector<TesseractTextRecognizer::Strip> strips;
    std::vector<int> glyphs; // of the small strip being gathered
    const auto endStrip = [&](int bottom) {
        TesseractTextRecognizer::Strip& strip = strips.back();
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

// A grey page ready to be read: the pieces of rows cut by its edges removed, its strips, and the
// usual height of its lines.
struct PageLayout {
    QImage page;
    std::vector<TesseractTextRecognizer::Strip> strips;
    int lineHeight = 0;
};

PageLayout layoutOf(QImage gray)
{
    PageLayout layout;
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

// Whether a block of Tesseract's layout is a picture, a rule or noise.
bool isPicture(tesseract::PolyBlockType type)
{
    return type == tesseract::PT_FLOWING_IMAGE || type == tesseract::PT_HEADING_IMAGE
        || type == tesseract::PT_PULLOUT_IMAGE;
}

bool isText(tesseract::PolyBlockType type)
{
    return !isPicture(type) && type != tesseract::PT_HORZ_LINE && type != tesseract::PT_VERT_LINE
        && type != tesseract::PT_NOISE;
}

// A part of a transcript: text, or a region of the page still to be read as a block of text.
struct TranscriptPart {
    QString text;
    QRect region;
};

// Reads a page enlarged by `factor` with the automatic page segmentation of the tesseract command:
// Tesseract's transcript, each line ending with a line break and each paragraph with another one.
// The lines whose middle lies in a strip with a reading in `replacements` give way to that reading,
// in the place of the strip's first line. nullopt when Tesseract fails.
//
// Now and then the page segmentation takes a line of text for a picture and leaves it out (German
// lines thick with umlauts in Lato at 16 px): a "picture" shaped like lines of text (up to three
// lines high, four times as wide as high) and clear of the lines of text is read as a block of
// text and kept where Tesseract is sure of it (a mean confidence of 60 and more), which the text
// of a real picture rarely is. The initials it now and then makes pictures of stay out.
std::optional<QString> readLayout(tesseract::TessBaseAPI* api, const QImage& gray, double factor, int lineHeight,
    const std::vector<TesseractTextRecognizer::Strip>& strips = {},
    std::vector<std::optional<QString>> replacements = {})
{
    const QImage page = factor > 1.0
        ? gray.scaled(gray.size() * factor, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        : gray;
    const int resolution = int(std::lround(96 * factor));
    api->SetPageSegMode(tesseract::PSM_AUTO);
    api->SetImage(page.constBits(), page.width(), page.height(), 1, static_cast<int>(page.bytesPerLine()));
    api->SetSourceResolution(resolution);
    if (api->Recognize(nullptr) != 0) {
        api->Clear();
        return std::nullopt;
    }
    std::vector<TranscriptPart> parts;
    std::vector<QRect> lines; // of text, on the page
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    const auto level = tesseract::RIL_TEXTLINE;
    while (it) {
        int left = 0, top = 0, right = 0, bottom = 0;
        if (isPicture(it->BlockType())) {
            if (it->IsAtBeginningOf(tesseract::RIL_BLOCK)
                && it->BoundingBox(tesseract::RIL_BLOCK, &left, &top, &right, &bottom)
                && bottom - top <= 3 * lineHeight * factor && right - left >= 4 * (bottom - top))
                parts.push_back({{}, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1))});
        } else if (isText(it->BlockType()) && !it->Empty(level)) {
            it->BoundingBox(level, &left, &top, &right, &bottom);
            lines.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
            const double middle = (top + bottom) / 2.0 / factor;
            const auto strip = std::find_if(strips.begin(), strips.end(),
                [middle](const TesseractTextRecognizer::Strip& s) { return middle >= s.top && middle < s.bottom; });
            const auto index = size_t(strip - strips.begin());
            if (strip != strips.end() && strip->factor > 1.0 && index < replacements.size()) {
                if (replacements[index])
                    parts.push_back({*replacements[index], {}});
                replacements[index].reset();
            } else {
                std::unique_ptr<char[]> line(it->GetUTF8Text(level));
                QString text = line ? QString::fromUtf8(line.get()) : QString();
                if (it->IsAtFinalElement(tesseract::RIL_PARA, level))
                    text += QLatin1Char('\n');
                parts.push_back({text, {}});
            }
        }
        if (!it->Next(level))
            break;
    }
    it.reset();
    api->Clear();

    QString text;
    for (const TranscriptPart& part : parts) {
        if (part.region.isNull()) {
            text += part.text;
            continue;
        }
        // Pictures over lines of text (the page segmentation also makes them of a large initial
        // or a line's descenders) hold nothing more to read.
        if (std::any_of(lines.begin(), lines.end(), [&part](const QRect& line) {
                return line.intersected(part.region).height() * 3 > part.region.height();
            }))
            continue;
        const int margin = std::max(4, int(lineHeight * factor / 2));
        const QImage block = page.copy(part.region.adjusted(-margin, -margin, margin, margin).intersected(page.rect()));
        api->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
        api->SetImage(block.constBits(), block.width(), block.height(), 1, static_cast<int>(block.bytesPerLine()));
        api->SetSourceResolution(resolution);
        std::unique_ptr<char[]> reading(api->GetUTF8Text());
        if (reading && api->MeanTextConf() >= 60)
            text += QString::fromUtf8(reading.get()).trimmed() + QStringLiteral("\n\n");
        api->Clear();
    }
    // Small text the layout of the plain page did not see as a line.
    for (const std::optional<QString>& rest : replacements) {
        if (rest)
            text += *rest;
    }
    return text;
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString languages, std::chrono::milliseconds idleLifetime)
    : m_languages(std::move(languages))
    , m_engines(std::make_shared<EnginePool>(m_languages.toStdString(), idleLifetime))
{
}

TesseractTextRecognizer::~TesseractTextRecognizer() = default;

void TesseractTextRecognizer::prepare()
{
    m_engines->prepare();
}

int TesseractTextRecognizer::enginesLoaded() const
{
    return m_engines->loaded();
}

int TesseractTextRecognizer::enginesIdle() const
{
    return m_engines->idle();
}

std::vector<TesseractTextRecognizer::Strip> TesseractTextRecognizer::readingStrips(const QImage& image)
{
    return image.isNull() ? std::vector<Strip> {} : layoutOf(grayPage(image)).strips;
}

std::vector<QRectF> TesseractTextRecognizer::textLineRects(const QImage& image)
{
    std::vector<QRectF> lines;
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return lines;
    const EngineLease engine(*m_engines);
    tesseract::TessBaseAPI* api = engine.get();
    if (!api)
        return lines;

    const QImage gray = grayPage(image);
    api->SetPageSegMode(tesseract::PSM_AUTO);
    api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, static_cast<int>(gray.bytesPerLine()));
    api->SetSourceResolution(96);
    if (api->Recognize(nullptr) != 0) {
        api->Clear();
        return lines;
    }
    const double width = gray.width();
    const double height = gray.height();
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    if (it) {
        const auto level = tesseract::RIL_TEXTLINE;
        do {
            if (it->Empty(level))
                continue;
            std::unique_ptr<char[]> text(it->GetUTF8Text(level));
            if (!text || QString::fromUtf8(text.get()).trimmed().isEmpty())
                continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(level, &left, &top, &right, &bottom) || right <= left || bottom <= top)
                continue;
            lines.emplace_back(left / width, top / height, (right - left) / width, (bottom - top) / height);
        } while (it->Next(level));
    }
    api->Clear();
    return lines;
}

std::optional<QString> TesseractTextRecognizer::recognizeText(const QImage& image, QString* error)
{
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return std::nullopt;
    const EngineLease engine(*m_engines);
    tesseract::TessBaseAPI* api = engine.get();
    if (!api) {
        if (error)
            *error = QStringLiteral("the text models %1 could not be loaded").arg(m_languages);
        return std::nullopt;
    }
    const PageLayout layout = layoutOf(grayPage(image));
    const std::vector<Strip>& strips = layout.strips;
    std::optional<QString> text;
    if (strips.size() <= 1) {
        // Text of one kind: the page is read once.
        text = readLayout(api, layout.page, strips.empty() ? 1.0 : strips.front().factor, layout.lineHeight);
    } else {
        // Small and plain text: each strip of small text alone at its enlargement, then the page as
        // it is with the strips' readings in the place of their lines.
        std::vector<std::optional<QString>> small(strips.size());
        bool failed = false;
        for (size_t i = 0; i < strips.size() && !failed; ++i) {
            if (strips[i].factor == 1.0)
                continue;
            const QImage strip = layout.page.copy(
                0, strips[i].top, layout.page.width(), strips[i].bottom - strips[i].top);
            small[i] = readLayout(api, strip, strips[i].factor, layout.lineHeight);
            failed = !small[i];
        }
        if (!failed)
            text = readLayout(api, layout.page, 1.0, layout.lineHeight, strips, std::move(small));
    }
    if (!text) {
        if (error)
            *error = QStringLiteral("Tesseract could not read the image");
        return std::nullopt;
    }
    // Tesseract ends its transcript with line breaks of its own.
    QString result = *text;
    while (!result.isEmpty() && result.back().isSpace())
        result.chop(1);
    if (result.trimmed().isEmpty())
        return std::nullopt;
    return result;
}
