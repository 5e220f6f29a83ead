#pragma once
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <functional>

// Decoding of row and preview pictures on the global thread pool. The result is handed to the
// main thread; onDecoded runs there only when it decoded, and receives the image even when the
// receiver has gone (so it can still fill a cache), along with whether the receiver is alive.
namespace ImageDecoding {
// Decodes image bytes; a valid maxPixelSize scales the image down while reading so that it
// covers that size (aspect kept). Refuses images whose pixels would take more than 256 MiB.
QImage decode(const QByteArray& data, QSize maxPixelSize = {});
// The size the image bytes declare, as shown (turned by their orientation); invalid when unknown.
QSize declaredSize(const QByteArray& data);
void decodeAsync(QObject* receiver, const QByteArray& data, QSize maxPixelSize,
    std::function<void(const QImage& image, bool receiverAlive)> onDecoded);
// Waits until every decode started so far has been handed over (tests, benchmarks).
void waitForDecodes();
}
