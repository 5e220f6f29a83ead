#pragma once
#include "gallery/CardMenu.h"
#include "gallery/CardPainting.h"
#include "gallery/CardPicture.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QSize>
#include <functional>

// What every gallery card does alike, over the widget it is built on: a pointing-hand cursor, a
// height fixed by its picture band whatever the width, the picture decoded at the size shown, and
// a context menu the card builds, opened at the pointer and deleted when closed. `onDelete` is
// what the menu's "Löschen" calls.
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
    Card(int pictureHeight, int hintWidth, std::function<void()> onDelete, QWidget* parent)
        : Base(parent)
        , m_onDelete(std::move(onDelete))
        , m_pictureHeight(pictureHeight)
        , m_hintWidth(hintWidth)
    {
        this->setCursor(Qt::PointingHandCursor);
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
};
