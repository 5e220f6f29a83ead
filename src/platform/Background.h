#pragma once
// The one way off the main thread: work runs on a pool of our own and its result comes back as a
// queued call on the receiving object's thread. A result whose receiver was destroyed in the
// meantime is dropped, so callers never check for a dead `this`.
//
// Four pools, none of them Qt's global one (Qt's raster painting hands work to that pool and
// waits for it on the main thread, so slow or stuck work there would stop painting):
// - pool(): decoding, encoding, parsing and recognition work, through run();
// - capturePool(): the short steps between a capture's or a recording's hotkey and its grab
//   (probing the screen, listing monitors and windows, the overlay's snapshots, the grab itself),
//   through runCapture(), so that a start never waits behind decodes and shows the screen of the
//   moment of the hotkey;
// - handOffPool(): a still capture's way from its grab to the clipboard and the store (its PNG
//   encode, the encode's bands among them, and its record's insert), through runHandOff(), so that
//   a capture's picture never waits behind decodes and an encode never holds up a start;
// - lifecyclePool(): a recording's start and stop, through runLifecycle(), so that they, and the
//   quit waiting for a movie to be finished, never wait behind work of the other pools.
// No pool is ever destroyed: its destructor would wait for work that may never end. The quit
// waits for all of them through finishAtQuit() (bounded by the exit deadline of the program).
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace Background {

namespace Detail {
// A pool of our own, never destroyed; `maxThreads` 0 keeps Qt's one thread per core.
inline QThreadPool* makePool(const QString& name, int maxThreads)
{
    auto* created = new QThreadPool;
    created->setObjectName(name);
    if (maxThreads > 0)
        created->setMaxThreadCount(maxThreads);
    return created;
}
}

// The pool for decoding, encoding, parsing and recognition work: one thread per core, never a
// thread per call.
inline QThreadPool& pool()
{
    static QThreadPool* const threads = Detail::makePool(QStringLiteral("com.quorvel.work"), 0);
    return *threads;
}

// The pool for starting and stopping recordings: a few threads for short-lived steps that must
// never queue behind other work (a stop finishing a movie on a disk that stopped answering holds
// one, and the next start still finds another).
inline QThreadPool& lifecyclePool()
{
    static QThreadPool* const threads = Detail::makePool(QStringLiteral("com.quorvel.lifecycle"), 4);
    return *threads;
}

// The pool for a capture's steps with the screen, each a few round trips to the display server:
// a few threads, enough for a probe, the monitors and a snapshot of each monitor at once, that
// only such steps use.
inline QThreadPool& capturePool()
{
    static QThreadPool* const threads = Detail::makePool(QStringLiteral("com.quorvel.capture"), 4);
    return *threads;
}

// The pool for a still capture's hand-off: its PNG encode (which deflates its bands on the same
// pool) and the insert of its record. As many threads as cores, at least four, so that an encode
// runs its bands side by side and one insert waiting for the disk holds up no encode.
inline QThreadPool& handOffPool()
{
    static QThreadPool* const threads =
        Detail::makePool(QStringLiteral("com.quorvel.handoff"), std::max(4, QThread::idealThreadCount()));
    return *threads;
}

// Runs `work` on pool() and nothing else.
template <typename Work> void run(Work&& work)
{
    pool().start(std::forward<Work>(work));
}

// Runs `work` on lifecyclePool() and nothing else.
template <typename Work> void runLifecycle(Work&& work)
{
    lifecyclePool().start(std::forward<Work>(work));
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

// Runs `work` on pool(), then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void run(QObject* receiver, Work&& work, Then&& then)
{
    runOn(pool(), receiver, std::forward<Work>(work), std::forward<Then>(then));
}

// Runs `work` on capturePool(), then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void runCapture(QObject* receiver, Work&& work, Then&& then)
{
    runOn(capturePool(), receiver, std::forward<Work>(work), std::forward<Then>(then));
}

// Runs `work` on handOffPool(), then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void runHandOff(QObject* receiver, Work&& work, Then&& then)
{
    runOn(handOffPool(), receiver, std::forward<Work>(work), std::forward<Then>(then));
}

// Runs `work` on lifecyclePool(), then `then(result)` on `receiver`'s thread while `receiver` lives.
template <typename Work, typename Then> void runLifecycle(QObject* receiver, Work&& work, Then&& then)
{
    runOn(lifecyclePool(), receiver, std::forward<Work>(work), std::forward<Then>(then));
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

// Waits for every queued piece of work of the pools and delivers the results already posted
// (tests).
inline void waitForAll()
{
    lifecyclePool().waitForDone();
    capturePool().waitForDone();
    handOffPool().waitForDone();
    pool().waitForDone();
    QCoreApplication::sendPostedEvents();
}

// The quit: every piece of work of the pools still running or queued ends before the process
// does (a movie being finished first), and the results it posted are handed over (or dropped with
// their receivers) while the objects they reach still exist.
inline void finishAtQuit()
{
    waitForAll();
}

}
