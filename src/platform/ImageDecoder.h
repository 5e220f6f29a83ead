#pragma once
#include <QByteArray>
#include <QImage>
#include <QSize>

// Decoding of image bytes from outside (clipboard owners, web pages, the store), bounded in memory:
// an image whose pixels would take more than maxBytes (width × height × 4) is refused, from its
// declared size before anything is allocated and again from what was decoded. Any thread.
namespace ImageDecoder {

// The decoded image (EXIF orientation applied), or a null image when the bytes do not decode or
// are too large. A valid size scales a larger image down while it is read, aspect kept: so that it
// still covers that size (Qt::KeepAspectRatioByExpanding), or so that it fits inside it
// (Qt::KeepAspectRatio).
QImage decode(const QByteArray& data, qint64 maxBytes, QSize size = {},
    Qt::AspectRatioMode mode = Qt::KeepAspectRatioByExpanding);

// The size the image's header declares, as shown (turned by its EXIF orientation); invalid when
// the header cannot be read. Decodes no pixels.
QSize declaredSize(const QByteArray& data);

}
