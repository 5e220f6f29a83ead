#pragma once
#include <QString>

// The recordings folder as a recording's start reaches it: made when missing, and asked which
// movie names are taken. The disk's; tests put one in its place that stops answering. A folder
// on a disk that stops answering holds its caller: called on the worker pool only.
class RecordingFolder {
public:
    virtual ~RecordingFolder() = default;
    // The disk's folder.
    static RecordingFolder& disk();

    // Makes `directory` and its parents unless they exist; false when it cannot be made.
    virtual bool make(const QString& directory);
    // Whether anything lies at `path`.
    virtual bool exists(const QString& path);
};
