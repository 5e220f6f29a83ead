#pragma once
#include <QString>
#include <chrono>
#include <functional>

class DesktopNotifier;

// Tells the user in a desktop notification that something (copies, screenshots) was not kept,
// and why, once per burst of failures: a full disk fails every save, and one message says it.
// The next failure is told again once a save has succeeded since, or after `quiet` without a
// message. Main thread.
class SaveFailureNotice {
public:
    static constexpr std::chrono::minutes quiet {5};
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `body` holds "%1" where the reason goes.
    SaveFailureNotice(DesktopNotifier& notifier, QString summary, QString body, Clock clock = {});

    // The outcome of one save: an empty error is a success.
    void report(const QString& error);

    // The reason as the user reads it: a full disk in German, other errors as the store said them.
    static QString reason(const QString& error);

    // The texts of the two kinds of records.
    static const QString clipSummary;
    static const QString clipBody;
    static const QString screenshotSummary;
    static const QString screenshotBody;

private:
    DesktopNotifier& m_notifier;
    QString m_summary;
    QString m_body;
    Clock m_clock;
    bool m_told = false;
    std::chrono::steady_clock::time_point m_toldAt;
};
