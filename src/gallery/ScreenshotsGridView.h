#pragma once
#include "gallery/GalleryItem.h"
#include "gallery/GalleryNeeds.h"

#include <QWidget>
#include <memory>
#include <vector>

class CardGrid;
class GalleryModel;
class ModelContainer;

// The stored screenshots and recordings, newest first, as one column of cards: in the gallery
// window and as the history panel's Screenshots tab. Reads the store's main context when it comes
// on screen and on "screenshotSaved" / "recordingSaved" (a hidden grid reads it when shown again);
// drops the card of a record deleted anywhere and re-reads the picture of a reset screenshot.
class ScreenshotsGridView : public QWidget {
    Q_OBJECT
public:
    ScreenshotsGridView(
        const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, QWidget* parent = nullptr);

    std::vector<GalleryItem> items() const;
    CardGrid* grid() const { return m_grid; }
    GalleryModel* model() const { return m_model; }
    // The widget of an item's card (a ScreenshotCard or a RecordingCard), laid over its row as
    // when the pointer is on it; null when the item is not listed.
    QWidget* cardFor(const GalleryItem::ID& id) const;

    void reload();
    // Deletes the record (a recording with its movie) and removes its card.
    void deleteItem(const GalleryItem& item);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeCard(int row, QWidget* parent);

    Gallery::Needs m_needs;
    std::weak_ptr<ModelContainer> m_container;
    GalleryModel* m_model;
    CardGrid* m_grid;
};
