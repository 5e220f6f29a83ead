#pragma once
#include "history/CachedImageView.h"

// The thumbnail of a Final Cut Pro entry: like an image thumbnail with an orange outline and, from
// 50 pixels of width on, a small film tag in the lower right corner; orange until loaded.
class FCPThumbnailView : public CachedImageView {
    Q_OBJECT
public:
    FCPThumbnailView(const QByteArray& data, QSize size, const QString& cacheKey, QWidget* parent = nullptr);

    // The film tag: absent below 50 pixels of width; symbol size and margin by width.
    struct Tag {
        bool shown = false;
        int symbolSize = 0;
        int margin = 0;
    };
    static Tag tagFor(int width);

protected:
    QSize decodeSize() const override;
    void paintEvent(QPaintEvent* event) override;

private:
    QSize m_size;
};
