#pragma once
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// A unit of work that can be cancelled before it runs.
class DispatchWorkItem {
public:
    explicit DispatchWorkItem(std::function<void()> work)
        : m_work(std::move(work))
    {
    }
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }
    void perform()
    {
        if (!m_cancelled && m_work)
            m_work();
    }

private:
    std::function<void()> m_work;
    std::atomic<bool> m_cancelled {false};
};
using DispatchWorkItemPtr = std::shared_ptr<DispatchWorkItem>;

// A repeating timer owned by a queue; its handler runs on that queue until cancelled.
class DispatchTimer {
public:
    virtual ~DispatchTimer() = default;
    virtual void cancel() = 0;
};

// A serial queue: work runs one item at a time, in order, on the queue's own thread (or on the
// main thread for the main queue). Everything a queue owns is touched only on that queue.
class DispatchQueue {
public:
    using Milliseconds = std::chrono::milliseconds;
    virtual ~DispatchQueue() = default;

    virtual QString label() const = 0;
    virtual void async(std::function<void()> work) = 0;
    virtual void asyncAfter(Milliseconds delay, std::function<void()> work) = 0;
    void asyncAfter(Milliseconds delay, const DispatchWorkItemPtr& item)
    {
        asyncAfter(delay, [item] { item->perform(); });
    }
    // Calls the handler every interval, first after one interval, until the timer is cancelled
    // or destroyed.
    virtual std::unique_ptr<DispatchTimer> scheduleRepeating(Milliseconds interval, std::function<void()> handler) = 0;
    // True when the caller runs on this queue.
    virtual bool isCurrent() const = 0;

    // The main thread's queue (the Qt event loop).
    static DispatchQueue& main();
    // A new serial queue on a thread of its own. Its end lets the work already queued run, and
    // waits for it a bounded time (work stuck for good is left to the end of the process).
    static std::unique_ptr<DispatchQueue> makeSerial(const QString& label);
};
