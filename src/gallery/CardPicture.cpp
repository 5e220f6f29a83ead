#include "gallery/CardPicture.h"

#include "gallery/CardPainting.h"

#include <QPointer>
#include <QWidget>

void CardPicture::request(QWidget* card, int pictureHeight, ThumbnailLoader::Source source)
{
    if (m_loading || m_failed)
        return;
    const QSize wanted = CardPainting::pictureSize(card->width(), pictureHeight, card->devicePixelRatioF());
    if (m_requestedSize.isValid() && wanted.width() <= m_requestedSize.width() * 5 / 4
        && wanted.height() <= m_requestedSize.height() * 5 / 4)
        return;
    m_loading = true;
    m_requestedSize = wanted;
    const int generation = m_generation;
    // The loader drops the answer when the card is gone, and this picture lives in the card.
    ThumbnailLoader::shared().request(
        card, std::move(source), wanted,
        [this, card, generation](QImage image) {
            if (generation != m_generation)
                return;
            m_loading = false;
            m_failed = image.isNull();
            m_image = std::move(image);
            card->update();
        },
        [this, generation] {
            // Scrolled away before its turn: asked again at the next paint.
            if (generation == m_generation) {
                m_loading = false;
                m_requestedSize = QSize();
            }
        });
}

void CardPicture::reset()
{
    ++m_generation;
    m_loading = false;
    m_failed = false;
    m_requestedSize = QSize();
}
