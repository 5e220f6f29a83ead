#include "app/ExitDeadline.h"

#include <QCoreApplication>
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
        std::fprintf(stderr, "Quorvel: the quit did not end within %lld ms; ending now\n",
            static_cast<long long>(bound.count()));
        std::fflush(nullptr);
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
