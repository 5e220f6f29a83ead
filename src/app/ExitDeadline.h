#pragma once
#include <chrono>

class QCoreApplication;

// The last word on quitting: once the program is asked to quit, what the quit runs (the program's
// own termination steps, destructors of the application, of Qt and of libraries' process-wide
// objects) gets `bound` to finish, after which the process ends with status 0 all the same. Qt's
// sound output waits forever in its teardown when the sound server went away during playback, and
// a main thread stuck in a wait never gets to the quit at all.
namespace ExitDeadline {

// Readies the deadline: it runs from the first request to quit, either `app` beginning to quit (its
// aboutToQuit, in which this is the first step when called before any other is connected) or
// request(). The deadline is watched by a thread of its own, so it holds while the main thread is
// stuck, and ends the process whatever stderr does (a suspended terminal, a pipe nobody reads).
// Called once, before any request.
void armWhenQuitting(QCoreApplication& app, std::chrono::milliseconds bound);

// A request to quit arrived (a termination signal): the deadline runs from now. Safe to call from
// a signal handler (it only writes to a pipe); does nothing before armWhenQuitting().
void request();

}
