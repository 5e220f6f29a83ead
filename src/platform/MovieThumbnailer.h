#pragma once
#include "platform/Shared.h"

#include <QImage>
#include <QSize>
#include <QString>

// Still frames and facts of movie files. Slow: call off the main thread.
class MovieThumbnailer {
public:
    virtual ~MovieThumbnailer() = default;
    static MovieThumbnailer& shared() { return SharedSlot<MovieThumbnailer>::get(); }
    static bool isWired() { return SharedSlot<MovieThumbnailer>::isSet(); }
    static void setShared(MovieThumbnailer* thumbnailer) { SharedSlot<MovieThumbnailer>::set(thumbnailer); }

    // The frame shown at `seconds`, scaled to fit `maxSize` (aspect ratio kept, never enlarged);
    // null with the reason in `error` when the movie has no frame there.
    virtual QImage frameAt(const QString& path, double seconds, const QSize& maxSize, QString* error) = 0;
    // Seconds of pictures in the movie (a movie cut short counts what it holds); 0 with the
    // reason in `error` when the file is not a movie with pictures.
    virtual double movieSeconds(const QString& path, QString* error) = 0;
    // Whether the movie has a sound track.
    virtual bool hasSoundTrack(const QString& path) = 0;
};
