#include "app/ExitDeadline.h"

#include "platform/Console.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {
// Written once per request; the watching thread wakes at the first byte.
int requests[2] = {-1, -1};
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
        // To the real stderr: the console's pipe is drained by nobody once the process has ended.
        if (length > 0)
            Console::sayAtTheEnd(line, std::min(size_t(length), sizeof line - 1));
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
