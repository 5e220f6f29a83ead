#include "history/ImageDecoding.h"

#include "clipboard/ImageCache.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QThreadPool>

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
