#pragma once
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

// Base of the picture views of rows and cards: shows a placeholder at once and, each time it
// comes on screen, takes its image from the shared image cache or decodes it off the main thread
// (stored in the cache under the view's key, even when the view has gone meanwhile).
class CachedImageView : public QWidget {
    Q_OBJECT
public:
    CachedImageView(const QByteArray& data, const QString& cacheKey, QWidget* parent = nullptr);

    void setData(const QByteArray& data, const QString& cacheKey);
    bool hasImage() const { return !m_image.isNull(); }
    const QImage& image() const { return m_image; }
    void loadImage();

protected:
    // The pixel size the image is decoded to cover.
    virtual QSize decodeSize() const = 0;
    void showEvent(QShowEvent* event) override;
    // Draws the image filling (cropped to) the rectangle, clipped to radius, with a 1-pixel
    // outline and a soft shadow one pixel down.
    void drawRoundedImage(QPainter& painter, const QRectF& rect, qreal radius, const QColor& outline, qreal shadowAlpha,
        Qt::AspectRatioMode mode) const;

    QImage m_image;

private:
    QByteArray m_data;
    QString m_cacheKey;
    quint64 m_generation = 0;
};
