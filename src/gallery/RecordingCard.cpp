#include "gallery/RecordingCard.h"

#include "gallery/CardFormat.h"
#include "gallery/CardMenu.h"
#include "gallery/CardPainting.h"
#include "gallery/GalleryRecords.h"
#include "gallery/RecordingQuickLook.h"
#include "platform/Background.h"
#include "platform/FileRevealer.h"
#include "platform/Workspace.h"
#include "store/RecordingStorage.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

RecordingCard::RecordingCard(RecordingItemPtr item, std::function<void()> onDelete, QWidget* parent)
    : Card(pictureHeight, 180, QStringLiteral("video"), std::move(onDelete), parent)
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
    if (!badge)
        return {};
    const QFontMetrics metrics(Theme::labelFont(11));
    const QRect picture = CardPainting::pictureRect(rect(), pictureHeight, m_picture.image().size());
    const QSize size(metrics.horizontalAdvance(*badge) + 10, metrics.height() + 4);
    return QRect(picture.right() + 1 - 6 - size.width(), picture.bottom() + 1 - 6 - size.height(), size.width(),
        size.height());
}

ThumbnailLoader::Source RecordingCard::pictureSource() const
{
    return [bytes = m_item->thumbnailData.value_or(QByteArray())] { return bytes; };
}

void RecordingCard::paintOver(QPainter& painter)
{
    const std::optional<QString> badge = badgeText();
    if (!badge)
        return;
    const QFont font = Theme::labelFont(11);
    const QRect at = badgeRect();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::blackAlpha(int(255 * 0.55)));
    painter.drawRoundedRect(QRectF(at), 4, 4);
    painter.setFont(font);
    painter.setPen(Theme::text());
    painter.drawText(at, Qt::AlignCenter, *badge);
}

void RecordingCard::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void RecordingCard::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        play();
}

void RecordingCard::play()
{
    RecordingQuickLook::open(GalleryRecords::moviePath(m_item->fileName), m_item->durationSeconds);
}

void RecordingCard::reveal()
{
    const QString path = GalleryRecords::moviePath(m_item->fileName);
    const QString folder = RecordingStorage::recordingsDirectory();
    if (path.isEmpty() || !FileRevealer::isShared()) {
        Workspace::shared().openURL(QUrl::fromLocalFile(folder));
        return;
    }
    // The file manager may take a moment to start; the folder opens when none answers.
    Background::run(
        this, [path] { return FileRevealer::shared().showItems({path}); },
        [folder](bool shown) {
            if (!shown)
                Workspace::shared().openURL(QUrl::fromLocalFile(folder));
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
