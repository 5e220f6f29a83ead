#include "gallery/RecordingsView.h"

#include "gallery/CardGrid.h"
#include "gallery/GalleryItem.h"
#include "gallery/GalleryRecords.h"
#include "gallery/HudSurface.h"
#include "gallery/RecordingCard.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QShowEvent>

RecordingsView::RecordingsView(std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_container(std::move(container))
    , m_grid(new CardGrid(CardGrid::makeEmptyState(QStringLiteral("video"), QStringLiteral("Noch keine Aufnahmen"))))
{
    HudSurface::place(this, m_grid);
    m_grid->setAdaptiveColumns(150, 200);

    NotificationCenter& notifications = NotificationCenter::shared();
    notifications.observe(NotificationNames::recordingSaved, this, [this](const QVariantMap&) {
        if (isVisible())
            reload();
    });
    notifications.observe(NotificationNames::galleryItemDeleted, this, [this](const QVariantMap& info) {
        if (GalleryItem::kindNamed(info.value(QStringLiteral("kind")).toString()) == GalleryItem::Kind::recording)
            removeItem(info.value(QStringLiteral("id")).toLongLong());
    });
}

RecordingCard* RecordingsView::cardFor(qint64 persistentID) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->persistentID == persistentID)
            return m_cards[i];
    }
    return nullptr;
}

void RecordingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void RecordingsView::reload()
{
    std::vector<RecordingItemPtr> items;
    if (const std::shared_ptr<ModelContainer> container = m_container.lock()) {
        FetchDescriptor newest;
        newest.limit = fetchLimit;
        QString error;
        items = container->mainContext().fetchRecordingItems(newest, &error);
        if (!error.isEmpty())
            items.clear();
    }
    std::vector<RecordingCard*> cards;
    for (const RecordingItemPtr& item : items) {
        RecordingCard* card = cardFor(item->persistentID);
        if (!card || card->item() != item)
            card = new RecordingCard(item, [this, item] { deleteItem(item); });
        cards.push_back(card);
    }
    m_items = std::move(items);
    m_cards = cards;
    m_grid->setCards(std::vector<QWidget*>(cards.begin(), cards.end()));
}

void RecordingsView::deleteItem(const RecordingItemPtr& item)
{
    if (const std::shared_ptr<ModelContainer> container = m_container.lock())
        GalleryRecords::deleteRecording(container->mainContext(), NotificationCenter::shared(), item->persistentID);
}

void RecordingsView::removeItem(qint64 persistentID)
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->persistentID != persistentID)
            continue;
        RecordingCard* card = m_cards[i];
        m_items.erase(m_items.begin() + std::ptrdiff_t(i));
        m_cards.erase(m_cards.begin() + std::ptrdiff_t(i));
        m_grid->removeCard(card);
        return;
    }
}
