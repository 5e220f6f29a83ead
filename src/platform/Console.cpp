#include "platform/Console.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <mutex>
#include <pthread.h>
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
// Lines for stderr, written by a thread of their own: a terminal whose output is suspended
// (Ctrl+S) or a pipe nobody reads then holds that thread alone, never the thread that logs (the
// main thread among them, whose start, hotkeys and quit must go on). Lines keep their order; what
// comes while `maxLines` wait is left out and counted. Made once, never destroyed: its thread may
// be stuck in a write for as long as the process lives.
class StderrWriter {
public:
    static constexpr size_t maxLines = 512;

    static StderrWriter& shared()
    {
        static auto* const writer = new StderrWriter;
        return *writer;
    }

    void add(QByteArray line)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_lines.size() >= maxLines) {
                ++m_leftOut;
                return;
            }
            m_lines.push_back(std::move(line));
        }
        m_changed.notify_all();
    }

    bool flush(std::chrono::milliseconds bound)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [this] { return m_lines.empty() && !m_writing; });
    }

private:
    StderrWriter()
    {
        std::thread([this] { run(); }).detach();
        // Lines logged just before the process ends still reach the terminal, unless it takes
        // nothing: then the end waits a moment at most.
        std::atexit([] { StderrWriter::shared().flush(std::chrono::milliseconds(500)); });
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
            if (m_lines.empty() && m_leftOut > 0) {
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
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t written = ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
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
    qint64 m_leftOut = 0;
    bool m_writing = false;
};

// The topics QUORVEL_TRACE names, lower-cased (read at every trace: a paste traces a few lines).
QtMessageHandler previousMessageHandler = nullptr;

// Qt's player converts video frames on the CPU when widgets draw without OpenGL, as ours do, and
// warns once per thread that it does; that is the expected path, not a fault. Qt's PNG reader
// passes on libpng's remarks about images from other programs that it reads all the same ("iCCP:
// known incorrect sRGB profile", a text chunk with a bad checksum).
void dropRoutineWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
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
