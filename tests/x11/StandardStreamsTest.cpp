// The real quorvel binary started as launchers and shells start it: with stdout and stderr closed,
// with a stderr that takes nothing or whose reader went away, under nohup. It keeps its lock file,
// keeps answering (a copy reaches the store, which takes the main thread) and quits normally.
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

class StartedQuorvel {
public:
    // `inChild` sets up descriptors and signals before the binary starts; `loggingRules` has Qt print.
    StartedQuorvel(std::function<void()> inChild, const QString& loggingRules = {}, bool onTheDisplay = true)
    {
        QProcessEnvironment env = freshHomeEnvironment(m_home.path());
        if (!onTheDisplay)
            env.remove("DISPLAY");
        env.remove("DBUS_SESSION_BUS_ADDRESS"); // no tray host, no Secret Service
        env.remove("QUORVEL_TRACE");
        env.remove("QT_LOGGING_RULES");
        if (!loggingRules.isEmpty())
            env.insert("QT_LOGGING_RULES", loggingRules);
        process.setProcessEnvironment(env);
        process.setChildProcessModifier(std::move(inChild));
        process.start(qEnvironmentVariable("QUORVEL_BINARY"), {});
        process.waitForStarted(5000);
    }
    ~StartedQuorvel()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    // Monitoring runs once the autostart entry is written, late in the start.
    bool started()
    {
        return waitUntil([&] { return QFile::exists(m_home.path() + "/.config/autostart/quorvel.desktop"); }, 20000);
    }
    // Another program copies `text`; the copy reaches the store as entry number `count`.
    bool storesACopy(const QByteArray& text, int count)
    {
        XclipOwner owner(text);
        const QString store = m_home.path() + "/.local/share/Quorvel/Quorvel.store";
        return waitUntil([&] { return clipItemCount(store) == count; }, 20000);
    }
    // Ends it with `signal` and tells whether it quit normally, with status 0.
    bool quits(int signal = SIGTERM)
    {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }
    QByteArray lockFile() const { return readFile(m_home.path() + "/.local/share/Quorvel/Quorvel.lock"); }

    QProcess process;

private:
    QTemporaryDir m_home;
};

// A pipe whose write end (the child's stderr) takes nothing more: full, and nobody reads.
struct FullPipe {
    int ends[2] = {-1, -1};
    FullPipe()
    {
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        while (::write(ends[1], "", 1) > 0) {
        }
        ::fcntl(ends[1], F_SETFL, 0); // the child's writes wait for a reader
        ::fcntl(ends[0], F_SETFL, 0);
    }
    ~FullPipe()
    {
        for (int end : ends)
            if (end >= 0)
                ::close(end);
    }
    void close(int end) { ::close(std::exchange(ends[end], -1)); }
};

}

// `quorvel 2>&-` and `quorvel >&- 2>&-`: the lock file and the X11 connection would otherwise
// become descriptor 2, and the console's lines would go into them.
TEST(StandardStreams, ClosedStdoutAndStderrTakeNeitherTheLockFileNorTheDisplay)
{
    ASSERT_FALSE(qEnvironmentVariable("QUORVEL_BINARY").isEmpty());
    for (const bool stdoutToo : {false, true}) {
        SCOPED_TRACE(stdoutToo ? ">&- 2>&-" : "2>&-");
        StartedQuorvel quorvel([stdoutToo] {
            if (stdoutToo)
                ::close(STDOUT_FILENO);
            ::close(STDERR_FILENO);
        });
        ASSERT_TRUE(quorvel.started()) << "the start did not get as far as monitoring";
        EXPECT_TRUE(quorvel.storesACopy("closed streams", 1)) << "the main thread does not answer";
        const QByteArray pid = QByteArray::number(quorvel.process.processId()) + '\n';
        EXPECT_TRUE(quorvel.quits());
        // Read after the quit: every line it printed has been written by then.
        EXPECT_EQ(quorvel.lockFile().toStdString(), pid.toStdString());
    }
}

