#pragma once
#include <chrono>

// The last word on quitting: once the program's own termination steps are done, what is left
// (destructors of the application, of Qt and of libraries' process-wide objects) gets `bound` to
// finish, after which the process ends with `status` all the same. Qt's sound output waits forever
// in its teardown when the sound server went away during playback.
namespace ExitDeadline {

void arm(int status, std::chrono::milliseconds bound);

}
