#include "gallery/ScreenshotsGridView.h"

#include "gallery/CardGrid.h"
#include "gallery/GalleryRecords.h"
#include "gallery/RecordingCard.h"
#include "gallery/ScreenshotCard.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

namespace {

std::optional<GalleryItem::ID> idOf(const QVariantMap& userInfo)
{
    const std::optional<GalleryItem::Kind> kind = GalleryItem::kindNamed(userInfo.value(QStringLiteral("kind")).toString());
    if (!kind)
        return std::nullopt;
    return GalleryItem::ID {*kind, userInfo.value(QStringLiteral("id")).toLongLong()};
}

}

ScreenshotsGridView::ScreenshotsGridView(std::weak_ptr<ModelContainer> container, QWidget* parent)
    : QWidget(parent)
    , m_container(std::move(container))
    , m_grid(new CardGrid(
          CardGrid::makeEmptyState(QStringLiteral("camera.viewfinder"), QStringLiteral("Noch keine Screenshots oder Aufnahmen")),
          this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
    m_grid->setSingleColumn();

    NotificationCenter& notifications = NotificationCenter::shared();
    auto reloadIfShown = [this](const QVariantMap&) {
        if (isVisible())
            reload();
    };
    notifications.observe(NotificationNames::screenshotSaved, this, reloadIfShown);
    notifications.observe(NotificationNames::recordingSaved, this, reloadIfShown);
    notifications.observe(NotificationNames::galleryItemDeleted, this, [this](const QVariantMap& info) {
        if (const std::optional<GalleryItem::ID> id = idOf(info))
            removeItem(*id);
    });
    notifications.observe(NotificationNames::screenshotReset, this, [this](const QVariantMap& info) {
        if (const std::optional<GalleryItem::ID> id = idOf(info)) {
            if (auto* card = qobject_cast<ScreenshotCard*>(cardFor(*id)))
                card->reloadThumbnail();
        }
    });
}

QWidget* ScreenshotsGridView::cardFor(const GalleryItem::ID& id) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].id() == id)
            return m_cards[i];
    }
    return nullptr;
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
    std::vector<GalleryItem> items = GalleryItem::merge(screenshots, recordingStamps);

    // Cards of unchanged records are kept with their pictures.
    std::vector<QWidget*> cards;
    cards.reserve(items.size());
    for (const GalleryItem& item : items) {
        QWidget* card = nullptr;
        for (size_t i = 0; i < m_items.size(); ++i) {
            if (m_items[i] == item && m_cards[i]) {
                card = m_cards[i];
                break;
            }
        }
        if (auto* recordingCard = qobject_cast<RecordingCard*>(card)) {
            const auto fresh = std::find_if(recordings.begin(), recordings.end(),
                [&](const RecordingItemPtr& r) { return r->persistentID == item.persistentID; });
            if (fresh != recordings.end() && *fresh != recordingCard->item())
                card = nullptr;
        }
        cards.push_back(card ? card : makeCard(item, recordings));
    }
    m_items = std::move(items);
    m_cards = cards;
    m_grid->setCards(std::move(cards));
}

QWidget* ScreenshotsGridView::makeCard(const GalleryItem& item, const std::vector<RecordingItemPtr>& recordings)
{
    auto onDelete = [this, item] { deleteItem(item); };
    if (item.kind == GalleryItem::Kind::screenshot)
        return new ScreenshotCard(m_container, item, onDelete);
    const auto found = std::find_if(recordings.begin(), recordings.end(),
        [&](const RecordingItemPtr& r) { return r->persistentID == item.persistentID; });
    return new RecordingCard(found != recordings.end() ? *found : std::make_shared<RecordingItem>(), onDelete);
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

void ScreenshotsGridView::removeItem(const GalleryItem::ID& id)
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].id() != id)
            continue;
        QWidget* card = m_cards[i];
        m_items.erase(m_items.begin() + std::ptrdiff_t(i));
        m_cards.erase(m_cards.begin() + std::ptrdiff_t(i));
        m_grid->removeCard(card);
        return;
    }
}
