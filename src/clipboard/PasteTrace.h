#pragma once
#include <QDateTime>
#include <QString>
#include <functional>

// The paste pipeline's step-by-step trace: every message becomes one line
// "[2026-12-05T14:41:30Z] message" appended to a trace file, and printed on the console when
// QUORVEL_TRACE names the topic "paste".
//
// The file lives in a world-writable folder, so it is opened without following links, created
// private (0600), refused when another user owns it or it is not a regular file, and started over
// when the next line would take it past maxFileSize. Trace file errors never stop a paste.
class PasteTrace {
public:
    static constexpr const char* defaultPath = "/tmp/tarrow_paste_debug.txt";
    static constexpr qint64 maxFileSize = 1024 * 1024;
    static constexpr QStringView traceTopic = u"paste";

    explicit PasteTrace(QString path = QString::fromLatin1(defaultPath));

    QString path() const { return m_path; }

    // Writes one traced step.
    void log(const QString& message);

    // The line for a message at a given time (UTC, seconds precision), without the line end.
    static QString formatLine(const QDateTime& time, const QString& message);

    // Replaces the clock (tests); an empty function restores the system clock.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    bool appendToFile(const QByteArray& bytes);

    QString m_path;
    std::function<QDateTime()> m_clock;
    bool m_reportedRefusal = false;
};
