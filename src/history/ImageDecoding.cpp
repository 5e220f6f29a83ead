#include "history/ImageDecoding.h"

#include "clipboard/ImageCache.h"
#include "platform/ImageDecoder.h"

#include <QCoreApplication>
#include <QThreadPool>

QImage ImageDecoding::decode(const QByteArray& data, QSize maxPixelSize)
{
    return ImageDecoder::decode(data, ImageCache::maxDecodedBytes, maxPixelSize);
}

void ImageDecoding::decodeAsync(
    QObject* receiver, const QByteArray& data, QSize maxPixelSize, std::function<void(const QImage&, bool)> onDecoded)
{
    QPointer<QObject> guard(receiver);
    QThreadPool::globalInstance()->start([guard, data, maxPixelSize, onDecoded = std::move(onDecoded)] {
        QImage image = decode(data, maxPixelSize);
        if (image.isNull())
            return;
        // The application object outlives every receiver; the guard is read on the main thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [guard, image, onDecoded] { onDecoded(image, !guard.isNull()); },
            Qt::QueuedConnection);
    });
}

void ImageDecoding::waitForDecodes()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
}
