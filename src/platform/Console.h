#pragma once
#include <QString>
#include <QStringView>
#include <chrono>
#include <functional>

// Diagnostics as single console lines ("TypeName: message" or "Failed to ...: error").
// Tests install a sink to read what was printed.
//
// The terminal stays quiet: log() is for what the user must know (a failure, a missing tray, a
// hotkey another program holds). Routine traces go through trace() and are printed only when the
// environment variable QUORVEL_TRACE names their topic ("paste", several separated by commas, or
// "all").
namespace Console {
// Prints `line` on stderr without waiting for it: a thread of its own writes the lines in order,
// so a terminal that takes nothing (its output suspended, a pipe nobody reads) holds no caller.
void log(const QString& line);
// Waits until the lines logged so far are written, `bound` at most; false when they were not.
bool flush(std::chrono::milliseconds bound);
// Whether QUORVEL_TRACE asks for the traces of `topic`.
bool isTracing(QStringView topic);
// Prints `line` as log() does when the topic is traced; otherwise nothing.
void trace(QStringView topic, const QString& line);
using Sink = std::function<void(const QString&)>;
// Replaces the sink (stderr by default); returns the previous one. An empty sink restores stderr.
Sink setSink(Sink sink);
// Keeps the libraries' routine lines off the terminal: Qt's debug output and its multimedia
// categories (codec and hardware probing at every play), its player's notice that frames are
// converted on the CPU, and libpng's warnings about images that are read all the same. A user's
// own QT_LOGGING_RULES wins.
// Call before the application object exists.
void quietLibraries();
}
