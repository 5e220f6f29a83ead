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
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_ADDRESS_SANITIZER 1
#endif
#if defined(QUORVEL_ADDRESS_SANITIZER)
#include <sanitizer/common_interface_defs.h>
#endif

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

// A moment on the monotonic clock, with what a signal handler may call.
struct EndDeadline {
    explicit EndDeadline(int milliseconds)
    {
        ::clock_gettime(CLOCK_MONOTONIC, &at);
        at.tv_sec += milliseconds / 1000;
        at.tv_nsec += long(milliseconds % 1000) * 1000000L;
        if (at.tv_nsec >= 1000000000L) {
            ++at.tv_sec;
            at.tv_nsec -= 1000000000L;
        }
    }
    int millisecondsLeft() const
    {
        timespec now { };
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long long left = (at.tv_sec - now.tv_sec) * 1000LL + (at.tv_nsec - now.tv_nsec) / 1000000L;
        return left > 0 ? int(left) : 0;
    }
    // Waits a millisecond; false once the deadline has passed.
    bool nap() const
    {
        if (millisecondsLeft() == 0)
            return false;
        ::poll(nullptr, 0, 1);
        return true;
    }
    timespec at { };
};

// Writes to the real stderr for a thread that ends the process: without stdio, whose lock a stuck
// thread may hold, without a change of the descriptor's flags, which it shares with the other
// threads and with the processes that inherited it, and waiting for a terminal or pipe that takes
// nothing until a deadline at most. Only calls that a signal handler may make.
class EndOutput {
public:
    EndOutput()
        : m_fd(terminal.load())
    {
        struct stat status { };
        if (::fstat(m_fd, &status) != 0) {
            m_fd = -1;
        } else if (S_ISSOCK(status.st_mode)) {
            m_socket = true;
        } else if (!S_ISREG(status.st_mode)) {
            // A pipe or a terminal: opened anew without blocking (an open file description of its own).
            char path[32] = "/proc/self/fd/";
            char digits[12];
            int count = 0;
            for (unsigned n = unsigned(m_fd); count == 0 || n > 0; n /= 10)
                digits[count++] = char('0' + n % 10);
            size_t at = sizeof "/proc/self/fd/" - 1;
            while (count > 0)
                path[at++] = digits[--count];
            path[at] = '\0';
            m_fd = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            m_own = m_fd >= 0;
        }
    }
    ~EndOutput()
    {
        if (m_own)
            ::close(m_fd);
    }
    EndOutput(const EndOutput&) = delete;
    EndOutput& operator=(const EndOutput&) = delete;

    void write(const char* bytes, size_t length, const EndDeadline& deadline)
    {
        while (m_fd >= 0 && length > 0) {
            const ssize_t written = m_socket ? ::send(m_fd, bytes, length, MSG_DONTWAIT | MSG_NOSIGNAL)
                                             : ::write(m_fd, bytes, length);
            if (written > 0) {
                bytes += written;
                length -= size_t(written);
                continue;
            }
            if (written < 0 && errno == EINTR)
                continue;
            pollfd room {m_fd, POLLOUT, 0};
            if (written == 0 || errno != EAGAIN || ::poll(&room, 1, deadline.millisecondsLeft()) <= 0)
                return; // closed, gone, or taking nothing until the deadline: the rest is lost
        }
    }

private:
    int m_fd = -1;
    bool m_socket = false;
    bool m_own = false;
};

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
        m_pipeAtTheEnd = pipe;
        std::thread([this, pipe] { drainLoop(pipe); }).detach();
    }

    // For a thread that ends the process (a fatal signal's handler among them): lets the queue's
    // thread write the lines it holds, then copies what waits in the pipe to the real stderr
    // itself, in the order written, by `deadline` at most. Only calls that a signal handler may
    // make, and no lock: the thread that holds the queue's lock may be the one that ends, or
    // stopped by it. Meanwhile the draining thread leaves the pipe alone; it takes from it again
    // afterwards, for an end that goes on (the exit's handlers and destructors).
    void passOnAtTheEnd(const EndDeadline& deadline)
    {
        // One thread at a time; a second one that ends the process waits for the first.
        static std::atomic<bool> passing {false};
        while (passing.exchange(true)) {
            if (!deadline.nap())
                return;
        }
        m_ending = true;
        // Sequentially consistent: either a thread about to take from the pipe sees m_ending, or
        // this one sees it taking and waits until its piece is in the queue.
        while (m_taking.load() && deadline.nap()) {
        }
        while (m_unwritten.load() > 0 && deadline.nap()) {
        }
        const int pipe = m_pipeAtTheEnd.load();
        if (pipe >= 0) {
            EndOutput output;
            static char buffer[16 * 1024];
            while (true) {
                const ssize_t got = ::read(pipe, buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    break;
                output.write(buffer, size_t(got), deadline);
                if (deadline.millisecondsLeft() == 0)
                    break; // others keep writing: the end does not wait for them
            }
        }
        m_ending = false;
        passing = false;
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
        ++m_unwritten;
    }

    // Moves what the pipe holds into the queue, line by line (an unfinished line as it is, so
    // that nothing waits in between), without waiting. m_mutex held: the reads of all threads
    // keep the pipe's order. Not while a thread that ends the process copies the pipe itself.
    void takeFromPipe()
    {
        m_taking = true;
        if (!m_ending)
            readPipe();
        m_taking = false;
    }

    void readPipe()
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
            if (m_ending)
                ::poll(nullptr, 0, 10); // the ending thread reads the pipe meanwhile
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
            --m_unwritten;
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
    // What an ending thread reads without the lock: the pipe's read end, whether it copies the pipe
    // now, whether another thread is taking from it, how many lines the queue's thread has yet to
    // write (the one it writes included).
    std::atomic<int> m_pipeAtTheEnd {-1};
    std::atomic<bool> m_ending {false};
    std::atomic<bool> m_taking {false};
    std::atomic<int> m_unwritten {0};
};

