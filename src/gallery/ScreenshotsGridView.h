#pragma once
#include "gallery/GalleryItem.h"

#include <QWidget>
#include <memory>
#include <vector>

class CardGrid;
class ModelContainer;
class NotificationCenter;

// The stored screenshots and recordings, newest first, as one column of cards: in the gallery
// window and as the history panel's Screenshots tab. Reads the store's main context when it comes
// on screen and on "screenshotSaved" / "recordingSaved" (a hidden grid reads it when shown again);
// drops the card of a record deleted anywhere and re-reads the picture of a reset screenshot.
class ScreenshotsGridView : public QWidget {
    Q_OBJECT
public:
    explicit ScreenshotsGridView(std::weak_ptr<ModelContainer> container, QWidget* parent = nullptr);

    const std::vector<GalleryItem>& items() const { return m_items; }
    CardGrid* grid() const { return m_grid; }
    // The card of an item (a ScreenshotCard or a RecordingCard), null when it is not listed.
    QWidget* cardFor(const GalleryItem::ID& id) const;

    void reload();
    // Deletes the record (a recording with its movie) and removes its card.
    void deleteItem(const GalleryItem& item);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeCard(const GalleryItem& item, const std::vector<RecordingItemPtr>& recordings);
    void removeItem(const GalleryItem::ID& id);

    std::weak_ptr<ModelContainer> m_container;
    CardGrid* m_grid;
    std::vector<GalleryItem> m_items;
    std::vector<QWidget*> m_cards; // parallel to m_items
};
