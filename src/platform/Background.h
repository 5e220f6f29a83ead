#pragma once
// The one way off the main thread: work runs on the shared worker pool and its result comes back
// as a queued call on the receiving object's thread. A result whose receiver was destroyed in the
// meantime is dropped, so callers never check for a dead `this`.
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <functional>
#include <type_traits>
#include <utility>

namespace Background {

// The pool for decoding, encoding, grabbing and recognition work. Never a thread per call.
inline QThreadPool& pool()
{
    return *QThreadPool::globalInstance();
}

// Runs `work` on the pool and nothing else.
template <typename Work> void run(Work&& work)
{
    pool().start(std::forward<Work>(work));
}

// Runs `work` on `threads`, then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void runOn(QThreadPool& threads, QObject* receiver, Work&& work, Then&& then)
{
    using Result = std::invoke_result_t<Work&>;
    QPointer<QObject> guard(receiver);
    threads.start([guard, work = std::forward<Work>(work), then = std::forward<Then>(then)]() mutable {
        if constexpr (std::is_void_v<Result>) {
            work();
            if (!guard)
                return;
            QMetaObject::invokeMethod(
                guard.data(),
                [guard, then = std::move(then)]() mutable {
                    if (guard)
                        then();
                },
                Qt::QueuedConnection);
        } else {
            Result result = work();
            if (!guard)
                return;
            QMetaObject::invokeMethod(
                guard.data(),
                [guard, then = std::move(then), result = std::move(result)]() mutable {
                    if (guard)
                        then(std::move(result));
                },
                Qt::QueuedConnection);
        }
    });
}

// Runs `work` on the pool, then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void run(QObject* receiver, Work&& work, Then&& then)
{
    runOn(pool(), receiver, std::forward<Work>(work), std::forward<Then>(then));
}

// Waits for every queued piece of work and delivers the results already posted (tests, quit).
inline void waitForAll()
{
    pool().waitForDone();
    QCoreApplication::sendPostedEvents();
}

}
