#pragma once
#include "gallery/GalleryNeeds.h"
#include "store/RecordingItem.h"

#include <QWidget>
#include <memory>
#include <vector>

class CardGrid;
class GalleryModel;
class ModelContainer;
class RecordingCard;

// The recordings window's content: the 200 newest recordings as a grid of cards of 150 to 200
// points, on the translucent HUD surface, at least 560 × 420. Reads the store's main context when
// it comes on screen and on "recordingSaved"; drops the card of a recording deleted anywhere.
class RecordingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int fetchLimit = 200;

    RecordingsView(const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, QWidget* parent = nullptr);

    std::vector<RecordingItemPtr> items() const;
    CardGrid* grid() const { return m_grid; }
    GalleryModel* model() const { return m_model; }
    // The widget of a recording's card, laid over its row as when the pointer is on it; null when
    // the recording is not listed.
    RecordingCard* cardFor(qint64 persistentID) const;

    void reload();
    // Deletes the record and then its movie, and removes the card.
    void deleteItem(const RecordingItemPtr& item);

protected:
    void showEvent(QShowEvent* event) override;

private:
    Gallery::Needs m_needs;
    std::weak_ptr<ModelContainer> m_container;
    GalleryModel* m_model;
    CardGrid* m_grid;
};
