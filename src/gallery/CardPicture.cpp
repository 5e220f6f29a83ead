#include "gallery/CardPicture.h"

void CardPicture::request(ThumbnailLoader& loader, QObject* receiver, QSize wanted, ThumbnailLoader::Source source,
    std::function<void()> arrived, std::function<bool()> stillWanted)
{
    if (m_loading || m_failed)
        return;
    if (m_requestedSize.isValid() && wanted.width() <= m_requestedSize.width() * 5 / 4
        && wanted.height() <= m_requestedSize.height() * 5 / 4)
        return;
    m_loading = true;
    m_requestedSize = wanted;
    const int generation = m_generation;
    const std::weak_ptr<CardPicture> self = weak_from_this();
    loader.request(
        receiver, std::move(source), wanted,
        [self, generation, arrived = std::move(arrived)](QImage image, int sourceIndex) {
            const std::shared_ptr<CardPicture> picture = self.lock();
            if (!picture || generation != picture->m_generation)
                return;
            picture->m_loading = false;
            picture->m_failed = image.isNull();
            picture->m_image = std::move(image);
            picture->m_sourceIndex = sourceIndex;
            if (arrived)
                arrived();
        },
        [self, generation] {
            // Scrolled away before its turn: asked again at the next paint.
            const std::shared_ptr<CardPicture> picture = self.lock();
            if (picture && generation == picture->m_generation) {
                picture->m_loading = false;
                picture->m_requestedSize = QSize();
            }
        },
        std::move(stillWanted));
}

void CardPicture::reset()
{
    ++m_generation;
    m_loading = false;
    m_failed = false;
    m_requestedSize = QSize();
}
