#include "platform/RecordingClock.h"

#include <condition_variable>
#include <mutex>

namespace {

class SteadyRecordingClock : public RecordingClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    bool sleepUntil(TimePoint deadline, const std::function<bool()>& interrupted) override
    {
        std::unique_lock lock(m_mutex);
        m_woken.wait_until(lock, deadline, [&] { return interrupted && interrupted(); });
        return now() >= deadline;
    }
    void wake() override
    {
        // Taken so that a sleeper between looking at its condition and waiting does not miss it.
        std::lock_guard lock(m_mutex);
        m_woken.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
};

}

RecordingClock& RecordingClock::steady()
{
    // Never destroyed: a thread still sleeping at exit must not find it gone.
    static auto* clock = new SteadyRecordingClock;
    return *clock;
}
