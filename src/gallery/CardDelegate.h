#pragma once
#include "gallery/CardPainting.h"

#include <QAbstractItemDelegate>

class GalleryModel;

// Paints the rows of a GalleryModel as the gallery's cards (see CardPainting), asking for a
// card's picture at the size shown when it is painted without one. A card is as high as its
// picture band makes it, whatever the width.
class CardDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    using QAbstractItemDelegate::QAbstractItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // What the card of a row shows now.
    static CardPainting::Face face(const GalleryModel& model, int row);
};
