#pragma once
#include "platform/TextRecognizer.h"

#include <QString>

// Text lines and text through Tesseract with the English and German models, one engine per worker thread
// (an engine is not safe to share), created on that thread's first request.
class TesseractTextRecognizer final : public TextRecognizer {
public:
    // `languages` as Tesseract names them, joined by "+".
    explicit TesseractTextRecognizer(QString languages = QStringLiteral("eng+deu"));

    std::vector<QRectF> textLineRects(const QImage& image) override;
    // Enlarges small text first: interface text is too small for the recogniser as it is.
    std::optional<QString> recognizeText(const QImage& image, QString* error = nullptr) override;

private:
    QString m_languages;
};
