#include "platform/Console.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
QMutex& sinkMutex()
{
    static QMutex mutex;
    return mutex;
}
Console::Sink& currentSink()
{
    static Console::Sink sink;
    return sink;
}
// The real stderr: 2 until the console owns the standard streams, then a private copy of what
// descriptor 2 was (descriptor 2 is the console's pipe from then on).
std::atomic<int> terminal {STDERR_FILENO};

// Lines for stderr, written by a thread of their own: a terminal whose output is suspended
// (Ctrl+S) or a pipe nobody reads then holds that thread alone, never the thread that logs (the
// main thread among them, whose start, hotkeys and quit must go on). Once the console owns the
// standard streams, what others write to descriptor 2 comes through a pipe that a second thread
// drains into the same queue, so it holds nobody either. Lines keep their order; what comes while
// `maxLines` (or `maxBytes`) wait is left out and counted. Made once, never destroyed: its threads
// may be stuck in a write for as long as the process lives.
class StderrWriter {
public:
    static constexpr size_t maxLines = 512;
    // Output from others need not come in lines: what waits is bounded in bytes as well.
    static constexpr qsizetype maxBytes = 1 << 20;

    static StderrWriter& shared()
    {
        static auto* const writer = new StderrWriter;
        return *writer;
    }

    void add(QByteArray line)
    {
        {
            std::lock_guard lock(m_mutex);
            // What others wrote before this line comes before it.
            takeFromPipe();
            enqueue(std::move(line));
        }
        m_changed.notify_all();
    }

    bool flush(std::chrono::milliseconds bound)
    {
        std::unique_lock lock(m_mutex);
        takeFromPipe();
        m_changed.notify_all();
        return m_changed.wait_for(lock, bound, [this] { return m_lines.empty() && !m_writing; });
    }

    // Reads what is written to `pipe` (the read end of descriptor 2's pipe, non-blocking) on a
    // thread of its own from now on.
    void drain(int pipe)
    {
        {
            std::lock_guard lock(m_mutex);
            m_pipe = pipe;
        }
        std::thread([this, pipe] { drainLoop(pipe); }).detach();
    }

private:
    StderrWriter()
        : m_readBuffer(64 * 1024, Qt::Uninitialized)
    {
        std::thread([this] { run(); }).detach();
        // Lines logged just before the process ends still reach the terminal, unless it takes
        // nothing: then the end waits a moment at most.
        std::atexit([] { StderrWriter::shared().flush(std::chrono::milliseconds(500)); });
    }

    // m_mutex held.
    void enqueue(QByteArray piece)
    {
        if (m_lines.size() >= maxLines || m_bytes + piece.size() > maxBytes) {
            ++m_leftOut;
            return;
        }
        m_bytes += piece.size();
        m_lines.push_back(std::move(piece));
    }

    // Moves what the pipe holds into the queue, line by line (an unfinished line as it is, so
    // that nothing waits in between), without waiting. m_mutex held: the reads of all threads
    // keep the pipe's order.
    void takeFromPipe()
    {
        while (m_pipe >= 0) {
            const ssize_t got = ::read(m_pipe, m_readBuffer.data(), size_t(m_readBuffer.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0)
                m_pipe = -1; // nobody holds its write end any more: the draining thread ends
            if (got <= 0)
                return;
            const QByteArrayView bytes(m_readBuffer.constData(), got);
            for (qsizetype from = 0; from < bytes.size();) {
                const qsizetype end = bytes.indexOf('\n', from);
                const qsizetype next = end < 0 ? bytes.size() : end + 1;
                enqueue(bytes.sliced(from, next - from).toByteArray());
                from = next;
            }
        }
    }

    void drainLoop(int pipe)
    {
        while (true) {
            pollfd waiting {pipe, POLLIN, 0};
            if (::poll(&waiting, 1, -1) < 0 && errno != EINTR)
                return;
            {
                std::lock_guard lock(m_mutex);
                takeFromPipe();
                if (m_pipe < 0)
                    return;
            }
            m_changed.notify_all();
        }
    }

    void run()
    {
        // A reader that went away (a pipe to `tee` whose terminal closed) fails the write here
        // instead of ending the process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        std::unique_lock lock(m_mutex);
        while (true) {
            m_changed.wait(lock, [this] { return !m_lines.empty(); });
            QByteArray line = std::move(m_lines.front());
            m_lines.pop_front();
            m_bytes -= line.size();
            if (m_lines.empty() && m_leftOut > 0) {
                if (!line.endsWith('\n'))
                    line += '\n';
                line += QByteArrayLiteral("Quorvel: ") + QByteArray::number(m_leftOut)
                    + QByteArrayLiteral(" lines were left out while the terminal took nothing\n");
                m_leftOut = 0;
            }
            m_writing = true;
            lock.unlock();
            writeAll(line);
            lock.lock();
            m_writing = false;
            m_changed.notify_all();
        }
    }

    static void writeAll(const QByteArray& bytes)
    {
        const int fd = terminal.load();
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return; // closed or gone: the line is lost with the terminal
            done += written;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_lines;
    qsizetype m_bytes = 0;
    qint64 m_leftOut = 0;
    bool m_writing = false;
    int m_pipe = -1;
    QByteArray m_readBuffer;
};

// Does nothing: a write to a reader that went away then fails with EPIPE. A handler rather than
// SIG_IGN, because a handled signal is reset to its default in a program this one executes, and
// an ignored one would stay ignored there.
void onPipeSignal(int) { }

// In the child of a fork: descriptor 2 is the real stderr again. A program started so may outlive
// this one, whose pipe would then fail its writes (or end it with SIGPIPE).
void giveChildTheTerminal()
{
    const int saved = errno;
    ::dup2(terminal.load(), STDERR_FILENO);
    errno = saved;
}

// The topics QUORVEL_TRACE names, lower-cased (read at every trace: a paste traces a few lines).
QtMessageHandler previousMessageHandler = nullptr;

// Qt's player converts video frames on the CPU when widgets draw without OpenGL, as ours do, and
// warns once per thread that it does; that is the expected path, not a fault. Qt's PNG reader
// passes on libpng's remarks about images from other programs that it reads all the same ("iCCP:
// known incorrect sRGB profile", a text chunk with a bad checksum).
//
// A fatal message ends the process right after it is written: it goes to the real stderr at once
// as well, since the thread that drains descriptor 2 may not reach it before the end.
void dropRoutineWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg && terminal.load() != STDERR_FILENO) {
        const QByteArray line = message.toLocal8Bit() + '\n';
        Console::sayAtTheEnd(line.constData(), size_t(line.size()));
    }
    if (type == QtWarningMsg && message.contains(QLatin1String("No RHI backend. Using CPU conversion.")))
        return;
    if (message.startsWith(QLatin1String("libpng warning: ")))
        return;
    previousMessageHandler(type, context, message);
}

