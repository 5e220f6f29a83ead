#include "history/FCPThumbnailView.h"

#include "ui/Symbols.h"

#include <QPainter>
#include <QPainterPath>

FCPThumbnailView::FCPThumbnailView(const QByteArray& data, QSize size, const QString& cacheKey, QWidget* parent)
    : CachedImageView(data, cacheKey, parent)
    , m_size(size)
{
    setFixedSize(size.width(), size.height() + 2);
}

FCPThumbnailView::Tag FCPThumbnailView::tagFor(int width)
{
    if (width < 50)
        return {};
    return width < 72 ? Tag {true, 8, 2} : Tag {true, 10, 3};
}

QSize FCPThumbnailView::decodeSize() const
{
    return m_size * devicePixelRatioF();
}

void FCPThumbnailView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(0.5, 0.5, m_size.width() - 1, m_size.height() - 1);
    const QColor orange(255, 149, 0);
    if (!hasImage()) {
        QPainterPath path;
        path.addRoundedRect(frame, 6, 6);
        QColor fill = orange;
        fill.setAlphaF(0.1);
        painter.fillPath(path, fill);
        return;
    }
    QColor outline = orange;
    outline.setAlphaF(0.3);
    drawRoundedImage(painter, frame, 6, outline, 0.2, Qt::KeepAspectRatioByExpanding);
    const Tag tag = tagFor(m_size.width());
    if (!tag.shown)
        return;
    const int side = tag.symbolSize + 2 * tag.margin;
    const QRectF box(m_size.width() - tag.margin - side, m_size.height() - tag.margin - side, side, side);
    QPainterPath badge;
    badge.addRoundedRect(box, 4, 4);
    QColor fill = orange;
    fill.setAlphaF(0.85);
    painter.fillPath(badge, fill);
    const qreal ratio = devicePixelRatioF();
    QPixmap film = Symbols::pixmap(QStringLiteral("film"), qRound(tag.symbolSize * ratio), Qt::white);
    film.setDevicePixelRatio(ratio);
    painter.drawPixmap(QPointF(box.left() + tag.margin, box.top() + tag.margin), film);
}
