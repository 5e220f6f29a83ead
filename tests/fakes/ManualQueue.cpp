#include "fakes/ManualQueue.h"

#include <algorithm>
#include <atomic>

struct ManualQueue::TimerState {
    std::atomic<bool> cancelled {false};
};

class ManualQueue::Timer : public DispatchTimer {
public:
    explicit Timer(std::shared_ptr<TimerState> state) : m_state(std::move(state)) { }
    ~Timer() override { cancel(); }
    void cancel() override { m_state->cancelled = true; }

private:
    std::shared_ptr<TimerState> m_state;
};

ManualQueue::ManualQueue(QString label) : m_label(std::move(label)) { }

ManualQueue::~ManualQueue() = default;

void ManualQueue::enqueue(qint64 due, std::function<void()> work, std::shared_ptr<TimerState> timer, qint64 interval)
{
    QMutexLocker lock(&m_mutex);
    m_entries.push_back({due, m_nextSeq++, std::move(work), std::move(timer), interval});
}

void ManualQueue::async(std::function<void()> work)
{
    enqueue(nowMs(), std::move(work), nullptr, 0);
}

void ManualQueue::asyncAfter(Milliseconds delay, std::function<void()> work)
{
    enqueue(nowMs() + std::max<qint64>(0, delay.count()), std::move(work), nullptr, 0);
}

std::unique_ptr<DispatchTimer> ManualQueue::scheduleRepeating(Milliseconds interval, std::function<void()> handler)
{
    // A zero interval would fire forever within one advance(); one millisecond is the finest step.
    const qint64 step = std::max<qint64>(1, interval.count());
    auto state = std::make_shared<TimerState>();
    enqueue(nowMs() + step, std::move(handler), state, step);
    return std::make_unique<Timer>(state);
}

qint64 ManualQueue::nowMs() const
{
    QMutexLocker lock(&m_mutex);
    return m_now;
}

bool ManualQueue::takeNextDue(qint64 limit, Entry* out)
{
    QMutexLocker lock(&m_mutex);
    // Cancelled timers leave the queue without running.
    std::erase_if(m_entries, [](const Entry& e) { return e.timer && e.timer->cancelled; });
    auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
    if (next == m_entries.end() || next->due > limit)
        return false;
    *out = std::move(*next);
    m_entries.erase(next);
    m_now = std::max(m_now, out->due);
    return true;
}

int ManualQueue::runUntil(qint64 limit)
{
    int ran = 0;
    Entry entry;
    while (takeNextDue(limit, &entry)) {
        if (entry.timer) {
            // Reschedule before running so that the handler may cancel its own timer.
            enqueue(entry.due + entry.interval, entry.work, entry.timer, entry.interval);
            entry.work();
        } else if (entry.work) {
            entry.work();
        }
        ++ran;
    }
    return ran;
}

int ManualQueue::advance(qint64 ms)
{
    const qint64 target = nowMs() + std::max<qint64>(0, ms);
    const int ran = runUntil(target);
    QMutexLocker lock(&m_mutex);
    m_now = std::max(m_now, target);
    return ran;
}

int ManualQueue::runPending()
{
    return runUntil(nowMs());
}

int ManualQueue::pendingCount() const
{
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [](const Entry& e) { return !(e.timer && e.timer->cancelled); }));
}

qint64 ManualQueue::nextDueInMs() const
{
    QMutexLocker lock(&m_mutex);
    qint64 best = -1;
    for (const Entry& e : m_entries) {
        if (e.timer && e.timer->cancelled)
            continue;
        const qint64 in = std::max<qint64>(0, e.due - m_now);
        if (best < 0 || in < best)
            best = in;
    }
    return best;
}
