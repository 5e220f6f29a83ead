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
}