// A stderr that takes nothing (a full pipe) while Qt prints on the main thread holds nothing, and its
// lines come later in order; one whose reader went away (`| tee` ended) ends nothing.
TEST(StandardStreams, AStderrThatTakesNothingHoldsNoThreadAndGetsItsLinesLater)
{
    for (const bool readerGone : {false, true}) {
        SCOPED_TRACE(readerGone ? "the reader went away" : "nobody reads");
        FullPipe stderrPipe;
        ASSERT_GE(stderrPipe.ends[0], 0);
        const int writeEnd = stderrPipe.ends[1];
        StartedQuorvel quorvel([writeEnd] { ::dup2(writeEnd, STDERR_FILENO); }, QStringLiteral("*.debug=true"));
        stderrPipe.close(1);
        if (readerGone)
            stderrPipe.close(0);
        ASSERT_TRUE(quorvel.started()) << "the start was held or ended by its stderr: status "
                                       << quorvel.process.exitCode();
        EXPECT_TRUE(quorvel.storesACopy("nobody reads", 1)) << "the main thread was held by its stderr";
        if (!readerGone) {
            // Qt tells that no tray host answers, then the program says what that means.
            const QByteArray qtLine = "qt.qpa.tray: D-Bus tray available: false";
            const QByteArray ownLine = "QuorvelApp: no system tray is available";
            QByteArray read;
            const auto readOn = [&] {
                char buffer[65536];
                pollfd waiting {stderrPipe.ends[0], POLLIN, 0};
                const ssize_t n = ::poll(&waiting, 1, 0) > 0 ? ::read(stderrPipe.ends[0], buffer, sizeof buffer) : 0;
                read.append(buffer, std::max<ssize_t>(n, 0));
                return read.contains(ownLine);
            };
            EXPECT_TRUE(waitUntil(readOn, 30000)) << "read after the filler: " << read.size() << " bytes";
            EXPECT_GE(read.indexOf(qtLine), 0);
            EXPECT_LT(read.indexOf(qtLine), read.indexOf(ownLine));
        }
        EXPECT_TRUE(quorvel.quits());
    }
}

// Under nohup a hang-up changes nothing; started plainly, a hang-up is a quit.
TEST(StandardStreams, AHangUpIsAQuitUnlessItWasIgnoredAtStart)
{
    {
        StartedQuorvel underNohup([] { ::signal(SIGHUP, SIG_IGN); });
        ASSERT_TRUE(underNohup.started());
        ::kill(static_cast<pid_t>(underNohup.process.processId()), SIGHUP);
        EXPECT_TRUE(underNohup.storesACopy("after the hang-up", 1));
        EXPECT_EQ(underNohup.process.state(), QProcess::Running);
        EXPECT_TRUE(underNohup.quits());
    }
    StartedQuorvel plainly([] { ::signal(SIGHUP, SIG_DFL); });
    ASSERT_TRUE(plainly.started());
    EXPECT_TRUE(plainly.quits(SIGHUP));
}

// Started where no display answers, Qt's line that says why comes before its fatal line, every time.
TEST(StandardStreams, WithoutADisplayQtsReasonComesBeforeItsFatalLine)
{
    for (int start = 0; start < 8; ++start) {
        SCOPED_TRACE(start);
        StartedQuorvel quorvel([] { }, {}, false);
        ASSERT_TRUE(quorvel.process.waitForFinished(20000));
        EXPECT_EQ(quorvel.process.exitStatus(), QProcess::CrashExit);
        const QByteArray said = quorvel.process.readAllStandardError();
        const qsizetype reason = said.indexOf("qt.qpa.xcb: could not connect to display");
        EXPECT_GE(reason, 0) << said.constData();
        EXPECT_LT(reason, said.indexOf("no Qt platform plugin could be initialized")) << said.constData();
    }
}
