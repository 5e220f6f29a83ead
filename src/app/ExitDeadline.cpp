#include "app/ExitDeadline.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
// Written once per request; the watching thread wakes at the first byte.
int requests[2] = {-1, -1};

// Writes `line` to stderr only when that cannot block: a terminal whose output is suspended
// (Ctrl+S) or a pipe nobody reads would otherwise hold the very thread that must end the process.
// Neither stdio (its lock may be held by a thread stuck in a write) nor a change of the flags of
// the descriptor shared with the other threads and with the processes that inherited it.
void sayWithoutWaiting(const char* line, size_t length)
{
    struct stat status { };
    if (::fstat(STDERR_FILENO, &status) != 0)
        return;
    if (S_ISREG(status.st_mode)) {
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line, length);
        return;
    }
    if (S_ISSOCK(status.st_mode)) {
        [[maybe_unused]] const auto sent = ::send(STDERR_FILENO, line, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        return;
    }
    // A pipe or a terminal: opened anew without blocking (an open file description of its own).
    const int own = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own < 0)
        return;
    [[maybe_unused]] const auto written = ::write(own, line, length);
    ::close(own);
}
}

void ExitDeadline::armWhenQuitting(QCoreApplication& app, std::chrono::milliseconds bound)
{
    if (requests[1] >= 0 || ::pipe2(requests, O_CLOEXEC) != 0)
        return;
    // A request never blocks, however many came before.
    ::fcntl(requests[1], F_SETFL, ::fcntl(requests[1], F_GETFL) | O_NONBLOCK);
    std::thread([bound] {
        char byte;
        while (::read(requests[0], &byte, 1) < 0 && errno == EINTR) {
        }
        std::this_thread::sleep_for(bound);
        char line[96];
        const int length = std::snprintf(line, sizeof line,
            "Quorvel: the quit did not end within %lld ms; ending now\n", static_cast<long long>(bound.count()));
        if (length > 0)
            sayWithoutWaiting(line, std::min(size_t(length), sizeof line - 1));
        // No flush of stdio's buffers: a stream whose reader stopped would hold the end too.
        ::_exit(0);
    }).detach();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [] { request(); });
}

void ExitDeadline::request()
{
    const int saved = errno;
    if (requests[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(requests[1], &byte, 1);
    }
    errno = saved;
}
