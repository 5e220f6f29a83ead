#pragma once
#include "history/CachedImageView.h"

// An image thumbnail of a fixed size: the image cropped to fill it, rounded (radius 6), with a
// faint outline; a faint rounded square until the image is there.
class ImageThumbnailView : public CachedImageView {
    Q_OBJECT
public:
    ImageThumbnailView(const QByteArray& data, QSize size, const QString& cacheKey, QWidget* parent = nullptr);
    QSize thumbnailSize() const { return m_size; }

protected:
    QSize decodeSize() const override;
    void paintEvent(QPaintEvent* event) override;

private:
    QSize m_size;
};
