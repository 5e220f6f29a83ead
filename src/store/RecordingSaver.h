#pragma once
#include <QString>

class ModelContainer;
class MovieThumbnailer;

// The one way the record of a finished movie is stored: its file name, size, length, kind and a
// thumbnail of its frame at one second, in a new record on a context of its own. Runs on the calling
// thread (the worker that finished the movie).
namespace RecordingSaver {

struct Movie {
    QString path;
    QString kind; // "display", "window" or "area"
    double seconds = 0;
    bool hasAudio = false;
};

// Stores the record of `movie`; false with the reason in `error` when it could not be saved.
bool save(const Movie& movie, ModelContainer& container, MovieThumbnailer& thumbnailer, QString* error);

}
