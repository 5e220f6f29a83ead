#include "history/ImageDecoding.h"

#include "clipboard/ImageCache.h"
#include "platform/Background.h"
#include "platform/ImageDecoder.h"

#include <QCoreApplication>

QImage ImageDecoding::decode(const QByteArray& data, QSize maxPixelSize)
{
    return ImageDecoder::decode(data, ImageCache::maxDecodedBytes, maxPixelSize);
}

QSize ImageDecoding::declaredSize(const QByteArray& data)
{
    return ImageDecoder::declaredSize(data);
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
