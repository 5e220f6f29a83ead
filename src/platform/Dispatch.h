#pragma once
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

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

// Owns a serial queue together with what the work on it uses (the services it calls, the queue it
// hands answers to), and ends the queue when it goes, as the queue's own end does. When that end
// gives up on work that does not end, nothing such work may still use is freed under it: the queue
// and what it uses are kept, reachable, until the queue's thread has ended (the end of a later
// queue then lets them go) or the process ends. What the work uses is held shared, so that its
// other owners may go in any order.
class SerialQueueOwner {
public:
    SerialQueueOwner() = default;
    explicit SerialQueueOwner(std::unique_ptr<DispatchQueue> queue, std::vector<std::shared_ptr<void>> uses = {});
    SerialQueueOwner(SerialQueueOwner&& other) noexcept = default;
    // Ends the queue held before.
    SerialQueueOwner& operator=(SerialQueueOwner&& other) noexcept;
    ~SerialQueueOwner();

    DispatchQueue& operator*() const { return *m_queue; }
    DispatchQueue* operator->() const { return m_queue.get(); }
    DispatchQueue* get() const { return m_queue.get(); }

private:
    void end();

    std::unique_ptr<DispatchQueue> m_queue;
    std::vector<std::shared_ptr<void>> m_uses;
};
