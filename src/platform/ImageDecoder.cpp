#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QImageReader>

namespace {

bool fits(QSize size, qint64 maxBytes)
{
    return size.isValid() && !size.isEmpty() && qint64(size.width()) * size.height() * 4 <= maxBytes;
}

}

QImage ImageDecoder::decode(const QByteArray& data, qint64 maxBytes, QSize size, Qt::AspectRatioMode mode)
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
    if (declared.isValid() && size.isValid() && !size.isEmpty()) {
        // Covering needs the image larger in both directions, fitting in either.
        const bool wider = declared.width() > size.width();
        const bool taller = declared.height() > size.height();
        if (mode == Qt::KeepAspectRatio ? (wider || taller) : (wider && taller))
            reader.setScaledSize(declared.scaled(size, mode).expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull() || !fits(image.size(), maxBytes))
        return {};
    return image;
}

QSize ImageDecoder::declaredSize(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        size.transpose();
    return size;
}
