#pragma once
#include "platform/SleepInhibitor.h"

#include <memory>
#include <mutex>

// Inhibits through the session's org.freedesktop.ScreenSaver (screen blanking and idle sleep),
// else through logind's Inhibit on the system bus ("sleep:idle", a held file descriptor). The
// desktop sees one inhibition however many holds overlap: the first hold takes it, the last one
// to go gives it back.
class DBusSleepInhibitor : public SleepInhibitor {
public:
    std::unique_ptr<Hold> inhibit(const QString& reason, QString* error) override;

private:
    struct Inhibition;
    std::mutex m_mutex;
    std::weak_ptr<Inhibition> m_current; // while any hold lives
};
