#include "history/ImageThumbnailView.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

ImageThumbnailView::ImageThumbnailView(const QByteArray& data, QSize size, const QString& cacheKey, QWidget* parent)
    : CachedImageView(data, cacheKey, parent)
    , m_size(size)
{
    setFixedSize(size.width(), size.height() + 2);
}

QSize ImageThumbnailView::decodeSize() const
{
    return m_size * devicePixelRatioF();
}

void ImageThumbnailView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(0.5, 0.5, m_size.width() - 1, m_size.height() - 1);
    if (hasImage()) {
        drawRoundedImage(painter, frame, 6, Theme::whiteAlpha(26), 0.15, Qt::KeepAspectRatioByExpanding);
        return;
    }
    QPainterPath path;
    path.addRoundedRect(frame, 6, 6);
    painter.fillPath(path, Theme::whiteAlpha(13));
}
