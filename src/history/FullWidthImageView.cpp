#include "history/FullWidthImageView.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

FullWidthImageView::FullWidthImageView(const QByteArray& data, const QString& cacheKey, QWidget* parent)
    : CachedImageView(data, cacheKey, parent)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int FullWidthImageView::heightFor(int width, QSize imageSize)
{
    if (imageSize.isEmpty() || width <= 0)
        return placeholderHeight;
    return qMax(1, qRound(double(width) * imageSize.height() / imageSize.width())) + 1;
}

int FullWidthImageView::heightForWidth(int width) const
{
    return heightFor(width, m_image.size());
}

QSize FullWidthImageView::decodeSize() const
{
    const int w = qRound(maxDecodeWidth * devicePixelRatioF());
    return QSize(w, 1);
}

void FullWidthImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hasImage()) {
        const int h = heightFor(width(), m_image.size()) - 1;
        drawRoundedImage(
            painter, QRectF(0.5, 0.5, width() - 1, h - 1), 8, Theme::whiteAlpha(26), 0.15, Qt::KeepAspectRatio);
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), placeholderHeight), 8, 8);
    painter.fillPath(path, Theme::whiteAlpha(13));
    // A small spinner of twelve ticks, as the platform's busy indicator draws it.
    const QPointF centre(width() / 2.0, placeholderHeight / 2.0);
    for (int i = 0; i < 12; ++i) {
        const qreal angle = qDegreesToRadians(30.0 * i);
        const QPointF dir(qCos(angle), qSin(angle));
        painter.setPen(QPen(Theme::whiteAlpha(40 + 15 * i), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + dir * 4, centre + dir * 7);
    }
}
