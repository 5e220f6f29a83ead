#pragma once
#include "platform/RecordingClock.h"

#include <algorithm>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sstream>
#include <string>

// A recording clock moved by the test. Threads sleeping on it wake when advance() passes their
// deadline; advance() then waits until they sleep again, so that each step's work (a frame
// grabbed, a sound block handed over) is done before the test looks or moves on. A test names the
// sleeper it waits for by its deadline or its thread's name ("rec-capture", "fake-audio", ...).
// No wait hangs: waits for other threads give up after `patience`, a sleeper the clock is not moved
// for after sleepPatience, each with a failure saying what it waited for.
class ManualRecordingClock : public RecordingClock {
public:
    std::chrono::seconds patience {30};
    std::chrono::seconds sleepPatience {120};

    TimePoint now() const override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    bool sleepUntil(TimePoint deadline, const std::function<bool()>& interrupted) override
    {
        std::unique_lock lock(m_mutex);
        const uint64_t id = ++m_nextSleeper;
        m_sleepers.emplace(id, Sleeper {deadline, currentThreadName()});
        m_changed.notify_all();
        const auto done = [&] { return m_now >= deadline || (interrupted && interrupted()); };
        while (!done()) {
            const uint64_t moves = m_moves;
            if (!m_changed.wait_for(lock, sleepPatience, [&] { return done() || m_moves != moves; })) {
                ADD_FAILURE() << "the thread \"" << m_sleepers.at(id).thread << "\" slept on the manual clock until "
                              << describe(deadline) << ", and nobody moved the clock for "
                              << sleepPatience.count() << " s; it gives up";
                break;
            }
        }
        m_sleepers.erase(id);
        m_changed.notify_all();
        return m_now >= deadline;
    }
    void wake() override
    {
        std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }

    // Moves the time on by `step`; returns once as many threads sleep on a deadline ahead as did
    // before (those it woke slept again, or handed over to one that sleeps in their place).
    void advance(Duration step)
    {
        std::unique_lock lock(m_mutex);
        const size_t sleeping = asleep();
        move(step);
        if (!m_changed.wait_for(lock, patience, [&] { return asleep() >= sleeping; }))
            ADD_FAILURE() << "after a step of the manual clock, " << sleeping << " thread(s) were to sleep again within "
                          << patience.count() << " s; asleep: " << sleepersLocked();
    }
    // Moves the time on without waiting for anyone (the threads it wakes may end).
    void moveOn(Duration step)
    {
        std::lock_guard lock(m_mutex);
        move(step);
    }
    // Moves the time on in steps of at most `step` until `span` has passed.
    void run(Duration span, Duration step)
    {
        for (Duration done {}; done < span; done += step)
            advance(std::min(step, span - done));
    }
    // Waits until the thread named `thread` sleeps on a deadline still ahead.
    ::testing::AssertionResult waitForSleeper(const std::string& thread)
    {
        return waitForSleeping([&](const Sleeper& s) { return s.thread == thread && s.deadline > m_now; },
            [&] { return "the thread \"" + thread + "\""; });
    }
    // Waits until a thread sleeps on `deadline`.
    ::testing::AssertionResult waitForSleeperUntil(TimePoint deadline)
    {
        return waitForSleeping([&](const Sleeper& s) { return s.deadline == deadline; },
            [&] { return "a thread until " + describe(deadline); });
    }
    // The earliest deadline a thread sleeps on, or now() when none sleeps.
    TimePoint nextDeadline() const
    {
        std::lock_guard lock(m_mutex);
        TimePoint next = TimePoint::max();
        for (const auto& [id, sleeper] : m_sleepers)
            next = std::min(next, sleeper.deadline);
        return m_sleepers.empty() ? m_now : next;
    }

private:
    struct Sleeper {
        TimePoint deadline;
        std::string thread;
    };
    static std::string currentThreadName()
    {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        return name;
    }
    ::testing::AssertionResult waitForSleeping(
        const std::function<bool(const Sleeper&)>& sought, const std::function<std::string()>& what)
    {
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_for(lock, patience, [&] {
                return std::any_of(m_sleepers.begin(), m_sleepers.end(), [&](const auto& s) { return sought(s.second); });
            }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << what() << " did not sleep on the manual clock within "
                                             << patience.count() << " s; asleep: " << sleepersLocked();
    }
    void move(Duration step)
    {
        m_now += step;
        ++m_moves;
        m_changed.notify_all();
    }
    // Threads sleeping on a deadline still ahead (under the mutex).
    size_t asleep() const
    {
        return size_t(std::count_if(m_sleepers.begin(), m_sleepers.end(),
            [this](const auto& sleeper) { return sleeper.second.deadline > m_now; }));
    }
    // A time on this clock, as milliseconds from now (under the mutex).
    std::string describe(TimePoint at) const
    {
        std::ostringstream out;
        out << "now " << (at >= m_now ? "+ " : "- ")
            << std::chrono::duration<double, std::milli>(at >= m_now ? at - m_now : m_now - at).count() << " ms";
        return out.str();
    }
    // The sleepers, for a failure's message (under the mutex).
    std::string sleepersLocked() const
    {
        std::string list;
        for (const auto& [id, sleeper] : m_sleepers)
            list += (list.empty() ? "" : ", ") + ("\"" + sleeper.thread + "\" until " + describe(sleeper.deadline));
        return list.empty() ? std::string("none") : list;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TimePoint m_now = TimePoint(std::chrono::hours(1));
    uint64_t m_moves = 0;
    uint64_t m_nextSleeper = 0;
    std::map<uint64_t, Sleeper> m_sleepers;
};
