#pragma once
#include "platform/linux/TesseractEnginePool.h"
#include "platform/linux/TesseractPage.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <map>
#include <memory>
#include <vector>

// Reads pages again with another of the recogniser's languages first. Tesseract reads a word with
// the language that read the word before (the first at first) and tries the others only when that
// one is unsure of it: with English first the German "fährt", "später" come out as "fahrt",
// "spater", and with German first an English "first" as "fırst". A line whose words show it to be
// in another language than the first, read with another than its own and perhaps the worse for
// it, takes the reading of the same page with its language first: the tesseract command's reading
// with that order (a line read alone reads differently now and then). Only pages with such lines
// are read again. The engines are taken from their pools when first needed and given back when the
// read ends.
class TesseractLanguageOrders {
public:
    // `first` is the language read with first; `others` holds, by language, the engines with that
    // language first.
    TesseractLanguageOrders(QString first, const std::map<QString, std::shared_ptr<TesseractEnginePool>>& others);

    // Gives each line of `parts` that may read better with its own language first the reading of
    // `page` with that language first (one read per language).
    void readAgain(const QImage& page, int resolution, TesseractPage::Gutters gutters,
        std::vector<TesseractPage::TranscriptPart>& parts);

private:
    struct Line {
        QRect box;
        QString text;
    };

    // The text lines of `page` as `api` reads them with the automatic page segmentation.
    static std::vector<Line> readLines(
        tesseract::TessBaseAPI* api, const QImage& page, int resolution, TesseractPage::Gutters gutters);
    // The line of `lines` that covers most of `box`, provided it is mostly the same place.
    static const Line* lineAt(const std::vector<Line>& lines, const QRect& box);

    const QString m_first;
    const std::map<QString, std::shared_ptr<TesseractEnginePool>>& m_others;
    std::map<QString, TesseractEngineLease> m_taken; // an engine for each language read with first so far
};
