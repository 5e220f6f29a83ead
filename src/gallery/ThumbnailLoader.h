#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <deque>
#include <functional>

// Reads and decodes the pictures of the gallery's cards off the main thread, at the size they
// are shown, so that no card holds the full pixels of its image. At most two pictures are decoded
// at a time (a 4K screenshot takes 33 MB while it is decoded); requests whose card has gone by
// the time their turn comes are dropped, and so are those of a card scrolled out of view (it asks
// again when it is painted again). One loader serves every gallery view of the application.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    // Produces the image bytes, best first (a stored picture, then what stands in for it when it
    // is damaged); runs on a worker thread.
    using Source = std::function<QList<QByteArray>()>;

    // Reads `source`, decodes the first of its images that decodes, scaled down to fit `fitInto`
    // (device pixels; never scaled up), and hands it to `done` on the main thread while `receiver`
    // lives, with the index of the bytes it came from (a null image and -1 when none decodes).
    // When `receiver` is a widget that is no longer on screen when the request's turn comes, or
    // `stillWanted` says no then, nothing is read and `skipped` is called instead.
    void request(QObject* receiver, Source source, QSize fitInto, std::function<void(QImage, int)> done,
        std::function<void()> skipped = {}, std::function<bool()> stillWanted = {});

    // The image of `bytes` scaled down to fit `fitInto`; null when it does not decode or would take
    // more than 256 MiB of pixels.
    static QImage decodeFitting(const QByteArray& bytes, QSize fitInto);

    // Runs the event loop until every request made so far has been answered (tests, benchmarks).
    void waitUntilIdle();
    int pending() const { return int(m_queue.size()) + m_running; }

private:
    struct Request {
        QPointer<QObject> receiver;
        Source source;
        QSize fitInto;
        std::function<void(QImage, int)> done;
        std::function<void()> skipped;
        std::function<bool()> stillWanted;
    };
    void startNext();

    static constexpr int kMaxRunning = 2;
    std::deque<Request> m_queue;
    int m_running = 0;
};
