#pragma once
#include "platform/TextRecognizer.h"
#include "platform/linux/TextPageLayout.h"

#include <QString>
#include <chrono>
#include <map>
#include <memory>

class TesseractEnginePool;

// Text lines and text through Tesseract with the English and German models. An engine reads one
// image at a time; engines are loaded as reads need them, kept while idle for the next read and
// ended after `idleLifetime` without one.
class TesseractTextRecognizer final : public TextRecognizer {
public:
    // `languages` as Tesseract names them, joined by "+", the one tried first first. A line whose
    // words are of another of them is read again with that one first (see recognizeText). German
    // first, the language of the interface: with it German lines keep their umlauts at the first
    // reading, and English lines are rarely read worse, so few pages are read twice.
    explicit TesseractTextRecognizer(QString languages = QStringLiteral("deu+eng"),
        std::chrono::milliseconds idleLifetime = std::chrono::seconds(30));
    ~TesseractTextRecognizer() override;

    // Loads an engine on the worker pool, unless one is idle or loading already.
    void prepare() override;
    // Engines with the languages in their given order loaded so far, and those idle now.
    int enginesLoaded() const;
    int enginesIdle() const;

    std::vector<QRectF> textLineRects(const QImage& image) override;
    // Reads the image with the automatic page segmentation of the tesseract command (columns one
    // after the other), each strip at its enlargement (see readingStrips): a page of one kind of
    // text in one read, a page with both the plain page and each small strip once, and a page
    // with lines in another language that may read better with it first once more so.
    std::optional<QString> recognizeText(const QImage& image, QString* error = nullptr) override;

    // A run of the image's rows (top included, bottom not) read at one enlargement.
    using Strip = TextPageLayout::Strip;
    // The image cut into strips across its width between lines of text: text large enough for the
    // recogniser is read as it is (factor 1), smaller text enlarged by the factor that brings its
    // x-height to the one read best. Neighbouring lines of one kind share a strip; the dots above
    // capitals and rules follow the nearest line, and the pieces of a row of text that the image's
    // top or bottom edge cuts through are left out. Empty for an image without ink.
    static std::vector<Strip> readingStrips(const QImage& image);

private:
    QString m_languages;
    std::shared_ptr<TesseractEnginePool> m_engines;
    // By language: engines with that language first.
    std::map<QString, std::shared_ptr<TesseractEnginePool>> m_otherOrders;
};
