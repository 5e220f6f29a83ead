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
// Takes charge of the process's standard streams; called first thing in main(), before anything
// opens a file or a connection:
// - descriptors 0-2 that are closed (a launcher may start the program so) are opened onto
//   /dev/null, so that no lock file, socket or X11 connection becomes one and console lines never
//   land in it;
// - a write to a reader that went away fails (EPIPE) instead of ending the process with SIGPIPE,
//   unless SIGPIPE was already ignored at start; child processes get SIGPIPE as the process got it;
// - descriptor 2 becomes a pipe that a thread of the console drains into the same bounded queue as
//   log()'s lines, in the order written; the queue's thread writes them to the real stderr. So
//   what Qt or a library prints (a qWarning, libvdpau's line at every play) holds no thread when
//   the terminal takes nothing either, and lines beyond the queue's bound are counted. Child
//   processes started by fork (QProcess::startDetached, xdg-open) get the real stderr as their
//   descriptor 2, so that they never depend on this process draining their output;
// - what was written before the process ends reaches the real stderr before the end, also when
//   it ends abnormally: at a fatal Qt message, a fatal signal (SIGABRT, SIGSEGV, SIGBUS, SIGFPE,
//   SIGILL; the process then ends as the signal would have ended it), std::terminate, exit and
//   quick_exit; an AddressSanitizer report goes to the real stderr, after what waited.
void ownStandardStreams();
// Writes `line` (a whole line, newline included) to the real stderr after what waits to be
// written, within half a second at most: for a thread that ends the process right after. Past
// the queue's lock, which a stuck thread may hold, and stdio, whose lock it may hold too. Safe to
// call from a signal handler.
void sayAtTheEnd(const char* line, size_t length);
// Prints `line` on stderr without waiting for it: a thread of its own writes the lines in order,
// so a terminal that takes nothing (its output suspended, a pipe nobody reads) holds no caller.
void log(const QString& line);
// Waits until the lines logged so far (and what was written to stderr before, once the console
// owns it) are written, `bound` at most; false when they were not.
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
