#pragma once
#include "gallery/ThumbnailLoader.h"

#include <QImage>
#include <QSize>

class QWidget;

// The picture of one card: read and decoded off the main thread when the card is painted, at the
// size the card shows it, and read again only when the card has grown enough to blur it or the
// record's image changed.
class CardPicture {
public:
    const QImage& image() const { return m_image; }
    // The bytes were missing or did not decode.
    bool failed() const { return m_failed; }

    // Asks for the picture of `card` (its band `pictureHeight` high) when it is missing or too small;
    // the card is repainted when it arrives.
    void request(QWidget* card, int pictureHeight, ThumbnailLoader::Source source);
    // Forgets what is under way and reads the picture again at the next paint.
    void reset();

private:
    QImage m_image;
    QSize m_requestedSize;
    bool m_loading = false;
    bool m_failed = false;
    int m_generation = 0;
};
