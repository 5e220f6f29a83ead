#include "platform/linux/FFmpegMovieThumbnailer.h"

#include "platform/linux/FFmpegMovieReader.h"

#include <algorithm>

QImage FFmpegMovieThumbnailer::frameAt(const QString& path, double seconds, const QSize& maxSize, QString* error)
{
    FFmpegMovieReader reader;
    if (!reader.open(path, error))
        return {};
    // The first picture shown at or after `seconds`; a movie that ends before has none.
    QImage found;
    const bool read = reader.readVideo(
        seconds, maxSize,
        [&](const QImage& frame, double) {
            found = frame;
            return false;
        },
        error);
    if (read && found.isNull() && error)
        *error = QStringLiteral("the movie ends before %1 s").arg(seconds);
    return found;
}

double FFmpegMovieThumbnailer::movieSeconds(const QString& path, QString* error)
{
    FFmpegMovieReader reader;
    if (!reader.open(path, error))
        return 0;
    const double seconds = reader.videoEndSeconds();
    if (seconds <= 0 && error)
        *error = QStringLiteral("no pictures");
    return seconds;
}

bool FFmpegMovieThumbnailer::hasSoundTrack(const QString& path)
{
    FFmpegMovieReader reader;
    if (!reader.open(path, nullptr))
        return false;
    const QList<MovieStreamInfo> streams = reader.streams();
    return std::any_of(streams.begin(), streams.end(), [](const MovieStreamInfo& stream) { return stream.isAudio; });
}
