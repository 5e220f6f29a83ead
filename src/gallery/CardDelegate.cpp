#include "gallery/CardDelegate.h"

#include "gallery/CardFormat.h"
#include "gallery/GalleryModel.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPointer>

CardPainting::Face CardDelegate::face(const GalleryModel& model, int row)
{
    const GalleryItem& item = model.item(row);
    const CardPicture& picture = *model.picture(row);
    const bool recording = item.kind == GalleryItem::Kind::recording;
    CardPainting::Face face;
    face.pictureHeight = recording ? CardPainting::recordingPictureHeight : CardPainting::screenshotPictureHeight;
    face.picture = picture.image();
    if (picture.failed())
        face.placeholderSymbol = recording ? QStringLiteral("video") : QStringLiteral("photo");
    face.date = CardFormat::relativeDate(item.timestamp, QDateTime::currentDateTimeUtc());
    if (recording && model.recording(row))
        face.badge = CardFormat::duration(model.recording(row)->durationSeconds);
    return face;
}

void CardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const GalleryModel*>(index.model());
    if (!model)
        return;
    const CardPainting::Face shown = face(*model, index.row());
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const qreal ratio = view ? view->devicePixelRatioF() : 1.0;
    // Only while the card is still in view when its turn comes is the picture read.
    const QPointer<const QAbstractItemView> watched(view);
    const QPersistentModelIndex at(index);
    const_cast<GalleryModel*>(model)->requestPicture(index.row(),
        CardPainting::pictureSize(option.rect.width(), shown.pictureHeight, ratio), [watched, at] {
            return watched && at.isValid() && watched->isVisible()
                && watched->viewport()->rect().intersects(watched->visualRect(at));
        });
    CardPainting::paint(*painter, option.rect, shown);
}

QSize CardDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool recording = index.data(GalleryModel::kindRole).toInt() == int(GalleryItem::Kind::recording);
    const int pictureHeight
        = recording ? CardPainting::recordingPictureHeight : CardPainting::screenshotPictureHeight;
    return QSize(option.rect.width(), CardPainting::cardHeight(pictureHeight));
}
