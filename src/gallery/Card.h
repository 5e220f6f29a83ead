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
#include <QSize>
#include <functional>

// What every gallery card does alike, over the widget it is built on: a pointing-hand cursor, a
// height fixed by its picture band whatever the width, the picture decoded at the size shown (the
// placeholder symbol when it does not decode) over how long ago the record was made, and a context
// menu the card builds, opened at the pointer and deleted when closed. `onDelete` is what the
// menu's "Löschen" calls.
template <class Base> class Card : public Base {
public:
    // The decoded picture (null until it arrived, or when the stored bytes do not decode).
    const QImage& thumbnail() const { return m_picture.image(); }

    // The context menu as it would open now.
    virtual QMenu* makeContextMenu(QWidget* parent) = 0;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int) const override { return CardPainting::cardHeight(m_pictureHeight); }
    QSize sizeHint() const override { return QSize(m_hintWidth, heightForWidth(m_hintWidth)); }

protected:
    Card(int pictureHeight, int hintWidth, QString placeholderSymbol, std::function<void()> onDelete, QWidget* parent)
        : Base(parent)
        , m_onDelete(std::move(onDelete))
        , m_pictureHeight(pictureHeight)
        , m_hintWidth(hintWidth)
        , m_placeholderSymbol(std::move(placeholderSymbol))
    {
        this->setCursor(Qt::PointingHandCursor);
    }

    // Where the picture's bytes are read from (off the main thread); when the record was made.
    virtual ThumbnailLoader::Source pictureSource() const = 0;
    virtual QDateTime timestamp() const = 0;
    // Draws what lies over the card's face (nothing here).
    virtual void paintOver(QPainter&) { }

    void paintEvent(QPaintEvent*) override
    {
        m_picture.request(this, m_pictureHeight, pictureSource());
        QPainter painter(this);
        CardPainting::paint(painter, this->rect(), m_pictureHeight, m_picture.image(),
            m_picture.failed() ? m_placeholderSymbol : QString(),
            CardFormat::relativeDate(timestamp(), QDateTime::currentDateTimeUtc()));
        paintOver(painter);
    }

    void contextMenuEvent(QContextMenuEvent* event) override
    {
        CardMenu::popUp(makeContextMenu(this), event->globalPos());
    }

    std::function<void()> m_onDelete;
    CardPicture m_picture;

private:
    int m_pictureHeight;
    int m_hintWidth;
    QString m_placeholderSymbol;
};
