#include "platform/Console.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>

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
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
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
