#pragma once
#include "platform/MovieThumbnailer.h"

// Still frames through FFmpeg's demuxer and decoder (FFmpegMovieReader).
class FFmpegMovieThumbnailer : public MovieThumbnailer {
public:
    QImage frameAt(const QString& path, double seconds, const QSize& maxSize, QString* error) override;
    double movieSeconds(const QString& path, QString* error) override;
    bool hasSoundTrack(const QString& path) override;
};
