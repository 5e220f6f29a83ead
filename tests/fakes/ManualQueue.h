#pragma once
#include "platform/Dispatch.h"

#include <QMutex>
#include <algorithm>
#include <memory>
#include <vector>

// A DispatchQueue driven by hand on a virtual clock. async() and asyncAfter() only enqueue;
// advance(ms) moves the clock and runs everything that falls due, in time order (work scheduled
// while advancing included, repeating timers firing as often as they are due); runPending() runs
// what is due now. Work runs on the calling thread, so isCurrent() is always true.
class ManualQueue : public DispatchQueue {
public:
    explicit ManualQueue(QString label = QStringLiteral("ManualQueue"))
        : m_label(std::move(label))
    {
    }

    QString label() const override { return m_label; }
    void async(std::function<void()> work) override { enqueue(nowMs(), std::move(work), nullptr, 0); }
    void asyncAfter(Milliseconds delay, std::function<void()> work) override
    {
        enqueue(nowMs() + std::max<qint64>(0, delay.count()), std::move(work), nullptr, 0);
    }
    using DispatchQueue::asyncAfter;
    std::unique_ptr<DispatchTimer> scheduleRepeating(Milliseconds interval, std::function<void()> handler) override
    {
        // A zero interval would fire forever within one advance(); one millisecond is the finest step.
        const qint64 step = std::max<qint64>(1, interval.count());
        auto timer = std::make_unique<Timer>();
        enqueue(nowMs() + step, std::move(handler), timer->cancelled, step);
        return timer;
    }
    bool isCurrent() const override { return true; }

    // The virtual clock, starting at 0.
    qint64 nowMs() const
    {
        QMutexLocker lock(&m_mutex);
        return m_now;
    }
    // Moves the clock forward by ms, running every item due up to the new time; returns how many ran.
    int advance(qint64 ms)
    {
        const qint64 target = nowMs() + std::max<qint64>(0, ms);
        const int ran = runUntil(target);
        QMutexLocker lock(&m_mutex);
        m_now = std::max(m_now, target);
        return ran;
    }
    int advance(Milliseconds ms) { return advance(static_cast<qint64>(ms.count())); }
    // Runs what is due at the current time (including work those items enqueue for now).
    int runPending() { return runUntil(nowMs()); }
    // Items waiting, due or not (live repeating timers count as one each).
    int pendingCount() const
    {
        QMutexLocker lock(&m_mutex);
        return static_cast<int>(
            std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return !e.isCancelled(); }));
    }
    // Time until the next item is due (0 when one is due now), or -1 when nothing waits.
    qint64 nextDueInMs() const
    {
        QMutexLocker lock(&m_mutex);
        qint64 best = -1;
        for (const Entry& e : m_entries)
            if (!e.isCancelled() && (best < 0 || std::max<qint64>(0, e.due - m_now) < best))
                best = std::max<qint64>(0, e.due - m_now);
        return best;
    }

private:
    using Flag = std::shared_ptr<std::atomic<bool>>;
    struct Timer : DispatchTimer {
        Flag cancelled = std::make_shared<std::atomic<bool>>(false);
        ~Timer() override { cancel(); }
        void cancel() override { *cancelled = true; }
    };
    struct Entry {
        qint64 due = 0;
        quint64 seq = 0;
        std::function<void()> work;
        Flag timerCancelled; // set for repeating timers
        qint64 interval = 0;
        bool isCancelled() const { return timerCancelled && *timerCancelled; }
    };

    void enqueue(qint64 due, std::function<void()> work, Flag timer, qint64 interval)
    {
        QMutexLocker lock(&m_mutex);
        m_entries.push_back({due, m_nextSeq++, std::move(work), std::move(timer), interval});
    }
    bool takeNextDue(qint64 limit, Entry* out)
    {
        QMutexLocker lock(&m_mutex);
        std::erase_if(m_entries, [](const Entry& e) { return e.isCancelled(); });
        auto next = std::min_element(m_entries.begin(), m_entries.end(),
            [](const Entry& a, const Entry& b) { return a.due != b.due ? a.due < b.due : a.seq < b.seq; });
        if (next == m_entries.end() || next->due > limit)
            return false;
        *out = std::move(*next);
        m_entries.erase(next);
        m_now = std::max(m_now, out->due);
        return true;
    }
    int runUntil(qint64 limit)
    {
        int ran = 0;
        for (Entry entry; takeNextDue(limit, &entry); ++ran) {
            // A timer is rescheduled before it runs, so that its handler may cancel it.
            if (entry.timerCancelled)
                enqueue(entry.due + entry.interval, entry.work, entry.timerCancelled, entry.interval);
            if (entry.work)
                entry.work();
        }
        return ran;
    }

    QString m_label;
    mutable QMutex m_mutex;
    std::vector<Entry> m_entries;
    qint64 m_now = 0;
    quint64 m_nextSeq = 0;
};
