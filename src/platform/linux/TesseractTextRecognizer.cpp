#include "platform/linux/TesseractTextRecognizer.h"

#include "platform/Background.h"
#include "platform/Console.h"
#include "platform/linux/TextLanguage.h"
#include "platform/linux/TextPageLayout.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <map>
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
    api->SetPageSegMode(tesseract::PSM_AUTO);
    return api;
}

// How wide a vertical channel of aligned gaps must be for the page segmentation to take it for the
// gutter between two columns. The tesseract command takes one three quarters of the text's height
// wide. In monospaced text every word gap is aligned with the ones above and below it, and a
// terminal's "Zeile 1:" … "Zeile 9:", the fields of `ls -l` or of a log became columns of their
// own, read apart from the rest of their rows or dropped. With wide gutters, twice the text's height,
// word gaps stay word gaps and real gutters (an em and more) still divide columns. Pages are read
// with wide gutters unless the page segmentation makes pictures of their text (see readLayout).
enum class Gutters { Wide, AsTheCommand };

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

// Recognizes `page` (8-bit grey) with the automatic page segmentation of the tesseract command, at
// `resolution` pixels an inch. False, with the engine cleared, when Tesseract fails.
bool recognizePage(tesseract::TessBaseAPI* api, const QImage& page, int resolution, Gutters gutters = Gutters::Wide)
{
    api->SetVariable("textord_tabfind_aligned_gap_fraction", gutters == Gutters::Wide ? "2" : "0.75");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    api->SetImage(page.constBits(), page.width(), page.height(), 1, static_cast<int>(page.bytesPerLine()));
    api->SetSourceResolution(resolution);
    if (api->Recognize(nullptr) == 0)
        return true;
    api->Clear();
    return false;
}

// A part of a transcript: text, or a region of the page still to be read as a block of text.
struct TranscriptPart {
    QString text;
    QRect region;
    QRect line;       // where the text was read, for a line read from the page
    QString language; // the language Tesseract read the line's first word with
};

// Reads pages again with another of the recogniser's languages first. Tesseract reads a word with
// the language that read the word before (the first at first) and tries the others only when that
// one is unsure of it: with English first the German "fährt", "später" come out as "fahrt",
// "spater", and with German first an English "first" as "fırst". A line whose words show it to be
// in another language than the first, read with another than its own and perhaps the worse for
// it, takes the reading of the same page with its language first: the tesseract command's reading
// with that order (a line read alone reads differently now and then). Only pages with such lines
// are read again. The engines are taken from their pools when first needed and given back when the
// read ends.
class LanguageOrders {
public:
    LanguageOrders(QString first, const std::map<QString, std::shared_ptr<TesseractTextRecognizer::EnginePool>>& others)
        : m_first(std::move(first))
        , m_others(others)
    {
    }

    // Gives each line of `parts` that may read better with its own language first the reading of
    // `page` with that language first (one read per language).
    void readAgain(const QImage& page, int resolution, Gutters gutters, std::vector<TranscriptPart>& parts)
    {
        std::map<QString, std::vector<TranscriptPart*>> byLanguage;
        for (TranscriptPart& part : parts) {
            const QString language = part.line.isNull() ? QString() : TextLanguage::languageOfLine(part.text);
            if (language != m_first && m_others.count(language)
                && TextLanguage::mayHaveLostLetters(part.text, language, part.language))
                byLanguage[language].push_back(&part);
        }
        for (const auto& [language, foreign] : byLanguage) {
            tesseract::TessBaseAPI* api = m_taken.try_emplace(language, *m_others.at(language)).first->second.get();
            if (!api)
                continue;
            const std::vector<Line> again = readLines(api, page, resolution, gutters);
            for (TranscriptPart* part : foreign) {
                // The new reading, with the line's own ends of line and paragraph.
                if (const Line* match = lineAt(again, part->line)) {
                    qsizetype breaks = 0;
                    while (part->text.endsWith(QString(breaks + 1, QLatin1Char('\n'))))
                        ++breaks;
                    part->text = match->text + QString(breaks, QLatin1Char('\n'));
                }
            }
        }
    }

private:
    struct Line {
        QRect box;
        QString text;
    };

