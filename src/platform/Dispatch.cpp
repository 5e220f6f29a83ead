#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <mutex>
#include <vector>

namespace {

// Runs work on the thread of a context object through its event loop.
class ThreadQueue : public DispatchQueue {
public:
    ThreadQueue(QString label, QObject* context)
        : m_label(std::move(label))
        , m_context(context)
    {
    }

    QString label() const override { return m_label; }

    void async(std::function<void()> work) override
    {
        QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
    }

    void asyncAfter(Milliseconds delay, std::function<void()> work) override
    {
        // The single-shot timer must be created on the queue's thread.
        QPointer<QObject> context = m_context;
        QMetaObject::invokeMethod(
            m_context,
            [context, delay, work = std::move(work)]() mutable {
                if (context)
                    QTimer::singleShot(delay, context, std::move(work));
            },
            Qt::QueuedConnection);
    }

    std::unique_ptr<DispatchTimer> scheduleRepeating(Milliseconds interval, std::function<void()> handler) override;

    bool isCurrent() const override { return QThread::currentThread() == m_context->thread(); }

    QObject* context() const { return m_context; }

protected:
    QString m_label;
    QObject* m_context;
};

class QueueTimer : public DispatchTimer {
public:
    QueueTimer(QObject* context, DispatchQueue::Milliseconds interval, std::function<void()> handler)
        : m_state(std::make_shared<State>())
        , m_context(context)
    {
        m_state->handler = std::move(handler);
        auto state = m_state;
        QMetaObject::invokeMethod(
            context,
            [state, context, interval] {
                if (state->cancelled)
                    return;
                auto* timer = new QTimer(context);
                state->timer = timer;
                timer->setInterval(interval);
                QObject::connect(timer, &QTimer::timeout, timer, [state, timer] {
                    if (state->cancelled) {
                        timer->stop();
                        timer->deleteLater();
                        return;
                    }
                    state->handler();
                });
                timer->start();
            },
            Qt::QueuedConnection);
    }
    ~QueueTimer() override { cancel(); }
    void cancel() override
    {
        if (m_state->cancelled.exchange(true))
            return;
        // Stop the timer on its own thread right away rather than at its next tick, so that no
        // timer outlives the queue's thread.
        if (m_context && QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                m_context,
                [state = m_state] {
                    if (state->timer) {
                        state->timer->stop();
                        state->timer->deleteLater();
                    }
                },
                Qt::QueuedConnection);
        }
    }

private:
    struct State {
        std::atomic<bool> cancelled {false};
        std::function<void()> handler;
        QPointer<QTimer> timer; // touched only on the queue's thread
    };
    std::shared_ptr<State> m_state;
    QPointer<QObject> m_context;
};

std::unique_ptr<DispatchTimer> ThreadQueue::scheduleRepeating(Milliseconds interval, std::function<void()> handler)
{
    return std::make_unique<QueueTimer>(m_context, interval, std::move(handler));
}

class SerialQueue : public ThreadQueue {
public:
    // How long the queue's end waits for the work already queued: longer than any piece of work
    // that ends at all takes, and short of the exit deadline of the quit (5 s).
    static constexpr int finishBoundMs = 3000;

    explicit SerialQueue(const QString& label)
        : ThreadQueue(label, nullptr)
    {
        m_thread->setObjectName(label);
        m_object = new QObject;
        m_object->moveToThread(m_thread);
        m_context = m_object;
        // The context object, and the timers it owns, end on the queue's own thread as it
        // finishes: a timer can only be stopped on its thread, and one still running when the
        // queue goes (a work item's or a repeating timer's) would otherwise be destroyed from the
        // thread that destroys the queue.
        QObject::connect(m_thread, &QThread::finished, m_object, &QObject::deleteLater, Qt::DirectConnection);
        m_thread->start();
    }
    ~SerialQueue() override
    {
        // Work stuck in a call that never returns (a line to a terminal whose output is suspended,
        // a pipe nobody reads) must not hold the thread that ends the queue, the main thread at the
        // quit: after the bound the thread is left running, with its objects, and kept with the
        // others left so, until it ends (the next queue's end takes it down) or the process does.
        const bool ended = finish();
        {
            std::lock_guard lock(leftMutex());
            if (ended)
                delete m_thread;
            else
                leftRunning().push_back(m_thread);
        }
        takeDownEnded();
    }

