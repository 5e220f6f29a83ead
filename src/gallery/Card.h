#pragma once
#include "gallery/CardMenu.h"
#include "gallery/CardFormat.h"
#include "gallery/CardPainting.h"
#include "gallery/CardPicture.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSize>
#include <functional>
#include <memory>

// What every gallery card does alike, over the widget it is built on: a pointing-hand cursor, a
// height fixed by its picture band whatever the width, the picture decoded at the size shown (the
// placeholder symbol when it does not decode) over how long ago the record was made, and a context
// menu the card builds, opened at the pointer and deleted when closed. `onDelete` is what the
// menu's "Löschen" calls. The picture may be shared with the row of a gallery list the card lies
// over (see CardGridView).
template <class Base> class Card : public Base {
public:
    // The decoded picture (null until it arrived, or when the stored bytes do not decode).
    const QImage& thumbnail() const { return m_picture->image(); }
    bool thumbnailFailed() const { return m_picture->failed(); }

    // The context menu as it would open now.
    virtual QMenu* makeContextMenu(QWidget* parent) = 0;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int) const override { return CardPainting::cardHeight(m_pictureHeight); }
    QSize sizeHint() const override { return QSize(m_hintWidth, heightForWidth(m_hintWidth)); }

protected:
    Card(ThumbnailLoader& thumbnails, std::shared_ptr<CardPicture> picture, int pictureHeight, int hintWidth,
        QString placeholderSymbol, std::function<void()> onDelete, QWidget* parent)
        : Base(parent)
        , m_onDelete(std::move(onDelete))
        , m_picture(picture ? std::move(picture) : std::make_shared<CardPicture>())
        , m_thumbnails(thumbnails)
        , m_pictureHeight(pictureHeight)
        , m_hintWidth(hintWidth)
        , m_placeholderSymbol(std::move(placeholderSymbol))
    {
        this->setCursor(Qt::PointingHandCursor);
    }

    // Where the picture's bytes are read from (off the main thread); when the record was made.
    virtual ThumbnailLoader::Source pictureSource() const = 0;
    virtual QDateTime timestamp() const = 0;
    // The text over the picture's corner (none here).
    virtual std::optional<QString> badge() const { return std::nullopt; }

    void paintEvent(QPaintEvent*) override
    {
        // Asked through the loader itself, so that the shared picture learns of the answer even
        // when this card is gone by then.
        const QPointer<QWidget> card(this);
        m_picture->request(m_thumbnails, &m_thumbnails,
            CardPainting::pictureSize(this->width(), m_pictureHeight, this->devicePixelRatioF()), pictureSource(),
            [card] {
                if (card)
                    card->update();
            },
            [card] { return card && card->isVisible() && !card->visibleRegion().isEmpty(); });
        CardPainting::Face face;
        face.pictureHeight = m_pictureHeight;
        face.picture = m_picture->image();
        face.placeholderSymbol = m_picture->failed() ? m_placeholderSymbol : QString();
        face.date = CardFormat::relativeDate(timestamp(), QDateTime::currentDateTimeUtc());
        face.badge = badge();
        QPainter painter(this);
        CardPainting::paint(painter, this->rect(), face);
    }

    void contextMenuEvent(QContextMenuEvent* event) override
    {
        CardMenu::popUp(makeContextMenu(this), event->globalPos());
    }

    std::function<void()> m_onDelete;
    std::shared_ptr<CardPicture> m_picture;
    ThumbnailLoader& m_thumbnails;

private:
    int m_pictureHeight;
    int m_hintWidth;
    QString m_placeholderSymbol;
};
