#include "gallery/CardPainting.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {
QColor white(qreal opacity)
{
    QColor color = Theme::text();
    color.setAlphaF(opacity);
    return color;
}
}

namespace CardPainting {

int cardHeight(int pictureHeight)
{
    return padding + pictureHeight + gap + QFontMetrics(Theme::labelFont(11)).height() + padding;
}

QRect pictureBand(const QRect& card, int pictureHeight)
{
    return QRect(card.left() + padding, card.top() + padding, std::max(0, card.width() - 2 * padding), pictureHeight);
}

QRect pictureFrame(const QRect& card, int pictureHeight)
{
    return pictureBand(card, pictureHeight).adjusted(pictureInset, pictureInset, -pictureInset, -pictureInset);
}

QRect pictureRect(const QRect& card, int pictureHeight, const QSize& picture)
{
    const QRect frame = pictureFrame(card, pictureHeight);
    if (picture.isEmpty())
        return frame;
    QRect target(QPoint(), picture.scaled(frame.size(), Qt::KeepAspectRatio));
    target.moveCenter(frame.center());
    return target;
}

QSize pictureSize(int cardWidth, int pictureHeight, qreal devicePixelRatio)
{
    const QRect frame = pictureFrame(QRect(0, 0, cardWidth, cardHeight(pictureHeight)), pictureHeight);
    return (QSizeF(frame.size()) * devicePixelRatio).toSize().expandedTo(QSize(1, 1));
}

void paint(QPainter& painter, const QRect& card, int pictureHeight, const QImage& picture,
    const QString& placeholderSymbol, const QString& date)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(0.03));
    painter.drawRoundedRect(QRectF(card), 10, 10);

    const QRect band = pictureBand(card, pictureHeight);
    QPainterPath bandShape;
    bandShape.addRoundedRect(QRectF(band), 8, 8);
    painter.fillPath(bandShape, white(0.05));
    const QRect frame = pictureFrame(card, pictureHeight);
    if (!picture.isNull()) {
        painter.setClipPath(bandShape);
        painter.drawImage(pictureRect(card, pictureHeight, picture.size()), picture);
        painter.setClipping(false);
    } else if (!placeholderSymbol.isEmpty()) {
        QColor faint = Theme::secondaryText();
        faint.setAlphaF(faint.alphaF() * 0.4);
        const int size = std::min(28, std::max(8, std::min(frame.width(), frame.height())));
        const QPixmap symbol = Symbols::pixmap(placeholderSymbol, size, faint);
        QRect at(QPoint(), QSize(size, size));
        at.moveCenter(frame.center());
        painter.drawPixmap(at, symbol);
    }

    const QFont font = Theme::labelFont(11);
    painter.setFont(font);
    painter.setPen(Theme::secondaryText());
    const QRect line(band.left(), band.bottom() + 1 + gap, band.width(), QFontMetrics(font).height());
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(font).elidedText(date, Qt::ElideRight, line.width()));
    painter.restore();
}

QRect badgeRect(const QRect& card, int pictureHeight, const QSize& picture, const QString& text)
{
    const QFontMetrics metrics(Theme::labelFont(11));
    const QRect drawn = pictureRect(card, pictureHeight, picture);
    const QSize size(metrics.horizontalAdvance(text) + 10, metrics.height() + 4);
    return QRect(drawn.right() + 1 - 6 - size.width(), drawn.bottom() + 1 - 6 - size.height(), size.width(),
        size.height());
}

void paint(QPainter& painter, const QRect& card, const Face& face)
{
    paint(painter, card, face.pictureHeight, face.picture, face.placeholderSymbol, face.date);
    if (!face.badge)
        return;
    const QRect at = badgeRect(card, face.pictureHeight, face.picture.size(), *face.badge);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::blackAlpha(int(255 * 0.55)));
    painter.drawRoundedRect(QRectF(at), 4, 4);
    painter.setFont(Theme::labelFont(11));
    painter.setPen(Theme::text());
    painter.drawText(at, Qt::AlignCenter, *face.badge);
    painter.restore();
}

}
