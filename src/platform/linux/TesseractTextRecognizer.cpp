#include "platform/linux/TesseractTextRecognizer.h"

#include "platform/Console.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <memory>
#include <string>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace {

// The engine of the calling thread, ended when the thread ends.
struct ThreadEngine {
    std::unique_ptr<tesseract::TessBaseAPI> api;
    std::string languages;
    bool failed = false;

    ~ThreadEngine()
    {
        if (api)
            api->End();
    }
};

thread_local ThreadEngine t_engine;

// Tesseract runs parts of its recognition on OpenMP threads that busy-wait for each other; on a
// busy machine that makes a line of text take seconds instead of a fraction of one. With dynamic
// teams the OpenMP runtime gives the calling thread only as many threads as there are idle cores.
// The setting belongs to each calling thread; the runtime is Tesseract's own (none when it was
// built without OpenMP).
void preferIdleCoresOnly()
{
    using SetDynamic = void (*)(int);
    static const auto setDynamic = reinterpret_cast<SetDynamic>(dlsym(RTLD_DEFAULT, "omp_set_dynamic"));
    if (setDynamic)
        setDynamic(1);
}

tesseract::TessBaseAPI* engineFor(const std::string& languages)
{
    if (t_engine.api && t_engine.languages == languages)
        return t_engine.api.get();
    if (t_engine.failed && t_engine.languages == languages)
        return nullptr;
    t_engine.api.reset();
    preferIdleCoresOnly();
    t_engine.languages = languages;
    t_engine.failed = false;
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // The default data folder of the installed Tesseract (or TESSDATA_PREFIX).
    if (api->Init(nullptr, languages.c_str(), tesseract::OEM_DEFAULT) != 0) {
        t_engine.failed = true;
        Console::log(QStringLiteral("TesseractTextRecognizer: could not load the languages %1")
                         .arg(QString::fromStdString(languages)));
        return nullptr;
    }
    // Tesseract's own diagnostics would go to the terminal at every image.
    api->SetVariable("debug_file", "/dev/null");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    t_engine.api = std::move(api);
    return t_engine.api.get();
}

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

// The median height of the ink's connected components, the umlaut dots, i dots and punctuation
// left out: close to the x-height of the text, as most letters are lower-case letters without
// ascenders or descenders. Ink is whatever stands clearly apart from the background, so dark text
// on light and light text on dark measure alike. 0 where there is no ink.
int typicalGlyphHeight(const QImage& gray)
{
    const int background = backgroundGray(gray);
    PIX* ink = pixCreate(gray.width(), gray.height(), 1);
    if (!ink)
        return 0;
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
    std::vector<int> heights;
    if (BOXA* boxes = pixConnCompBB(ink, 8)) {
        const int count = boxaGetCount(boxes);
        heights.reserve(size_t(std::max(count, 0)));
        for (int i = 0; i < count; ++i) {
            l_int32 x = 0, y = 0, w = 0, h = 0;
            if (boxaGetBoxGeometry(boxes, i, &x, &y, &w, &h) == 0 && h >= 3)
                heights.push_back(h);
        }
        boxaDestroy(&boxes);
    }
    pixDestroy(&ink);
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
    return heights[heights.size() / 2];
}

// The enlargements to read the page at, from the text's x-height: towards an x-height of about
// 16 pixels, where the recogniser reads best, once by the exact ratio and once by the nearest whole
// factor. Measured on English and German lines of 10 to 28 pixels in DejaVu Sans, DejaVu Sans Mono
// and Lato, dark on light and light on dark, and on blocks of mixed sizes: text left at an x-height
// of 6 to 9 pixels loses letters, text enlarged to an x-height of 20 and more loses the dots of its
// umlauts ("während" read as "wahrend"), and in between either enlargement alone now and then
// reads an "ü" as "ii" where the other does not. Text that is large enough is read as it is; the
// enlarged page stays within 24 megapixels so that a whole screen is read within seconds, and
// only a selection up to 2 megapixels is read twice.
std::vector<double> upscaleFactors(const QImage& gray)
{
    constexpr double kReadableXHeight = 16.0;
    constexpr double kLargestFactor = 3.0;
    constexpr double kLargestPixels = 24e6;
    constexpr double kLargestPixelsReadTwice = 2e6;
    const int glyphHeight = typicalGlyphHeight(gray);
    if (glyphHeight <= 0 || glyphHeight >= kReadableXHeight)
        return {1.0};
    const double pixels = double(gray.width()) * gray.height();
    const double largest = std::min(kLargestFactor, std::sqrt(kLargestPixels / pixels));
    const double ratio = kReadableXHeight / glyphHeight;
    const double exact = std::clamp(ratio, 1.0, std::max(1.0, largest));
    const double whole = std::clamp(std::round(ratio), 1.0, std::max(1.0, largest));
    if (std::abs(exact - whole) < 0.05 || pixels > kLargestPixelsReadTwice)
        return {exact};
    return {exact, whole};
}

struct Reading {
    QString text;
    int confidence = -1;
};

// The page enlarged by `factor` and read as one block of lines; nullopt when Tesseract fails.
std::optional<Reading> readAt(tesseract::TessBaseAPI* api, const QImage& gray, double factor)
{
    const QImage page
        = factor > 1.0 ? gray.scaled(gray.size() * factor, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : gray;
    // A selection of screen text is read as one block of lines. The automatic layout analysis
    // splits a column of repeated words (a terminal's "Zeile 1:" … "Zeile 12:", line numbers in
    // an editor) off as a block of its own, reads it as garbage or drops it, and reads the row
    // cut by the selection's edge as a line of noise.
    api->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    api->SetImage(page.constBits(), page.width(), page.height(), 1, static_cast<int>(page.bytesPerLine()));
    api->SetSourceResolution(int(std::lround(96 * factor)));
    std::unique_ptr<char[]> text(api->GetUTF8Text());
    const int confidence = text ? api->MeanTextConf() : -1;
    api->Clear();
    if (!text)
        return std::nullopt;
    return Reading {QString::fromUtf8(text.get()), confidence};
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString languages)
    : m_languages(std::move(languages))
{
}

std::vector<QRectF> TesseractTextRecognizer::textLineRects(const QImage& image)
{
    std::vector<QRectF> lines;
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return lines;
    tesseract::TessBaseAPI* api = engineFor(m_languages.toStdString());
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
    tesseract::TessBaseAPI* api = engineFor(m_languages.toStdString());
    if (!api) {
        if (error)
            *error = QStringLiteral("the text models %1 could not be loaded").arg(m_languages);
        return std::nullopt;
    }
    const QImage gray = grayPage(image);
    // Of the readings at the candidate enlargements, the one Tesseract is surest of.
    std::optional<Reading> best;
    for (const double factor : upscaleFactors(gray)) {
        std::optional<Reading> reading = readAt(api, gray, factor);
        if (reading && (!best || reading->confidence > best->confidence))
            best = std::move(reading);
    }
    if (!best) {
        if (error)
            *error = QStringLiteral("Tesseract could not read the image");
        return std::nullopt;
    }
    // Tesseract ends its transcript with line breaks of its own.
    QString result = best->text;
    while (!result.isEmpty() && result.back().isSpace())
        result.chop(1);
    if (result.trimmed().isEmpty())
        return std::nullopt;
    return result;
}
