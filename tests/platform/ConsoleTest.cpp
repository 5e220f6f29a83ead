// The console's lines on a stderr that takes nothing (a suspended terminal, a pipe nobody reads).
#include "platform/Console.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

TEST(Console, AStderrThatTakesNothingHoldsNoCallerAndGetsItsLinesInOrderLater)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK); // filled up, then blocking as a reader that stopped
    while (::write(ends[1], "x", 1) > 0) {
    }
    ::fcntl(ends[1], F_SETFL, 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(ends[1], STDERR_FILENO);
    auto logged = std::async(std::launch::async, [] {
        for (int i = 0; i < 600; ++i)
            Console::log(QStringLiteral("line %1").arg(i));
    });
    const bool returned = logged.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    // The reader goes on: what was logged arrives in order, the lines beyond the bound counted.
    QByteArray read;
    char buffer[65536];
    while (!read.contains("left out")) {
        pollfd waiting {ends[0], POLLIN, 0};
        const ssize_t n = ::poll(&waiting, 1, 30000) > 0 ? ::read(ends[0], buffer, sizeof buffer) : 0;
        if (n <= 0)
            break; // nothing more comes
        read.append(buffer, n);
    }
    EXPECT_TRUE(returned) << "logging waited for the terminal";
    EXPECT_TRUE(Console::flush(std::chrono::seconds(20)));
    ::dup2(saved, STDERR_FILENO);
    QStringList lines = QString::fromUtf8(read).remove(QLatin1Char('x')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines.takeLast().contains(QStringLiteral("were left out")));
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], QStringLiteral("line %1").arg(i));
}

// With the console owning the streams, others' stderr writes (fprintf, qWarning) hold no thread either
// and come later in order; a reader gone ends nothing. In a child: fd 2 stays the console's pipe.
TEST(Console, OwningTheStandardStreamsLetsNoWriterWaitForTheTerminalNorEndTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int terminal[2];
            if (::pipe(terminal) != 0)
                std::_Exit(2);
            ::fcntl(terminal[1], F_SETFL, O_NONBLOCK); // filled up, then blocking as a reader that stopped
            while (::write(terminal[1], "x", 1) > 0) {
            }
            ::fcntl(terminal[1], F_SETFL, 0);
            ::dup2(terminal[1], STDERR_FILENO);
            ::close(terminal[1]);
            Console::ownStandardStreams();
            auto written = std::async(std::launch::async, [] {
                for (int i = 0; i < 200; i += 2) {
                    std::fprintf(stderr, "line %d\n", i);
                    Console::log(QStringLiteral("line %1").arg(i + 1));
                }
                qWarning("line 200");
            });
            if (written.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
                std::_Exit(3); // a writer waited for the terminal
            QByteArray read; // until the last line, or nothing more for 30 s
            char buffer[65536];
            for (pollfd waiting {terminal[0], POLLIN, 0}; !read.contains("line 200") && ::poll(&waiting, 1, 30000) > 0;) {
                const ssize_t n = ::read(terminal[0], buffer, sizeof buffer);
                if (n <= 0)
                    break;
                read.append(buffer, n);
            }
            QStringList expected;
            for (int i = 0; i <= 200; ++i)
                expected << QStringLiteral("line %1").arg(i);
            if (QString::fromUtf8(read).remove(QLatin1Char('x')).split(QLatin1Char('\n'), Qt::SkipEmptyParts) != expected)
                std::_Exit(4); // lines lost or out of order
            // The reader goes: the lines are lost, the process goes on.
            ::close(terminal[0]);
            std::fprintf(stderr, "to nobody\n");
            qWarning("to nobody");
            Console::log(QStringLiteral("to nobody"));
            Console::flush(std::chrono::seconds(20));
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// A fatal message reaches the real stderr although the process ends before the console's thread
// could pass it on from its pipe.
TEST(Console, AFatalMessageReachesTheRealStderrBeforeTheEnd)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Console::ownStandardStreams();
            Console::quietLibraries();
            qFatal("the end of it all");
        },
        "the end of it all");
}