    // The text lines of `page` as `api` reads them with the automatic page segmentation.
    static std::vector<Line> readLines(tesseract::TessBaseAPI* api, const QImage& page, int resolution, Gutters gutters)
    {
        std::vector<Line> lines;
        if (!recognizePage(api, page, resolution, gutters))
            return lines;
        std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
        const auto level = tesseract::RIL_TEXTLINE;
        while (it) {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (isText(it->BlockType()) && !it->Empty(level) && it->BoundingBox(level, &left, &top, &right, &bottom)) {
                std::unique_ptr<char[]> line(it->GetUTF8Text(level));
                lines.push_back({QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
                    line ? QString::fromUtf8(line.get()).trimmed() : QString()});
            }
            if (!it->Next(level))
                break;
        }
        it.reset();
        api->Clear();
        return lines;
    }

    // The line of `lines` that covers most of `box`, provided it is mostly the same place.
    static const Line* lineAt(const std::vector<Line>& lines, const QRect& box)
    {
        const auto areaOf = [](const QRect& r) { return qint64(r.width()) * r.height(); };
        const Line* best = nullptr;
        qint64 bestArea = 0;
        for (const Line& line : lines) {
            const qint64 area = areaOf(line.box.intersected(box));
            if (area > bestArea) {
                best = &line;
                bestArea = area;
            }
        }
        return best && bestArea * 2 >= std::max(areaOf(box), areaOf(best->box)) ? best : nullptr;
    }

    const QString m_first;
    const std::map<QString, std::shared_ptr<TesseractTextRecognizer::EnginePool>>& m_others;
    std::map<QString, EngineLease> m_taken; // an engine for each language read with first so far
};

// A page as the automatic page segmentation reads it: its transcript in parts, and where its lines
// of text and its pictures are.
struct PageReading {
    std::vector<TranscriptPart> parts;
    std::vector<QRect> lines;    // of text
    std::vector<QRect> pictures; // every picture block
    std::vector<std::optional<QString>> unplaced; // readings of strips that took no line's place
};

// Reads `page`, enlarged by `factor` from the selection, with the automatic page segmentation (see
// readLayout). nullopt when Tesseract fails.
std::optional<PageReading> readPage(tesseract::TessBaseAPI* api, const QImage& page, double factor, int lineHeight,
    Gutters gutters, const std::vector<TesseractTextRecognizer::Strip>& strips,
    std::vector<std::optional<QString>> replacements)
{
    if (!recognizePage(api, page, int(std::lround(96 * factor)), gutters))
        return std::nullopt;
    PageReading reading;
    std::vector<TranscriptPart>& parts = reading.parts;
    std::vector<QRect>& lines = reading.lines;
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    const auto level = tesseract::RIL_TEXTLINE;
    while (it) {
        int left = 0, top = 0, right = 0, bottom = 0;
        if (isPicture(it->BlockType())) {
            if (it->IsAtBeginningOf(tesseract::RIL_BLOCK)
                && it->BoundingBox(tesseract::RIL_BLOCK, &left, &top, &right, &bottom)) {
                const QRect picture(QPoint(left, top), QPoint(right - 1, bottom - 1));
                reading.pictures.push_back(picture);
                if (bottom - top <= 3 * lineHeight * factor && right - left >= 4 * (bottom - top))
                    parts.push_back({{}, picture, {}, {}});
            }
        } else if (isText(it->BlockType()) && !it->Empty(level)) {
            it->BoundingBox(level, &left, &top, &right, &bottom);
            lines.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
            const double middle = (top + bottom) / 2.0 / factor;
            const auto strip = std::find_if(strips.begin(), strips.end(),
                [middle](const TesseractTextRecognizer::Strip& s) { return middle >= s.top && middle < s.bottom; });
            const auto index = size_t(strip - strips.begin());
            if (strip != strips.end() && strip->factor > 1.0 && index < replacements.size()) {
                if (replacements[index])
                    parts.push_back({*replacements[index], {}, {}, {}});
                replacements[index].reset();
            } else {
                // Tesseract ends a line with a line break and the last of a paragraph with a
                // second one, but not the page's last line: the breaks are set here alike for all.
                std::unique_ptr<char[]> line(it->GetUTF8Text(level));
                QString text = line ? QString::fromUtf8(line.get()) : QString();
                while (text.endsWith(QLatin1Char('\n')))
                    text.chop(1);
                text += QLatin1Char('\n');
                if (it->IsAtFinalElement(tesseract::RIL_PARA, level))
                    text += QLatin1Char('\n');
                const char* language = it->WordRecognitionLanguage();
                parts.push_back({text, {}, lines.back(), QString::fromLatin1(language ? language : "")});
            }
        }
        if (!it->Next(level))
            break;
    }
    it.reset();
    api->Clear();
    reading.unplaced = std::move(replacements);
    return reading;
}