    // Ends the queue behind the work already queued (once) and waits for its thread, the bound at
    // most; true when the thread has ended.
    bool finish()
    {
        if (!m_finishing) {
            m_finishing = true;
            // Without an application object (at process exit) events can no longer be posted, so
            // the loop is told to end directly.
            if (QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    m_object, [thread = m_thread] { thread->quit(); }, Qt::QueuedConnection);
            else
                m_thread->quit();
        }
        return m_thread->wait(QDeadlineTimer(finishBoundMs));
    }

    bool hasEnded() const { return m_thread->isFinished(); }

    // A queue whose end gave up on its work, kept with what that work uses until its thread has
    // ended. The queue goes before what it used.
    struct Kept {
        std::vector<std::shared_ptr<void>> uses;
        std::unique_ptr<SerialQueue> queue;
    };
    static void keep(Kept kept)
    {
        std::lock_guard lock(leftMutex());
        keptQueues().push_back(std::move(kept));
    }

    // Frees the threads and the kept queues (with what they used) whose threads have ended since.
    // Outside the lock: a kept queue's end, and the end of a queue it used, come back here.
    static void takeDownEnded()
    {
        std::vector<QThread*> threads;
        std::vector<Kept> queues;
        {
            std::lock_guard lock(leftMutex());
            std::erase_if(leftRunning(), [&threads](QThread* thread) {
                if (!thread->isFinished() || !thread->wait(0))
                    return false;
                threads.push_back(thread);
                return true;
            });
            std::vector<Kept>& kept = keptQueues();
            for (auto it = kept.begin(); it != kept.end();) {
                if (it->queue->hasEnded()) {
                    queues.push_back(std::move(*it));
                    it = kept.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (QThread* thread : threads)
            delete thread;
    }

private:
    static std::mutex& leftMutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<QThread*>& leftRunning()
    {
        static auto* const threads = new std::vector<QThread*>; // never destroyed: they may still run
        return *threads;
    }
    static std::vector<Kept>& keptQueues()
    {
        static auto* const queues = new std::vector<Kept>; // never destroyed: their work may still run
        return *queues;
    }

    QThread* m_thread = new QThread;
    QObject* m_object = nullptr;
    bool m_finishing = false;
};

class MainQueue : public ThreadQueue {
public:
    MainQueue()
        : ThreadQueue(QStringLiteral("com.apple.main-thread"), QCoreApplication::instance())
    {
    }
};

}

DispatchQueue& DispatchQueue::main()
{
    static MainQueue* queue = new MainQueue;
    return *queue;
}

std::unique_ptr<DispatchQueue> DispatchQueue::makeSerial(const QString& label)
{
    return std::make_unique<SerialQueue>(label);
}

SerialQueueOwner::SerialQueueOwner(std::unique_ptr<DispatchQueue> queue, std::vector<std::shared_ptr<void>> uses)
    : m_queue(std::move(queue))
    , m_uses(std::move(uses))
{
}

SerialQueueOwner& SerialQueueOwner::operator=(SerialQueueOwner&& other) noexcept
{
    if (this != &other) {
        end();
        m_queue = std::move(other.m_queue);
        m_uses = std::move(other.m_uses);
    }
    return *this;
}

SerialQueueOwner::~SerialQueueOwner()
{
    end();
}

void SerialQueueOwner::end()
{
    auto* serial = dynamic_cast<SerialQueue*>(m_queue.get());
    if (serial && !serial->finish()) {
        SerialQueue::keep(
            {std::move(m_uses), std::unique_ptr<SerialQueue>(static_cast<SerialQueue*>(m_queue.release()))});
        return;
    }
    // Ended (or no queue of a thread of its own): the queue goes, then what its work used.
    m_queue.reset();
    m_uses.clear();
}
