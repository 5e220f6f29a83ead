#pragma once
// The one way off the main thread: work runs on the shared worker pool and its result comes back
// as a queued call on the receiving object's thread. A result whose receiver was destroyed in the
// meantime is dropped, so callers never check for a dead `this`.
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <functional>
#include <memory>
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

namespace Detail {
// Where a result is posted: an object of the receiver's thread that the work itself keeps alive,
// so the worker never touches the receiver (which its own thread may destroy at any moment).
// Whether the receiver still lives is asked on the receiver's thread, when the result arrives.
class Delivery : public QObject {
public:
    explicit Delivery(QObject* receiver)
        : receiver(receiver)
    {
        if (receiver && receiver->thread() != thread())
            moveToThread(receiver->thread());
    }
    QPointer<QObject> receiver;
};

// The last holder of a delivery goes after its result was handled (or dropped unhandled at the
// end of the receiver's thread); no event of the delivery is under way then.
inline std::shared_ptr<Delivery> makeDelivery(QObject* receiver)
{
    return std::shared_ptr<Delivery>(new Delivery(receiver));
}
}

// Runs `work` on `threads`, then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void runOn(QThreadPool& threads, QObject* receiver, Work&& work, Then&& then)
{
    using Result = std::invoke_result_t<Work&>;
    std::shared_ptr<Detail::Delivery> delivery = Detail::makeDelivery(receiver);
    threads.start(
        [delivery = std::move(delivery), work = std::forward<Work>(work), then = std::forward<Then>(then)]() mutable {
            Detail::Delivery* target = delivery.get();
            if constexpr (std::is_void_v<Result>) {
                work();
                QMetaObject::invokeMethod(
                    target,
                    [delivery = std::move(delivery), then = std::move(then)]() mutable {
                        if (delivery->receiver)
                            then();
                    },
                    Qt::QueuedConnection);
            } else {
                Result result = work();
                QMetaObject::invokeMethod(
                    target,
                    [delivery = std::move(delivery), then = std::move(then), result = std::move(result)]() mutable {
                        if (delivery->receiver)
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

// A callback that any thread may call: each call runs `then(args...)` on `receiver`'s thread while
// `receiver` lives, through a delivery as the results above take, so that the calling thread never
// addresses the receiver.
template <typename... Args, typename Then> std::function<void(Args...)> callbackTo(QObject* receiver, Then then)
{
    return [delivery = Detail::makeDelivery(receiver), then = std::move(then)](Args... args) {
        QMetaObject::invokeMethod(
            delivery.get(),
            [delivery, then, args...] {
                if (delivery->receiver)
                    then(args...);
            },
            Qt::QueuedConnection);
    };
}

// Waits for every queued piece of work and delivers the results already posted (tests).
inline void waitForAll()
{
    pool().waitForDone();
    QCoreApplication::sendPostedEvents();
}

// The quit: every piece of pool work still running or queued ends before the process does, and
// the results it posted are handed over (or dropped with their receivers) while the objects they
// reach still exist.
inline void finishAtQuit()
{
    waitForAll();
}

}
