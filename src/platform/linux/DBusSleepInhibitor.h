#pragma once
#include "platform/SleepInhibitor.h"

#include <mutex>
#include <optional>

// Inhibits through the session's org.freedesktop.ScreenSaver (screen blanking and idle sleep),
// else through logind's Inhibit on the system bus ("sleep:idle", a held file descriptor).
class DBusSleepInhibitor : public SleepInhibitor {
public:
    ~DBusSleepInhibitor() override;
    bool inhibit(const QString& reason, QString* error) override;
    void release() override;

private:
    std::mutex m_mutex;
    std::optional<uint> m_cookie; // from the screen saver service
    int m_logindFd = -1;          // from logind
};
