#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QImageReader>

namespace {

bool fits(QSize size, qint64 maxBytes)
{
    return size.isValid() && !size.isEmpty() && qint64(size.width()) * size.height() * 4 <= maxBytes;
}

}

QImage ImageDecoder::decode(const QByteArray& data, qint64 maxBytes, QSize coverSize)
{
    if (data.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (declared.isValid() && !fits(declared, maxBytes))
        return {};
    if (declared.isValid() && coverSize.isValid() && declared.width() > coverSize.width()
        && declared.height() > coverSize.height())
        reader.setScaledSize(declared.scaled(coverSize, Qt::KeepAspectRatioByExpanding));
    QImage image;
    if (!reader.read(&image) || image.isNull() || !fits(image.size(), maxBytes))
        return {};
    return image;
}
