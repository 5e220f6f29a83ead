#include "gallery/ThumbnailLoader.h"

#include "platform/Background.h"
#include "platform/ImageDecoder.h"

#include <QCoreApplication>
#include <QThread>
#include <QWidget>

namespace {
constexpr qint64 kMaxDecodedBytes = qint64(256) * 1024 * 1024;
}

QImage ThumbnailLoader::decodeFitting(const QByteArray& bytes, QSize fitInto)
{
    return ImageDecoder::decode(bytes, kMaxDecodedBytes, fitInto, Qt::KeepAspectRatio);
}

void ThumbnailLoader::request(QObject* receiver, Source source, QSize fitInto, std::function<void(QImage, int)> done,
    std::function<void()> skipped, std::function<bool()> stillWanted)
{
    m_queue.push_back(
        {receiver, std::move(source), fitInto, std::move(done), std::move(skipped), std::move(stillWanted)});
    startNext();
}

void ThumbnailLoader::startNext()
{
    while (m_running < kMaxRunning && !m_queue.empty()) {
        Request request = std::move(m_queue.front());
        m_queue.pop_front();
        if (!request.receiver)
            continue;
        auto* widget = qobject_cast<QWidget*>(request.receiver.data());
        if ((widget && (!widget->isVisible() || widget->visibleRegion().isEmpty()))
            || (request.stillWanted && !request.stillWanted())) {
            if (request.skipped)
                request.skipped();
            continue;
        }
        ++m_running;
        Background::run(
            this,
            [source = std::move(request.source), fitInto = request.fitInto] {
                const QList<QByteArray> candidates = source();
                for (int i = 0; i < candidates.size(); ++i) {
                    QImage image = decodeFitting(candidates[i], fitInto);
                    if (!image.isNull())
                        return std::pair(std::move(image), i);
                }
                return std::pair(QImage(), -1);
            },
            [this, receiver = request.receiver, done = std::move(request.done)](std::pair<QImage, int> decoded) {
                --m_running;
                if (receiver)
                    done(std::move(decoded.first), decoded.second);
                startNext();
            });
    }
}

void ThumbnailLoader::waitUntilIdle()
{
    while (pending() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (pending() > 0)
            QThread::msleep(1);
    }
}
