#pragma once
#include "platform/Dispatch.h"

#include <QMutex>
#include <memory>
#include <vector>

// A DispatchQueue driven by hand on a virtual clock. async() and asyncAfter() only enqueue;
// advance(ms) moves the clock and runs everything that falls due, in time order (work scheduled
// while advancing included, repeating timers firing as often as they are due); runPending() runs
// what is due now. Work runs on the calling thread, so isCurrent() is always true.
class ManualQueue : public DispatchQueue {
public:
    explicit ManualQueue(QString label = QStringLiteral("ManualQueue"));
    ~ManualQueue() override;

    QString label() const override { return m_label; }
    void async(std::function<void()> work) override;
    void asyncAfter(Milliseconds delay, std::function<void()> work) override;
    using DispatchQueue::asyncAfter;
    std::unique_ptr<DispatchTimer> scheduleRepeating(Milliseconds interval, std::function<void()> handler) override;
    bool isCurrent() const override { return true; }

    // The virtual clock, starting at 0.
    qint64 nowMs() const;
    // Moves the clock forward by ms, running every item due up to the new time; returns how many ran.
    int advance(qint64 ms);
    int advance(Milliseconds ms) { return advance(static_cast<qint64>(ms.count())); }
    // Runs what is due at the current time (including work those items enqueue for now).
    int runPending();
    // Items waiting, due or not (live repeating timers count as one each).
    int pendingCount() const;
    // Time until the next item is due (0 when one is due now), or -1 when nothing waits.
    qint64 nextDueInMs() const;

private:
    struct TimerState;
    class Timer;
    struct Entry {
        qint64 due = 0;
        quint64 seq = 0;
        std::function<void()> work;
        std::shared_ptr<TimerState> timer;
        qint64 interval = 0;
    };
    void enqueue(qint64 due, std::function<void()> work, std::shared_ptr<TimerState> timer, qint64 interval);
    bool takeNextDue(qint64 limit, Entry* out);
    int runUntil(qint64 limit);

    QString m_label;
    mutable QMutex m_mutex;
    std::vector<Entry> m_entries;
    qint64 m_now = 0;
    quint64 m_nextSeq = 0;
};
