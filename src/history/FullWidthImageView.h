#pragma once
#include "history/CachedImageView.h"

// An image as wide as the row: scaled to fit the width (height by aspect ratio), rounded
// (radius 8), outlined; until loaded, a faint 100-pixel-high band with a busy indicator.
class FullWidthImageView : public CachedImageView {
    Q_OBJECT
public:
    static constexpr int placeholderHeight = 100;
    static constexpr int maxDecodeWidth = 760;

    FullWidthImageView(const QByteArray& data, const QString& cacheKey, QWidget* parent = nullptr);
    // The height the view takes at a width: by the image's aspect ratio once loaded.
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }
    // The height for a width given the image's pixel size (no image: the placeholder).
    static int heightFor(int width, QSize imageSize);

protected:
    QSize decodeSize() const override;
    void paintEvent(QPaintEvent* event) override;
};
