#include "platform/linux/TesseractTextRecognizer.h"

#include "platform/linux/TesseractEnginePool.h"
#include "platform/linux/TesseractLanguageOrders.h"
#include "platform/linux/TesseractPage.h"
#include "platform/linux/TextPageLayout.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace {

using TesseractPage::Gutters;
using TesseractPage::TranscriptPart;

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
    if (!TesseractPage::recognize(api, page, int(std::lround(96 * factor)), gutters))
        return std::nullopt;
    PageReading reading;
    std::vector<TranscriptPart>& parts = reading.parts;
    std::vector<QRect>& lines = reading.lines;
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    const auto level = tesseract::RIL_TEXTLINE;
    while (it) {
        int left = 0, top = 0, right = 0, bottom = 0;
        if (TesseractPage::isPicture(it->BlockType())) {
            if (it->IsAtBeginningOf(tesseract::RIL_BLOCK)
                && it->BoundingBox(tesseract::RIL_BLOCK, &left, &top, &right, &bottom)) {
                const QRect picture(QPoint(left, top), QPoint(right - 1, bottom - 1));
                reading.pictures.push_back(picture);
                if (bottom - top <= 3 * lineHeight * factor && right - left >= 4 * (bottom - top))
                    parts.push_back({{}, picture, {}, {}});
            }
        } else if (TesseractPage::isText(it->BlockType()) && !it->Empty(level)) {
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
// better with its language first is read so (see TesseractLanguageOrders). nullopt when Tesseract
// fails.
//
// The page is read with wide gutters between columns; where pictures in it may hold text (see
// picturesHoldText), it is read with the gutters of the tesseract command.
//
// Now and then the page segmentation takes a line of text for a picture and leaves it out (German
// lines thick with umlauts in Lato at 16 px): a "picture" shaped like lines of text (up to three
// lines high, four times as wide as high) and clear of the lines of text is read as a block of
// text and kept where Tesseract is sure of it (a mean confidence of 60 and more), which the text
// of a real picture rarely is. The initials it now and then makes pictures of stay out.
std::optional<QString> readLayout(tesseract::TessBaseAPI* api, TesseractLanguageOrders& orders, const QImage& gray,
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
    , m_engines(std::make_shared<TesseractEnginePool>(m_languages.toStdString(), idleLifetime))
{
    // For each further language, the same languages with that one first.
    const QStringList order = m_languages.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < order.size(); ++i) {
        QStringList first = order;
        first.move(i, 0);
        m_otherOrders[order[i]] = std::make_shared<TesseractEnginePool>(
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
    const TesseractEngineLease engine(*m_engines);
    tesseract::TessBaseAPI* api = engine.get();
    if (!api)
        return lines;

    const QImage gray = TextPageLayout::grayPage(image);
    if (!TesseractPage::recognize(api, gray, 96))
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
    const TesseractEngineLease engine(*m_engines);
    tesseract::TessBaseAPI* api = engine.get();
    if (!api) {
        if (error)
            *error = QStringLiteral("the text models %1 could not be loaded").arg(m_languages);
        return std::nullopt;
    }
    const TextPageLayout::Page layout = TextPageLayout::layoutOf(TextPageLayout::grayPage(image));
    const std::vector<Strip>& strips = layout.strips;
    TesseractLanguageOrders orders(m_languages.section(QLatin1Char('+'), 0, 0), m_otherOrders);
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
