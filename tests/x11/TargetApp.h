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
    return configured.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/paste_target_app")
                                : configured;
}

// The target program: a window of another process with one text field.
class TargetApp {
public:
    ~TargetApp() { stop(); }

    bool start(const QString& title)
    {
        m_process.setProgram(targetProgram());
        m_process.setArguments({title});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        return waitUntil([this] { return lines().contains(QStringLiteral("ready")); }, 10000);
    }
    qint64 pid() const { return m_process.processId(); }
    QStringList lines()
    {
        m_output += m_process.readAllStandardOutput();
        return QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

}
