#include "store/RecordingSaver.h"

#include "platform/ImageEncoding.h"
#include "platform/MovieThumbnailer.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "store/RecordingItem.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <optional>

namespace RecordingSaver {

bool save(const Movie& movie, ModelContainer& container, MovieThumbnailer& thumbnailer, QString* error)
{
    const QFileInfo file(movie.path);
    std::optional<QByteArray> thumbnail;
    // The picture one second in; a movie shorter than that has none (its card shows a placeholder).
    const QImage frame = thumbnailer.frameAt(movie.path, 1.0, QSize(400, 400), nullptr);
    if (!frame.isNull())
        thumbnail = ImageEncoding::png(frame);
    auto item = std::make_shared<RecordingItem>(QDateTime::currentDateTimeUtc(), movie.kind, file.fileName(),
        movie.seconds, file.size(), movie.hasAudio, thumbnail);
    std::unique_ptr<ModelContext> context = container.makeContext(error);
    if (!context)
        return false;
    context->insert(item);
    return context->save(error);
}

}
