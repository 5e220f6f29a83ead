#pragma once

// The end of the process when the X server goes away (logout, a restart of the display server).
//
// Every connection fails at once then: Xlib calls its I/O error handler on whichever thread used
// its connection (the clipboard worker, the main thread), and Qt's xcb plugin calls exit(1) on
// the main thread. exit() runs the static destructors while the other threads still work, and
// several threads exiting at once free the same objects twice. install() turns each of these
// paths into one end: the first thread that sees the loss prints one line and ends the process
// with _exit(1); a thread that sees it meanwhile waits for that end. Nothing is torn down, so no
// connection is closed twice. The store needs no closing for this: SQLite's write-ahead log keeps
// it whole whenever the process ends, and an unfinished transaction is simply not applied.
namespace X11ConnectionLoss {

// Installs the Xlib I/O error handler and watches Qt's messages for its report of a broken
// connection. Call once, after the QGuiApplication exists (Qt installs its own handler then).
void install();

// Ends the process as described above. Any thread.
[[noreturn]] void endProcess();

}
