#pragma once
#include "platform/Dispatch.h"

#include <chrono>
#include <functional>

// The two delayed reactions of a hover-driven surface: act on the pointer's arrival after 130 ms
// and on its departure after 300 ms. Every new hover change cancels both pending reactions, so a
// brief pass does nothing and a quick return keeps what is open. Main thread only.
class HoverIntent {
public:
    static constexpr std::chrono::milliseconds enterDelay {130};
    static constexpr std::chrono::milliseconds exitDelay {300};

    explicit HoverIntent(DispatchQueue& queue)
        : m_queue(queue)
    {
    }
    ~HoverIntent() { cancel(); }
    HoverIntent(const HoverIntent&) = delete;
    HoverIntent& operator=(const HoverIntent&) = delete;

    void cancel()
    {
        if (m_enter)
            m_enter->cancel();
        if (m_exit)
            m_exit->cancel();
        m_enter.reset();
        m_exit.reset();
    }
    void scheduleEnter(std::function<void()> action) { m_enter = schedule(enterDelay, std::move(action)); }
    void scheduleExit(std::function<void()> action) { m_exit = schedule(exitDelay, std::move(action)); }
    bool hasPendingEnter() const { return m_enter && !m_enter->isCancelled(); }
    bool hasPendingExit() const { return m_exit && !m_exit->isCancelled(); }

private:
    DispatchWorkItemPtr schedule(std::chrono::milliseconds delay, std::function<void()> action)
    {
        auto item = std::make_shared<DispatchWorkItem>(std::move(action));
        m_queue.asyncAfter(delay, item);
        return item;
    }

    DispatchQueue& m_queue;
    DispatchWorkItemPtr m_enter;
    DispatchWorkItemPtr m_exit;
};