// The writer whose pipe is descriptor 2, once the console owns the standard streams.
std::atomic<StderrWriter*> owner {nullptr};

// What others wrote before the end reaches the real stderr before it: at a fatal message, a fatal
// signal, std::terminate, quick_exit and the lines of sayAtTheEnd().
void passOnWhatWaits()
{
    if (StderrWriter* writer = owner.load())
        writer->passOnAtTheEnd(EndDeadline(500));
}

// Copies what waits, then ends the process as the signal would have without this handler (core
// dump and status unchanged): the default action, raised again, comes once the handler returns.
void onFatalSignal(int signal)
{
    const int saved = errno;
    passOnWhatWaits();
    struct sigaction fallback { };
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
    errno = saved;
}

std::terminate_handler previousTerminateHandler = nullptr;

void onTerminate()
{
    passOnWhatWaits();
    if (previousTerminateHandler)
        previousTerminateHandler(); // the runtime's: names the exception, then aborts
    std::abort();
}

// A process that ends abnormally says what was written before: fatal signals copy what waits,
// on a stack of their own for the main thread (an overflow of its stack ends in SIGSEGV), as do
// std::terminate and quick_exit; an AddressSanitizer report goes to the real stderr directly,
// after what waited. Signals that have a handler already (a sanitizer's) keep it.
void passOnAtAbnormalEnds(int real)
{
    stack_t current { };
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        static char alternateStack[64 * 1024];
        stack_t own { };
        own.ss_sp = alternateStack;
        own.ss_size = sizeof alternateStack;
        ::sigaltstack(&own, nullptr);
    }
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        struct sigaction disposition { };
        if (::sigaction(signal, nullptr, &disposition) != 0 || disposition.sa_handler != SIG_DFL)
            continue;
        struct sigaction action { };
        action.sa_handler = onFatalSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_ONSTACK;
        ::sigaction(signal, &action, nullptr);
    }
    previousTerminateHandler = std::set_terminate(&onTerminate);
    std::at_quick_exit(&passOnWhatWaits);
#if defined(QUORVEL_ADDRESS_SANITIZER)
    // Unless the user sends its reports elsewhere.
    const char* options = std::getenv("ASAN_OPTIONS");
    if (!options || (!std::strstr(options, "log_path") && !std::strstr(options, "log_to_syslog")))
        __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(real)));
#else
    (void)real;
#endif
}

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
    owner = nullptr; // the pipe is this process's: a crash before the program starts leaves it alone
    errno = saved;
}

// The topics QUORVEL_TRACE names, lower-cased (read at every trace: a paste traces a few lines).
QtMessageHandler previousMessageHandler = nullptr;

// Qt's player converts video frames on the CPU when widgets draw without OpenGL, as ours do, and
// warns once per thread that it does; that is the expected path, not a fault. Qt's PNG reader
// passes on libpng's remarks about images from other programs that it reads all the same ("iCCP:
// known incorrect sRGB profile", a text chunk with a bad checksum).
//
// A fatal message ends the process right after it is written: it and what was written before it
// (Qt's reason, such as a display it could not connect to) reach the real stderr before the end.
void dropRoutineWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("No RHI backend. Using CPU conversion.")))
        return;
    if (message.startsWith(QLatin1String("libpng warning: ")))
        return;
    previousMessageHandler(type, context, message);
    if (type == QtFatalMsg)
        passOnWhatWaits();
}

QStringList tracedTopics()
{
    QStringList names;
    for (const QString& name : qEnvironmentVariable("QUORVEL_TRACE").split(QLatin1Char(','), Qt::SkipEmptyParts))
        names.append(name.trimmed().toLower());
    return names;
}
}

#if defined(QUORVEL_ADDRESS_SANITIZER)
// AddressSanitizer calls this as a report begins: what waited comes before the report.
extern "C" void __asan_on_error()
{
    passOnWhatWaits();
}
#endif

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
    owner = &writer;
    passOnAtAbnormalEnds(real);
}

void Console::sayAtTheEnd(const char* line, size_t length)
{
    const EndDeadline deadline(500);
    if (StderrWriter* writer = owner.load())
        writer->passOnAtTheEnd(deadline);
    EndOutput().write(line, length, deadline);
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
