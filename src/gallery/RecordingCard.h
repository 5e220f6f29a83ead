#pragma once
#include "gallery/Card.h"
#include "gallery/GalleryNeeds.h"
#include "store/RecordingItem.h"

#include <QImage>
#include <QWidget>
#include <QPointF>
#include <functional>
#include <optional>

class QMenu;

// One stored recording, in the recordings window and in the gallery: its stored thumbnail
// (decoded off the main thread at the size shown) with the duration over its corner, and how long
// ago it was recorded. A click plays it; the context menu plays it, shows it in the file manager
// or deletes it through the view that shows the card.
class RecordingCard : public Card<QWidget> {
    Q_OBJECT
public:
    static constexpr int pictureHeight = CardPainting::recordingPictureHeight;

    RecordingCard(const Gallery::Needs& needs, RecordingItemPtr item, std::function<void()> onDelete,
        std::shared_ptr<CardPicture> picture = nullptr, QWidget* parent = nullptr);

    const RecordingItemPtr& item() const { return m_item; }
    // The badge's text; none when the duration cannot be shown.
    std::optional<QString> badgeText() const;
    // Where the badge is drawn (see CardPainting::badgeRect).
    QRect badgeRect() const;

    // Opens the movie in the player.
    void play();
    // Shows the movie selected in the file manager, else opens its folder.
    void reveal();

    QMenu* makeContextMenu(QWidget* parent) override;

protected:
    ThumbnailLoader::Source pictureSource() const override;
    QDateTime timestamp() const override { return m_item->timestamp; }
    std::optional<QString> badge() const override { return badgeText(); }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Gallery::Needs m_needs;
    RecordingItemPtr m_item;
    std::optional<QPointF> m_pressedAt; // where the left button went down, until it is no click
};
