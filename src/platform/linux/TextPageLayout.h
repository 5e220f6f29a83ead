#pragma once
#include <QImage>
#include <vector>

// How a selection of text is laid out before it is read: a grey page, the pieces of rows that the
// selection's edges cut through left out, cut into strips of lines of one kind, each with the
// enlargement it is read best at.
namespace TextPageLayout {

// A run of the image's rows (top included, bottom not) read at one enlargement.
struct Strip {
    int top = 0;
    int bottom = 0;
    double factor = 1.0;
};

// A grey page ready to be read: the pieces of rows cut by its edges removed, its strips, and the
// usual height of its lines.
struct Page {
    QImage page;
    std::vector<Strip> strips;
    int lineHeight = 0;
};

// The image as a grey page: transparent pixels count as white, the usual page background, and
// coloured marks drawn over the text (arrows, frames, pen strokes) fade into the background.
QImage grayPage(const QImage& image);

// The page cut into strips across its width between lines of text: text large enough for the
// recogniser is read as it is (factor 1), smaller text enlarged by the factor that brings its
// x-height to the one read best. Neighbouring lines of one kind share a strip; the dots above
// capitals and rules follow the nearest line, and the pieces of a row of text that the page's top
// or bottom edge cuts through are left out. No strips for a page without ink.
Page layoutOf(QImage gray);

}
