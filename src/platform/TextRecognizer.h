#pragma once
#include "platform/Shared.h"

#include <QImage>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

// Finds the lines of text in an image, and reads the text itself.
class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    static TextRecognizer& shared() { return SharedSlot<TextRecognizer>::get(); }
    static bool isShared() { return SharedSlot<TextRecognizer>::isSet(); }
    static void setShared(TextRecognizer* recognizer) { SharedSlot<TextRecognizer>::set(recognizer); }

    // One rectangle per line of text found, as fractions of the image's width and height (origin
    // top left), in reading order; empty when there is none or recognition fails. Slow: called on
    // worker threads, from several at once.
    virtual std::vector<QRectF> textLineRects(const QImage& image) = 0;

    // The text of the image, lines in reading order joined by line breaks (paragraphs by an empty
    // line); none when the image holds no text. A failure is none too, with the reason in error.
    // Slow: called on worker threads, from several at once.
    virtual std::optional<QString> recognizeText(const QImage& image, QString* error = nullptr) = 0;

    // A read is coming (the user has begun choosing the text to read): whatever the reading needs
    // loaded is loaded now, off the calling thread, so the read itself does not wait for it.
    virtual void prepare() { }
};
