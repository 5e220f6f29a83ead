// A termination signal (a hang-up of the terminal among them) runs the quit, and while the main
// thread is stuck (it never gets back to its event loop to quit) ends the process all the same,
// within the exit deadline's bound from the signal, also when stderr takes no more bytes.
#include "app/ExitDeadline.h"
#include "app/TerminationSignals.h"
#include "platform/Console.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

TEST(TerminationSignals, ASignalEndsTheProcessWithinTheDeadlineWhileTheMainThreadIsStuck)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EXIT(
            {
                ExitDeadline::armWhenQuitting(*QCoreApplication::instance(), std::chrono::milliseconds(100));
                std::signal(SIGHUP, SIG_DFL); // started plainly, not under nohup
                TerminationSignals::install(*QCoreApplication::instance());
                std::raise(signal);
                std::this_thread::sleep_for(std::chrono::seconds(20)); // stuck, far past the bound
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(0), "did not end within 100 ms")
            << signal;
    }
}

TEST(TerminationSignals, EachSignalRunsTheQuit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EXIT(
            {
                QCoreApplication& app = *QCoreApplication::instance();
                std::signal(SIGHUP, SIG_DFL); // started plainly, not under nohup
                TerminationSignals::install(app);
                QObject::connect(&app, &QCoreApplication::aboutToQuit, [] { std::_Exit(7); });
                QTimer::singleShot(0, [signal] { std::raise(signal); });
                QCoreApplication::exec();
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(7), "")
            << signal;
    }
}

// stderr a pipe nobody reads, full, and a thread stuck writing a line to it.
TEST(TerminationSignals, TheDeadlineHoldsWhileStderrTakesNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int unread[2];
            if (::pipe2(unread, O_NONBLOCK) != 0)
                std::_Exit(4);
            const char page[4096] = {};
            while (::write(unread[1], page, sizeof page) > 0) {
            }
            while (::write(unread[1], page, 1) > 0) {
            }
            ::fcntl(unread[1], F_SETFL, 0); // a write waits for a reader from now on
            ::dup2(unread[1], STDERR_FILENO);
            std::thread([] { std::fputs("a line nobody reads\n", stderr); }).detach();
            ExitDeadline::armWhenQuitting(*QCoreApplication::instance(), std::chrono::milliseconds(100));
            TerminationSignals::install(*QCoreApplication::instance());
            std::raise(SIGTERM);
            std::this_thread::sleep_for(std::chrono::seconds(20)); // stuck, far past the bound
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

// Started under nohup (hang-ups ignored from the start), the program was meant to outlive its
// terminal: a hang-up stays ignored.
TEST(TerminationSignals, AHangUpIgnoredAtStartStaysIgnored)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGHUP, SIG_IGN);
            TerminationSignals::install(*QCoreApplication::instance());
            struct sigaction hangUp { };
            sigaction(SIGHUP, nullptr, &hangUp);
            std::_Exit(hangUp.sa_handler == SIG_IGN ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

// The deadline's line reaches the real stderr also when the console owns descriptor 2, whose pipe
// nobody drains once the process ends.
TEST(TerminationSignals, TheDeadlineSaysSoOnTheRealStderrWhenTheConsoleOwnsIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Console::ownStandardStreams();
            ExitDeadline::armWhenQuitting(*QCoreApplication::instance(), std::chrono::milliseconds(100));
            TerminationSignals::install(*QCoreApplication::instance());
            std::raise(SIGTERM);
            std::this_thread::sleep_for(std::chrono::seconds(20)); // stuck, far past the bound
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "did not end within 100 ms");
}