// Whether the page segmentation made pictures of what may be text: a picture inside a row of text
// (lines of text on either side of it share its rows and each other's), or pictures and no line of
// text at all. It makes pictures of the quotes and colons of indented code ("name": …, "city": …
// one under the other) and of a whole JSON object at 13 px; with wide gutters it cuts the rows at
// such a picture into two columns, read one after the other, and leaves out what lies under it,
// where the tesseract command reads the rows whole.
bool picturesHoldText(const PageReading& reading)
{
    if (!reading.pictures.empty() && reading.lines.empty())
        return true;
    const auto sharesRows = [](const QRect& line, const QRect& other) {
        return line.intersected(QRect(line.left(), other.top(), line.width(), other.height())).height() * 2
            > line.height();
    };
    for (const QRect& picture : reading.pictures) {
        for (const QRect& left : reading.lines) {
            if (left.center().x() >= picture.center().x() || !sharesRows(left, picture))
                continue;
            for (const QRect& right : reading.lines) {
                if (right.center().x() > picture.center().x() && sharesRows(right, picture)
                    && sharesRows(left, right) && sharesRows(right, left))
                    return true;
            }
        }
    }
    return false;
}

// Reads a page enlarged by `factor` with the automatic page segmentation of the tesseract command:
// Tesseract's transcript, each line ending with a line break and each paragraph with another one.
// The lines whose middle lies in a strip with a reading in `replacements` give way to that reading,
// in the place of the strip's first line. A line in another language than the first that may read
// better with its language first is read so (see LanguageOrders). nullopt when Tesseract fails.
//
// The page is read with wide gutters between columns; where pictures in it may hold text (see
// picturesHoldText), it is read with the gutters of the tesseract command.
//
// Now and then the page segmentation takes a line of text for a picture and leaves it out (German
// lines thick with umlauts in Lato at 16 px): a "picture" shaped like lines of text (up to three
// lines high, four times as wide as high) and clear of the lines of text is read as a block of
// text and kept where Tesseract is sure of it (a mean confidence of 60 and more), which the text
// of a real picture rarely is. The initials it now and then makes pictures of stay out.
std::optional<QString> readLayout(tesseract::TessBaseAPI* api, LanguageOrders& orders, const QImage& gray,
    double factor, int lineHeight, const std::vector<TesseractTextRecognizer::Strip>& strips = {},
    const std::vector<std::optional<QString>>& replacements = {})
{
    const QImage page = factor > 1.0
        ? gray.scaled(gray.size() * factor, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        : gray;
    const int resolution = int(std::lround(96 * factor));
    Gutters gutters = Gutters::Wide;
    std::optional<PageReading> reading = readPage(api, page, factor, lineHeight, gutters, strips, replacements);
    if (reading && picturesHoldText(*reading)) {
        gutters = Gutters::AsTheCommand;
        reading = readPage(api, page, factor, lineHeight, gutters, strips, replacements);
    }
    if (!reading)
        return std::nullopt;
    std::vector<TranscriptPart>& parts = reading->parts;
    const std::vector<QRect>& lines = reading->lines;
    orders.readAgain(page, resolution, gutters, parts);

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
    for (const std::optional<QString>& rest : reading->unplaced) {
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
    // For each further language, the same languages with that one first.
    const QStringList order = m_languages.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < order.size(); ++i) {
        QStringList first = order;
        first.move(i, 0);
        m_otherOrders[order[i]] = std::make_shared<EnginePool>(
            first.join(QLatin1Char('+')).toStdString(), idleLifetime);
    }
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
    return image.isNull() ? std::vector<Strip> {} : TextPageLayout::layoutOf(TextPageLayout::grayPage(image)).strips;
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

    const QImage gray = TextPageLayout::grayPage(image);
    if (!recognizePage(api, gray, 96))
        return lines;
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
    const TextPageLayout::Page layout = TextPageLayout::layoutOf(TextPageLayout::grayPage(image));
    const std::vector<Strip>& strips = layout.strips;
    LanguageOrders orders(m_languages.section(QLatin1Char('+'), 0, 0), m_otherOrders);
    std::optional<QString> text;
    if (strips.size() <= 1) {
        // Text of one kind: the page is read once.
        text = readLayout(api, orders, layout.page, strips.empty() ? 1.0 : strips.front().factor, layout.lineHeight);
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
            small[i] = readLayout(api, orders, strip, strips[i].factor, layout.lineHeight);
            failed = !small[i];
        }
        if (!failed)
            text = readLayout(api, orders, layout.page, 1.0, layout.lineHeight, strips, std::move(small));
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
