#pragma once
#include "platform/MovieThumbnailer.h"

#include <atomic>

// Answers every movie with one picture (set by the test; null for "no frame") up to its length,
// fitted as asked.
class FakeMovieThumbnailer : public MovieThumbnailer {
public:
    QImage picture = QImage(1920, 1080, QImage::Format_RGB32);
    std::atomic<int> calls {0};
    std::atomic<double> askedSeconds {-1}; // the time of the last picture asked for
    // Every movie's length; 0 makes every file "not a movie".
    std::atomic<double> seconds {2.0};
    // Whether every movie has a sound track.
    std::atomic<bool> sound {false};

    QImage frameAt(const QString&, double at, const QSize& maxSize, QString* error) override
    {
        ++calls;
        askedSeconds = at;
        if (picture.isNull() || at >= seconds) {
            if (error)
                *error = QStringLiteral("no frame");
            return {};
        }
        return picture.scaled(maxSize, Qt::KeepAspectRatio);
    }
    double movieSeconds(const QString&, QString* error) override
    {
        if (seconds <= 0 && error)
            *error = QStringLiteral("not a movie");
        return seconds;
    }
    bool hasSoundTrack(const QString&) override { return sound; }
};