QStringList tracedTopics()
{
    QStringList names;
    for (const QString& name : qEnvironmentVariable("QUORVEL_TRACE").split(QLatin1Char(','), Qt::SkipEmptyParts))
        names.append(name.trimmed().toLower());
    return names;
}
}

void Console::ownStandardStreams()
{
    static bool owned = false;
    if (owned)
        return;
    owned = true;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free descriptor: `fd` itself, the ones below it being open now.
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }

    struct sigaction current { };
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        struct sigaction action { };
        action.sa_handler = onPipeSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGPIPE, &action, nullptr);
    }

    // The pipe's write end blocks (a writer waits while the draining thread catches up, never for
    // the terminal); its read end and the copy of the real stderr stay out of child processes.
    const int real = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    int ends[2];
    if (real < 0)
        return;
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ::close(real);
        return;
    }
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    StderrWriter& writer = StderrWriter::shared();
    terminal = real;
    ::pthread_atfork(nullptr, nullptr, &giveChildTheTerminal);
    ::dup2(ends[1], STDERR_FILENO);
    ::close(ends[1]);
    writer.drain(ends[0]);
}

void Console::sayAtTheEnd(const char* line, size_t length)
{
    // Without stdio, whose lock a stuck thread may hold, and without a change of the descriptor's
    // flags, which it shares with the other threads and with the processes that inherited it.
    const int fd = terminal.load();
    struct stat status { };
    if (::fstat(fd, &status) != 0)
        return;
    if (S_ISREG(status.st_mode)) {
        [[maybe_unused]] const auto written = ::write(fd, line, length);
        return;
    }
    if (S_ISSOCK(status.st_mode)) {
        [[maybe_unused]] const auto sent = ::send(fd, line, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        return;
    }
    // A pipe or a terminal: opened anew without blocking (an open file description of its own).
    char path[32];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int own = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own < 0)
        return;
    [[maybe_unused]] const auto written = ::write(own, line, length);
    ::close(own);
}

void Console::log(const QString& line)
{
    Sink sink;
    {
        QMutexLocker lock(&sinkMutex());
        sink = currentSink();
    }
    if (sink) {
        sink(line);
        return;
    }
    StderrWriter::shared().add(line.toUtf8() + '\n');
}

bool Console::flush(std::chrono::milliseconds bound)
{
    return StderrWriter::shared().flush(bound);
}

bool Console::isTracing(QStringView topic)
{
    const QStringList topics = tracedTopics();
    return topics.contains(QStringLiteral("all")) || topics.contains(topic.toString().toLower());
}

void Console::trace(QStringView topic, const QString& line)
{
    if (isTracing(topic))
        log(line);
}

Console::Sink Console::setSink(Sink sink)
{
    QMutexLocker lock(&sinkMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void Console::quietLibraries()
{
    if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        return;
    // Qt's multimedia backend probes codecs and hardware decoders with plain debug lines at every
    // play; its categories report what the players already show.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nqt.multimedia.*=false\n"));
    if (!previousMessageHandler)
        previousMessageHandler = qInstallMessageHandler(&dropRoutineWarnings);
}
