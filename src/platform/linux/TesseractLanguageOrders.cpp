#include "platform/linux/TesseractLanguageOrders.h"

#include "platform/linux/TextLanguage.h"

#include <algorithm>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

using TesseractPage::Gutters;
using TesseractPage::TranscriptPart;

TesseractLanguageOrders::TesseractLanguageOrders(
    QString first, const std::map<QString, std::shared_ptr<TesseractEnginePool>>& others)
    : m_first(std::move(first))
    , m_others(others)
{
}

void TesseractLanguageOrders::readAgain(
    const QImage& page, int resolution, Gutters gutters, std::vector<TranscriptPart>& parts)
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

std::vector<TesseractLanguageOrders::Line> TesseractLanguageOrders::readLines(
    tesseract::TessBaseAPI* api, const QImage& page, int resolution, Gutters gutters)
{
    std::vector<Line> lines;
    if (!TesseractPage::recognize(api, page, resolution, gutters))
        return lines;
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    const auto level = tesseract::RIL_TEXTLINE;
    while (it) {
        int left = 0, top = 0, right = 0, bottom = 0;
        if (TesseractPage::isText(it->BlockType()) && !it->Empty(level)
            && it->BoundingBox(level, &left, &top, &right, &bottom)) {
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

const TesseractLanguageOrders::Line* TesseractLanguageOrders::lineAt(const std::vector<Line>& lines, const QRect& box)
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
