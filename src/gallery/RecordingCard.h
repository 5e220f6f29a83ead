#pragma once
#include "gallery/Card.h"
#include "store/RecordingItem.h"

#include <QImage>
#include <QWidget>
#include <functional>

class QMenu;

// One stored recording, in the recordings window and in the gallery: its stored thumbnail
// (decoded off the main thread at the size shown) with the duration over its corner, and how long
// ago it was recorded. A click plays it; the context menu plays it, shows it in the file manager
// or deletes it through the view that shows the card.
class RecordingCard : public Card<QWidget> {
    Q_OBJECT
public:
    static constexpr int pictureHeight = 110;

    RecordingCard(RecordingItemPtr item, std::function<void()> onDelete, QWidget* parent = nullptr);

    const RecordingItemPtr& item() const { return m_item; }
    // The badge's text; none when the duration cannot be shown.
    std::optional<QString> badgeText() const;
    // Where the badge is drawn: inside the bottom trailing corner of the drawn picture (of the
    // picture's frame while there is none), 6 in from its edges.
    QRect badgeRect() const;

    // Opens the movie in the player.
    void play();
    // Shows the movie selected in the file manager, else opens its folder.
    void reveal();

    QMenu* makeContextMenu(QWidget* parent) override;

protected:
    ThumbnailLoader::Source pictureSource() const override;
    QDateTime timestamp() const override { return m_item->timestamp; }
    // The duration badge.
    void paintOver(QPainter& painter) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    RecordingItemPtr m_item;
    bool m_pressed = false;
};
