#include "history/CachedImageView.h"

#include "clipboard/ImageCache.h"
#include "history/ImageDecoding.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

CachedImageView::CachedImageView(const QByteArray& data, const QString& cacheKey, QWidget* parent)
    : QWidget(parent)
    , m_data(data)
    , m_cacheKey(cacheKey)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CachedImageView::setData(const QByteArray& data, const QString& cacheKey)
{
    if (cacheKey == m_cacheKey && data.size() == m_data.size())
        return;
    m_data = data;
    m_cacheKey = cacheKey;
    m_image = QImage();
    ++m_generation;
    if (isVisible())
        loadImage();
    update();
}

void CachedImageView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    loadImage();
}

void CachedImageView::loadImage()
{
    if (auto cached = ImageCache::shared().image(m_cacheKey)) {
        m_image = *cached;
        update();
        return;
    }
    QPointer<CachedImageView> self(this);
    const QString key = m_cacheKey;
    const quint64 generation = m_generation;
    ImageDecoding::decodeAsync(this, m_data, decodeSize(), [self, key, generation](const QImage& image, bool alive) {
        ImageCache::shared().setImage(image, key);
        if (alive && self && self->m_generation == generation) {
            self->m_image = image;
            self->update();
        }
    });
}

void CachedImageView::drawRoundedImage(QPainter& painter, const QRectF& rect, qreal radius, const QColor& outline,
    qreal shadowAlpha, Qt::AspectRatioMode mode) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path.translated(0, 1), Theme::blackAlpha(qRound(255 * shadowAlpha)));
    painter.save();
    painter.setClipPath(path);
    const QSizeF imageSize = m_image.size();
    QRectF source(QPointF(0, 0), imageSize);
    if (mode == Qt::KeepAspectRatioByExpanding && imageSize.width() > 0 && imageSize.height() > 0) {
        // Crop the middle of the image to the rectangle's proportions.
        const QSizeF cropped = rect.size().scaled(imageSize, Qt::KeepAspectRatio);
        source = QRectF(
            QPointF((imageSize.width() - cropped.width()) / 2, (imageSize.height() - cropped.height()) / 2), cropped);
    }
    painter.drawImage(rect, m_image, source);
    painter.restore();
    painter.setPen(QPen(outline, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}
