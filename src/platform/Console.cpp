#include "platform/Console.h"

#include <QMutex>
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

Console::Sink Console::setSink(Sink sink)
{
    QMutexLocker lock(&sinkMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}