namespace {
// Recursion that the compiler keeps (each frame is used after the next returns) until the stack
// overflows; the line comes a few frames before, too late for the console's thread to pass it on.
int overflowTheStack(const char* base, rlim_t size)
{
    volatile char frame[64 * 1024];
    frame[0] = 1;
    static bool said = false;
    if (!said && size_t(base - const_cast<const char*>(frame)) > size - 512 * 1024) {
        std::fprintf(stderr, "the deepest words\n");
        said = true;
    }
    return size == 0 ? 0 : overflowTheStack(base, size) + frame[1];
}
int overflowTheStack()
{
    rlimit limit {8 << 20, RLIM_INFINITY};
    ::getrlimit(RLIMIT_STACK, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 8 << 20);
    ::setrlimit(RLIMIT_STACK, &limit);
    const char base = 0;
    return overflowTheStack(&base, limit.rlim_cur);
}
// A stack overflow ends the process with SIGSEGV, unless AddressSanitizer reports it and exits.
bool endedByStackOverflow(int status)
{
    return (WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) || (WIFEXITED(status) && WEXITSTATUS(status) == 1);
}
}

// What was written before the process ends reaches the real stderr first, however it ends; a
// fatal signal still ends it as that signal.
TEST(Console, WhatWasWrittenBeforeAnEndReachesTheRealStderrFirst)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto ownAndSay = [] {
        Console::ownStandardStreams();
        Console::quietLibraries();
        std::fprintf(stderr, "the last words\n");
    };
    EXPECT_EXIT({ ownAndSay(); std::abort(); }, ::testing::KilledBySignal(SIGABRT), "the last words");
    EXPECT_EXIT({ ownAndSay(); qFatal("the end of it all"); }, ::testing::KilledBySignal(SIGABRT),
        "the last words\n(.*\n)?the end of it all");
    EXPECT_EXIT({ ownAndSay(); std::terminate(); }, ::testing::KilledBySignal(SIGABRT), "the last words");
    EXPECT_EXIT({ ownAndSay(); std::_Exit(overflowTheStack()); }, endedByStackOverflow, "the deepest words");
    EXPECT_EXIT({ ownAndSay(); std::quick_exit(3); }, ::testing::ExitedWithCode(3), "the last words");
    EXPECT_EXIT({ ownAndSay(); std::exit(4); }, ::testing::ExitedWithCode(4), "the last words");
}

// A program started by fork (xdg-open) gets the real stderr, not the console's pipe, and the SIGPIPE
// disposition this process got.
TEST(Console, AProgramStartedAfterwardsGetsTheRealStderrAndItsOwnSigpipe)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            QTemporaryDir dir;
            const QString real = dir.filePath(QStringLiteral("stderr"));
            const QString seen = dir.filePath(QStringLiteral("seen"));
            const int file = ::open(QFile::encodeName(real).constData(), O_WRONLY | O_CREAT, 0600);
            ::dup2(file, STDERR_FILENO);
            ::close(file);
            Console::ownStandardStreams();
            QProcess::startDetached(QStringLiteral("sh"),
                {QStringLiteral("-c"),
                    QStringLiteral("{ readlink /proc/$$/fd/2; grep SigIgn /proc/$$/status; } > \"$0.part\"; mv \"$0.part\" \"$0\""),
                    seen});
            QFile answer(seen);
            for (int i = 0; i < 2000 && !answer.exists(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!answer.open(QIODevice::ReadOnly))
                std::_Exit(2); // the program never answered
            const QList<QByteArray> lines = answer.readAll().split('\n');
            if (lines.value(0) != QFile::encodeName(real))
                std::_Exit(3);
            const qulonglong ignored = lines.value(1).mid(lines.value(1).indexOf('\t') + 1).toULongLong(nullptr, 16);
            std::_Exit(ignored & (1ULL << (SIGPIPE - 1)) ? 4 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}
