#include "gallery/RecordingsView.h"

#include "gallery/CardGrid.h"
#include "gallery/CardGridView.h"
#include "gallery/GalleryItem.h"
#include "gallery/GalleryModel.h"
#include "gallery/GalleryRecords.h"
#include "gallery/HudSurface.h"
#include "gallery/RecordingCard.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QShowEvent>

RecordingsView::RecordingsView(const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_needs(needs)
    , m_container(std::move(container))
    , m_model(new GalleryModel(needs.thumbnails, m_container, this))
    , m_grid(new CardGrid(CardGrid::makeEmptyState(QStringLiteral("video"), QStringLiteral("Noch keine Aufnahmen"))))
{
    HudSurface::place(this, m_grid);
    m_grid->view()->setAdaptiveColumns(150, 200);
    m_grid->view()->setCardFactory([this](const QModelIndex& index, QWidget* parent) -> QWidget* {
        const RecordingItemPtr item = m_model->recording(index.row());
        return new RecordingCard(
            m_needs, item, [this, item] { deleteItem(item); }, m_model->picture(index.row()), parent);
    });
    m_grid->setModel(m_model);

    NotificationCenter& notifications = NotificationCenter::shared();
    notifications.observe(NotificationNames::recordingSaved, this, [this](const QVariantMap&) {
        if (isVisible())
            reload();
    });
    notifications.observe(NotificationNames::galleryItemDeleted, this, [this](const QVariantMap& info) {
        if (GalleryItem::kindNamed(info.value(QStringLiteral("kind")).toString()) == GalleryItem::Kind::recording)
            m_model->remove({GalleryItem::Kind::recording, info.value(QStringLiteral("id")).toLongLong()});
    });
}

std::vector<RecordingItemPtr> RecordingsView::items() const
{
    std::vector<RecordingItemPtr> items;
    for (int row = 0; row < m_model->rowCount(); ++row)
        items.push_back(m_model->recording(row));
    return items;
}

RecordingCard* RecordingsView::cardFor(qint64 persistentID) const
{
    const std::optional<int> row = m_model->rowOf({GalleryItem::Kind::recording, persistentID});
    return row ? qobject_cast<RecordingCard*>(m_grid->view()->cardWidget(m_model->index(*row))) : nullptr;
}

void RecordingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void RecordingsView::reload()
{
    std::vector<RecordingItemPtr> recordings;
    if (const std::shared_ptr<ModelContainer> container = m_container.lock()) {
        FetchDescriptor newest;
        newest.limit = fetchLimit;
        QString error;
        recordings = container->mainContext().fetchRecordingItems(newest, &error);
        if (!error.isEmpty())
            recordings.clear();
    }
    std::vector<GalleryItem> items;
    items.reserve(recordings.size());
    for (const RecordingItemPtr& recording : recordings)
        items.push_back({GalleryItem::Kind::recording, recording->persistentID, recording->timestamp});
    m_model->update(items, recordings);
}

void RecordingsView::deleteItem(const RecordingItemPtr& item)
{
    if (const std::shared_ptr<ModelContainer> container = m_container.lock())
        GalleryRecords::deleteRecording(container->mainContext(), NotificationCenter::shared(), item->persistentID);
}
