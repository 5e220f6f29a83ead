#include "history/ImageDecoding.h"

#include "clipboard/ImageCache.h"
#include "platform/Background.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>

QImage ImageDecoding::decode(const QByteArray& data, QSize maxPixelSize)
{
    if (data.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (declared.isValid() && qint64(declared.width()) * declared.height() * 4 > ImageCache::maxDecodedBytes)
        return {};
    if (declared.isValid() && maxPixelSize.isValid() && declared.width() > maxPixelSize.width()
        && declared.height() > maxPixelSize.height())
        reader.setScaledSize(declared.scaled(maxPixelSize, Qt::KeepAspectRatioByExpanding));
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

QSize ImageDecoding::declaredSize(const QByteArray& data)
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

void ImageDecoding::decodeAsync(
    QObject* receiver, const QByteArray& data, QSize maxPixelSize, std::function<void(const QImage&, bool)> onDecoded)
{
    QPointer<QObject> guard(receiver);
    // The application object takes the result, so that a cache is still filled when the receiver
    // has gone; the guard is read on the main thread.
    Background::run(
        QCoreApplication::instance(), [data, maxPixelSize] { return decode(data, maxPixelSize); },
        [guard, onDecoded = std::move(onDecoded)](const QImage& image) {
            if (!image.isNull())
                onDecoded(image, !guard.isNull());
        });
}

void ImageDecoding::waitForDecodes()
{
    Background::waitForAll();
}
