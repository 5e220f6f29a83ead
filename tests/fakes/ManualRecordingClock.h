#pragma once
#include "platform/RecordingClock.h"

#include <algorithm>
#include <cstdint>
#include <condition_variable>
#include <map>
#include <mutex>

// A recording clock moved by the test. Threads sleeping on it wake when advance() passes their
// deadline; advance() then waits until they sleep again, so that each step's work (a frame
// grabbed, a sound block handed over) is done before the test looks or moves on. The waits for
// other threads give up after `patience` of real time, which only a hung thread reaches.
class ManualRecordingClock : public RecordingClock {
public:
    std::chrono::seconds patience {30};

    TimePoint now() const override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    bool sleepUntil(TimePoint deadline, const std::function<bool()>& interrupted) override
    {
        std::unique_lock lock(m_mutex);
        const uint64_t id = ++m_nextSleeper;
        m_sleepers.emplace(id, deadline);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_now >= deadline || (interrupted && interrupted()); });
        m_sleepers.erase(id);
        m_changed.notify_all();
        return m_now >= deadline;
    }
    void wake() override
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }

    // Moves the time on by `step`; returns once the threads that slept sleep again.
    void advance(Duration step)
    {
        std::unique_lock lock(m_mutex);
        const size_t sleeping = asleep();
        m_now += step;
        m_changed.notify_all();
        m_changed.wait_for(lock, patience, [&] { return asleep() >= sleeping; });
    }
    // Moves the time on without waiting for anyone (the threads it wakes may end).
    void moveOn(Duration step)
    {
        std::lock_guard lock(m_mutex);
        m_now += step;
        m_changed.notify_all();
    }
    // Moves the time on in steps of at most `step` until `span` has passed.
    void run(Duration span, Duration step)
    {
        for (Duration done {}; done < span; done += step)
            advance(std::min(step, span - done));
    }
    // Waits until `count` threads sleep on a deadline still ahead; false when they never do.
    bool waitForSleepers(size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, patience, [&] { return asleep() >= count; });
    }
    // Waits until a thread sleeps on `deadline`; false when none does.
    bool waitForSleeperUntil(TimePoint deadline)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, patience, [&] {
            return std::any_of(
                m_sleepers.begin(), m_sleepers.end(), [&](const auto& sleeper) { return sleeper.second == deadline; });
        });
    }
    // The earliest deadline a thread sleeps on, or now() when none sleeps.
    TimePoint nextDeadline() const
    {
        std::lock_guard lock(m_mutex);
        TimePoint next = TimePoint::max();
        for (const auto& [id, deadline] : m_sleepers)
            next = std::min(next, deadline);
        return m_sleepers.empty() ? m_now : next;
    }

private:
    // Threads sleeping on a deadline still ahead (under the mutex).
    size_t asleep() const
    {
        return size_t(std::count_if(
            m_sleepers.begin(), m_sleepers.end(), [this](const auto& sleeper) { return sleeper.second > m_now; }));
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TimePoint m_now = TimePoint(std::chrono::hours(1));
    uint64_t m_nextSleeper = 0;
    std::map<uint64_t, TimePoint> m_sleepers;
};
