#include "app/ExitDeadline.h"

#include <QCoreApplication>
#include <cstdio>
#include <thread>
#include <unistd.h>

void ExitDeadline::arm(int status, std::chrono::milliseconds bound)
{
    std::thread([status, bound] {
        std::this_thread::sleep_for(bound);
        std::fprintf(stderr, "Quorvel: the teardown did not end within %lld ms; ending now\n",
            static_cast<long long>(bound.count()));
        std::fflush(nullptr);
        ::_exit(status);
    }).detach();
}

void ExitDeadline::armWhenQuitting(QCoreApplication& app, std::chrono::milliseconds bound)
{
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [bound] { arm(0, bound); });
}
