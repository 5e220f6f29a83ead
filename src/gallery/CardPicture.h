#pragma once
#include "gallery/ThumbnailLoader.h"

#include <QImage>
#include <QSize>
#include <functional>
#include <memory>

// The picture of one card: read and decoded off the main thread when the card is painted, at the
// size the card shows it, and read again only when the card has grown enough to blur it or the
// record's image changed. Held by a shared pointer (the gallery's row and the widget of the card
// under the pointer show the same picture); an answer that comes after it is gone is dropped.
class CardPicture : public std::enable_shared_from_this<CardPicture> {
public:
    const QImage& image() const { return m_image; }
    // The bytes were missing or did not decode.
    bool failed() const { return m_failed; }
    // Which of the source's images the picture was decoded from (-1: none yet, or none decodes).
    int sourceIndex() const { return m_sourceIndex; }
    // A request is under way.
    bool loading() const { return m_loading; }

    // Asks `loader` for the picture at `wanted` (device pixels) when it is missing or too small;
    // `arrived` is called when it came while `receiver` lives. See ThumbnailLoader::request for
    // `stillWanted`.
    void request(ThumbnailLoader& loader, QObject* receiver, QSize wanted, ThumbnailLoader::Source source,
        std::function<void()> arrived, std::function<bool()> stillWanted = {});
    // Forgets what is under way and reads the picture again at the next paint.
    void reset();

private:
    QImage m_image;
    QSize m_requestedSize;
    bool m_loading = false;
    bool m_failed = false;
    int m_sourceIndex = -1;
    int m_generation = 0;
};
