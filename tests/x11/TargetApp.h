#pragma once
// The target program of the end-to-end tests (tests/x11/programs/paste_target_app.cpp): a window
// of another process with one text field, which also reports what is dropped on it.
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include "X11TestSupport.h"

namespace x11test {

inline QString targetProgram()
{
    const QString configured = qEnvironmentVariable("QUORVEL_PASTE_TARGET_APP");
    return configured.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/paste_target_app") : configured;
}

// The target program: a window of another process with one text field.
class TargetApp {
public:
    ~TargetApp() { stop(); }

    bool start(const QString& title)
    {
        process_.setProgram(targetProgram());
        process_.setArguments({title});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(5000))
            return false;
        return waitUntil([this] { return lines().contains(QStringLiteral("ready")); }, 10000);
    }
    qint64 pid() const { return process_.processId(); }
    QStringList lines()
    {
        output_ += process_.readAllStandardOutput();
        return QString::fromUtf8(output_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The field's text as last reported.
    QString text()
    {
        QString last;
        for (const QString& line : lines())
            if (line.startsWith(QStringLiteral("text:")))
                last = line.mid(5);
        return last;
    }
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.write("quit\n");
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

private:
    QProcess process_;
    QByteArray output_;
};

}
