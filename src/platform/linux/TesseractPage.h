#pragma once
#include <QImage>
#include <QRect>
#include <QString>
#include <tesseract/publictypes.h>

namespace tesseract {
class TessBaseAPI;
}

// What the readings of a page with Tesseract's automatic page segmentation share: how wide the
// gutters between columns are taken, the recognition itself, the kinds of blocks it finds, and
// the parts a transcript is made of.
namespace TesseractPage {

// How wide a vertical channel of aligned gaps must be for the page segmentation to take it for the
// gutter between two columns. The tesseract command takes one three quarters of the text's height
// wide. In monospaced text every word gap is aligned with the ones above and below it, and a
// terminal's "Zeile 1:" … "Zeile 9:", the fields of `ls -l` or of a log became columns of their
// own, read apart from the rest of their rows or dropped. With wide gutters, twice the text's height,
// word gaps stay word gaps and real gutters (an em and more) still divide columns. Pages are read
// with wide gutters unless the page segmentation makes pictures of their text (see readLayout in
// TesseractTextRecognizer.cpp).
enum class Gutters { Wide, AsTheCommand };

// A part of a transcript: text, or a region of the page still to be read as a block of text.
struct TranscriptPart {
    QString text;
    QRect region;
    QRect line;       // where the text was read, for a line read from the page
    QString language; // the language Tesseract read the line's first word with
};

// Whether a block of Tesseract's layout is a picture, a rule or noise.
bool isPicture(tesseract::PolyBlockType type);
bool isText(tesseract::PolyBlockType type);

// Recognizes `page` (8-bit grey) with the automatic page segmentation of the tesseract command, at
// `resolution` pixels an inch. False, with the engine cleared, when Tesseract fails.
bool recognize(tesseract::TessBaseAPI* api, const QImage& page, int resolution, Gutters gutters = Gutters::Wide);

}
