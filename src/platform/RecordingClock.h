#pragma once
#include <chrono>
#include <functional>

// The time a recording runs on: when frames are due, when sound was captured, how long the
// recorder waits. The steady clock in the program; tests give their own, which moves only when
// the test moves it, so that nothing they check depends on the machine's speed.
class RecordingClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;
    virtual ~RecordingClock() = default;

    virtual TimePoint now() const = 0;
    // Blocks until now() reaches `deadline`, or until `interrupted` (looked at when the sleep
    // begins and at every wake()) holds. True when the deadline was reached.
    virtual bool sleepUntil(TimePoint deadline, const std::function<bool()>& interrupted = {}) = 0;
    // Has every sleeper look at its `interrupted` again; call it after changing what that reads.
    virtual void wake() = 0;

    // The steady clock, one for the process.
    static RecordingClock& steady();
};
