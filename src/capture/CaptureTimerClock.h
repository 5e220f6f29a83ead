#pragma once
#include "capture/CaptureSelection.h"

#include <QObject>
#include <QTimer>
#include <map>

// Delayed calls on the main thread for the self-timer.
class CaptureTimerClock : public CaptureClock {
public:
    uint64_t schedule(double seconds, std::function<void()> work) override
    {
        const uint64_t token = ++m_next;
        auto* timer = new QTimer;
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, timer, [this, token, timer, work = std::move(work)] {
            m_timers.erase(token);
            timer->deleteLater();
            work();
        });
        m_timers.emplace(token, timer);
        timer->start(int(seconds * 1000));
        return token;
    }
    void cancel(uint64_t token) override
    {
        const auto found = m_timers.find(token);
        if (found == m_timers.end())
            return;
        found->second->stop();
        found->second->deleteLater();
        m_timers.erase(found);
    }
    ~CaptureTimerClock() override
    {
        for (auto& [token, timer] : m_timers)
            delete timer;
    }

private:
    uint64_t m_next = 0;
    std::map<uint64_t, QTimer*> m_timers;
};

