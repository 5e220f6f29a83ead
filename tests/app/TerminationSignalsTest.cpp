// A termination signal while the main thread is stuck (it never gets back to its event loop to
// quit) ends the process all the same, within the exit deadline's bound from the signal.
#include "app/ExitDeadline.h"
#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

TEST(TerminationSignals, ASignalEndsTheProcessWithinTheDeadlineWhileTheMainThreadIsStuck)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const int signal : {SIGTERM, SIGINT}) {
        EXPECT_EXIT(
            {
                ExitDeadline::armWhenQuitting(*QCoreApplication::instance(), std::chrono::milliseconds(100));
                TerminationSignals::install(*QCoreApplication::instance());
                std::raise(signal);
                std::this_thread::sleep_for(std::chrono::seconds(20)); // stuck, far past the bound
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(0), "did not end within 100 ms")
            << signal;
    }
}
