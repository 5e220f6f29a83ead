// The console's lines on a stderr that takes nothing (a suspended terminal, a pipe nobody reads).
#include "platform/Console.h"

#include <QByteArray>
#include <QStringList>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(Console, AStderrThatTakesNothingHoldsNoCallerAndGetsItsLinesInOrderLater)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    // Filled up, then blocking again, as a terminal's or a pipe's reader that stopped.
    ::fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
    const QByteArray filler(4096, 'x');
    while (::write(pipeEnds[1], filler.constData(), size_t(filler.size())) > 0) {
    }
    ::fcntl(pipeEnds[1], F_SETFL, 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);

    auto logged = std::async(std::launch::async, [] {
        for (int i = 0; i < 600; ++i)
            Console::log(QStringLiteral("line %1").arg(i));
    });
    const bool returned = logged.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    char buffer[65536];
    if (!returned) {
        // The callers were held: drain the pipe until they have gone on, then fail.
        while (logged.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            [[maybe_unused]] const auto n = ::read(pipeEnds[0], buffer, sizeof buffer);
        ::dup2(saved, STDERR_FILENO);
        FAIL() << "logging waited for the terminal";
    }

    // The reader goes on: what was logged arrives in order, the lines beyond the bound counted.
    QByteArray read;
    while (!read.contains("left out")) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        read.append(buffer, n);
    }
    EXPECT_TRUE(Console::flush(std::chrono::seconds(20)));
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    logged.wait();
    QStringList lines = QString::fromUtf8(read).remove(QLatin1Char('x')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines.last().contains(QStringLiteral("were left out")));
    lines.removeLast();
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], QStringLiteral("line %1").arg(i));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}
