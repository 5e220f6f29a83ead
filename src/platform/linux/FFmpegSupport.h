#pragma once
#include <QString>

// Small helpers shared by the FFmpeg-based services.
namespace FFmpegSupport {
// FFmpeg's text for an error code.
QString describe(int errorCode);
// Sets `*error` (when given) and returns false.
bool fail(QString* error, const QString& message);
// Keeps FFmpeg's and x265's chatter off the console (errors still show, but not the failed
// hardware-decoder probes of Qt's player). Once per process.
void quietLogs();
// While one lives, what FFmpeg logs on its thread is left out (after quietLogs()): a reader hands
// the reason of a failure to its caller, who decides what the user learns (a file of a movie's
// name that is none, looked at by the recovery at every start, is no news).
class Silence {
public:
    Silence();
    ~Silence();
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;
};
}
