#include "gallery/RecordingCard.h"

#include "editor/ImageDragSourceView.h"
#include "gallery/CardFormat.h"
#include "gallery/CardMenu.h"
#include "gallery/CardPainting.h"
#include "gallery/GalleryModel.h"
#include "gallery/GalleryRecords.h"
#include "gallery/RecordingQuickLook.h"
#include "platform/Background.h"
#include "platform/FileRevealer.h"
#include "platform/Workspace.h"
#include "store/RecordingStorage.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>
#include <cmath>

RecordingCard::RecordingCard(const Gallery::Needs& needs, RecordingItemPtr item, std::function<void()> onDelete,
    std::shared_ptr<CardPicture> picture, QWidget* parent)
    : Card(needs.thumbnails, std::move(picture), pictureHeight, 180, QStringLiteral("video"), std::move(onDelete),
          parent)
    , m_needs(needs)
    , m_item(std::move(item))
{
}

std::optional<QString> RecordingCard::badgeText() const
{
    return CardFormat::duration(m_item->durationSeconds);
}

QRect RecordingCard::badgeRect() const
{
    const std::optional<QString> badge = badgeText();
    return badge ? CardPainting::badgeRect(rect(), pictureHeight, m_picture->image().size(), *badge) : QRect();
}

ThumbnailLoader::Source RecordingCard::pictureSource() const
{
    const GalleryItem item {GalleryItem::Kind::recording, m_item->persistentID, m_item->timestamp};
    return GalleryModel::pictureSource({}, item, m_item);
}

void RecordingCard::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressedAt = event->position();
}

// The card takes every move of its press: a hand that trembles by a few pixels still clicks, as
// on a screenshot card; a move as far as a screenshot card's drag is no click (a recording card
// carries nothing out).
void RecordingCard::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressedAt)
        return;
    const QPointF moved = event->position() - *m_pressedAt;
    if (std::hypot(moved.x(), moved.y()) > ImageDragSourceView::dragThreshold)
        m_pressedAt.reset();
}

void RecordingCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = m_pressedAt && rect().contains(event->position().toPoint());
    m_pressedAt.reset();
    if (click)
        play();
}

void RecordingCard::play()
{
    RecordingQuickLook::open(GalleryRecords::moviePath(m_item->fileName), m_item->durationSeconds, &m_needs.workspace);
}

void RecordingCard::reveal()
{
    const QString path = GalleryRecords::moviePath(m_item->fileName);
    const QString folder = RecordingStorage::recordingsDirectory();
    Workspace& workspace = m_needs.workspace;
    if (path.isEmpty()) {
        workspace.openURL(QUrl::fromLocalFile(folder));
        return;
    }
    // The file manager may take a moment to start; the folder opens when none answers.
    Background::run(
        this, [path, revealer = &m_needs.fileRevealer] { return revealer->showItems({path}); },
        [folder, &workspace](bool shown) {
            if (!shown)
                workspace.openURL(QUrl::fromLocalFile(folder));
        });
}

QMenu* RecordingCard::makeContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->addAction(QStringLiteral("Abspielen"), this, &RecordingCard::play);
    menu->addAction(QStringLiteral("Im Dateimanager zeigen"), this, &RecordingCard::reveal);
    CardMenu::addDeleteEntry(menu, m_onDelete);
    return menu;
}
