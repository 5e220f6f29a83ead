#pragma once
#include <chrono>

class QCoreApplication;

// The last word on quitting: once the program's own termination steps are done, what is left
// (destructors of the application, of Qt and of libraries' process-wide objects) gets `bound` to
// finish, after which the process ends with `status` all the same. Qt's sound output waits forever
// in its teardown when the sound server went away during playback.
namespace ExitDeadline {

void arm(int status, std::chrono::milliseconds bound);

// Arms the deadline (status 0) when `app` begins to quit (its aboutToQuit, in which this is the
// first step when called before any other is connected), so that the whole quit, the program's
// own termination steps included, ends within `bound`.
void armWhenQuitting(QCoreApplication& app, std::chrono::milliseconds bound);

}
