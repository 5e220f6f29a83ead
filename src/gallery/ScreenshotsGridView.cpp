#include "gallery/ScreenshotsGridView.h"

#include "gallery/CardGrid.h"
#include "gallery/CardGridView.h"
#include "gallery/GalleryModel.h"
#include "gallery/GalleryRecords.h"
#include "gallery/RecordingCard.h"
#include "gallery/ScreenshotCard.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace {

std::optional<GalleryItem::ID> idOf(const QVariantMap& userInfo)
{
    const std::optional<GalleryItem::Kind> kind = GalleryItem::kindNamed(userInfo.value(QStringLiteral("kind")).toString());
    if (!kind)
        return std::nullopt;
    return GalleryItem::ID {*kind, userInfo.value(QStringLiteral("id")).toLongLong()};
}

}

ScreenshotsGridView::ScreenshotsGridView(
    const Gallery::Needs& needs, std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_needs(needs)
    , m_container(std::move(container))
    , m_model(new GalleryModel(needs.thumbnails, m_container, this))
    , m_grid(new CardGrid(
          CardGrid::makeEmptyState(QStringLiteral("camera.viewfinder"), QStringLiteral("Noch keine Screenshots oder Aufnahmen")),
          this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
    m_grid->view()->setSingleColumn();
    m_grid->view()->setCardFactory(
        [this](const QModelIndex& index, QWidget* parent) { return makeCard(index.row(), parent); });
    m_grid->setModel(m_model);

    NotificationCenter& notifications = NotificationCenter::shared();
    auto reloadIfShown = [this](const QVariantMap&) {
        if (isVisible())
            reload();
    };
    notifications.observe(NotificationNames::screenshotSaved, this, reloadIfShown);
    notifications.observe(NotificationNames::recordingSaved, this, reloadIfShown);
    notifications.observe(NotificationNames::galleryItemDeleted, this, [this](const QVariantMap& info) {
        if (const std::optional<GalleryItem::ID> id = idOf(info))
            m_model->remove(*id);
    });
    notifications.observe(NotificationNames::screenshotReset, this, [this](const QVariantMap& info) {
        if (const std::optional<GalleryItem::ID> id = idOf(info))
            m_model->resetPicture(*id);
    });
}

std::vector<GalleryItem> ScreenshotsGridView::items() const
{
    return m_model->items();
}

QWidget* ScreenshotsGridView::cardFor(const GalleryItem::ID& id) const
{
    const std::optional<int> row = m_model->rowOf(id);
    return row ? m_grid->view()->cardWidget(m_model->index(*row)) : nullptr;
}

void ScreenshotsGridView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void ScreenshotsGridView::reload()
{
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    std::vector<RecordStamp> screenshots;
    std::vector<RecordingItemPtr> recordings;
    if (container) {
        ModelContext& context = container->mainContext();
        FetchDescriptor newest;
        newest.limit = GalleryItem::fetchLimit;
        QString error;
        screenshots = context.fetchScreenshotStamps(newest, &error);
        if (!error.isEmpty())
            screenshots.clear();
        error.clear();
        recordings = context.fetchRecordingItems(newest, &error);
        if (!error.isEmpty())
            recordings.clear();
    }
    std::vector<RecordStamp> recordingStamps;
    for (const RecordingItemPtr& recording : recordings)
        recordingStamps.push_back({recording->persistentID, recording->timestamp});
    // Rows of unchanged records are kept with their pictures.
    m_model->update(GalleryItem::merge(screenshots, recordingStamps), recordings);
}

QWidget* ScreenshotsGridView::makeCard(int row, QWidget* parent)
{
    const GalleryItem item = m_model->item(row);
    auto onDelete = [this, item] { deleteItem(item); };
    if (item.kind == GalleryItem::Kind::screenshot)
        return new ScreenshotCard(m_needs, m_container, item, onDelete, m_model->picture(row), parent);
    return new RecordingCard(m_needs, m_model->recording(row), onDelete, m_model->picture(row), parent);
}

void ScreenshotsGridView::deleteItem(const GalleryItem& item)
{
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    if (!container)
        return;
    // The card goes when the deletion is announced, here and in every other view of the record.
    if (item.kind == GalleryItem::Kind::screenshot)
        GalleryRecords::deleteScreenshot(container->mainContext(), NotificationCenter::shared(), item.persistentID);
    else
        GalleryRecords::deleteRecording(container->mainContext(), NotificationCenter::shared(), item.persistentID);
}
