// The console's lines on a stderr that takes nothing (a suspended terminal, a pipe nobody reads).
#include "platform/Console.h"

#include <QStringList>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
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
