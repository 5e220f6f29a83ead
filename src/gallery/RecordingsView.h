#pragma once
#include "store/RecordingItem.h"

#include <QWidget>
#include <memory>
#include <vector>

class CardGrid;
class ModelContainer;
class RecordingCard;

// The recordings window's content: the 200 newest recordings as a grid of cards of 150 to 200
// points, on the translucent HUD surface, at least 560 × 420. Reads the store's main context when
// it comes on screen and on "recordingSaved"; drops the card of a recording deleted anywhere.
class RecordingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int fetchLimit = 200;

    explicit RecordingsView(std::weak_ptr<ModelContainer> container, QWidget* parent = nullptr);

    const std::vector<RecordingItemPtr>& items() const { return m_items; }
    CardGrid* grid() const { return m_grid; }
    RecordingCard* cardFor(qint64 persistentID) const;

    void reload();
    // Deletes the record and then its movie, and removes the card.
    void deleteItem(const RecordingItemPtr& item);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void removeItem(qint64 persistentID);

    std::weak_ptr<ModelContainer> m_container;
    CardGrid* m_grid;
    std::vector<RecordingItemPtr> m_items;
    std::vector<RecordingCard*> m_cards; // parallel to m_items
};
