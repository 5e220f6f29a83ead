#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Waits until everything queued so far on queue has run.
bool drain(DispatchQueue& queue)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    queue.async([done] { *done = true; });
    return QTest::qWaitFor([&] { return done->load(); }, 5000);
}

TEST(DispatchTest, SerialQueueRunsInOrderOnItsOwnThread)
{
    auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test"));
    EXPECT_EQ(queue->label(), QStringLiteral("com.quorvel.test"));
    EXPECT_FALSE(queue->isCurrent());

    std::vector<int> order; // touched only on the queue until drained
    std::atomic<int> offQueue {0};
    for (int i = 0; i < 200; ++i)
        queue->async([&, i, q = queue.get()] {
            order.push_back(i);
            if (!q->isCurrent() || QThread::currentThread() == QCoreApplication::instance()->thread())
                ++offQueue;
        });
    ASSERT_TRUE(drain(*queue));
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[size_t(i)], i);
    EXPECT_EQ(offQueue.load(), 0);
}

TEST(DispatchTest, DelayedWorkRunsAfterImmediateWorkAndInDelayOrder)
{
    auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.delay"));
    std::mutex mutex;
    QStringList order;
    auto record = [&](const char* what) {
        std::lock_guard lock(mutex);
        order << what;
    };
    std::atomic<bool> last {false};
    queue->asyncAfter(30ms, [&] {
        record("30ms");
        last = true;
    });
    queue->asyncAfter(5ms, [&] { record("5ms"); });
    queue->async([&] { record("now"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return last.load(); }, 5000));
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, QStringList({"now", "5ms", "30ms"}));
}

TEST(DispatchTest, CancelledWorkItemsDoNotRun)
{
    auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.cancel"));
    std::atomic<int> ran {0};
    auto delayed = std::make_shared<DispatchWorkItem>([&] { ++ran; });
    auto kept = std::make_shared<DispatchWorkItem>([&] { ran += 10; });
    queue->asyncAfter(5ms, delayed);
    queue->asyncAfter(10ms, kept);
    delayed->cancel();
    EXPECT_TRUE(delayed->isCancelled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.load() >= 10; }, 5000));
    ASSERT_TRUE(drain(*queue));
    EXPECT_EQ(ran.load(), 10);
}

TEST(DispatchTest, RepeatingTimerStopsWhenCancelledOrDestroyed)
{
    auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.timer"));
    std::atomic<int> ticks {0};
    std::atomic<int> otherTicks {0};
    auto timer = queue->scheduleRepeating(2ms, [&] { ++ticks; });
    auto other = queue->scheduleRepeating(2ms, [&] { ++otherTicks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.load() >= 3 && otherTicks.load() >= 3; }, 5000));

    timer->cancel();
    other.reset();
    ASSERT_TRUE(drain(*queue)); // a tick running during cancel has finished now
    const int afterCancel = ticks.load();
    const int afterDestroy = otherTicks.load();

    // Several intervals later nothing more has fired.
    std::atomic<bool> later {false};
    queue->asyncAfter(20ms, [&] { later = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return later.load(); }, 5000));
    EXPECT_EQ(ticks.load(), afterCancel);
    EXPECT_EQ(otherTicks.load(), afterDestroy);
}

TEST(DispatchTest, MainQueueRunsOnTheMainThread)
{
    DispatchQueue& main = DispatchQueue::main();
    EXPECT_TRUE(main.isCurrent());
    auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.hop"));
    std::atomic<bool> mainSeesItself {false};
    std::atomic<bool> done {false};
    bool workerSawMain = true;
    queue->async([&] {
        workerSawMain = main.isCurrent();
        main.async([&] {
            mainSeesItself = DispatchQueue::main().isCurrent();
            done = true;
        });
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
    EXPECT_FALSE(workerSawMain);
    EXPECT_TRUE(mainSeesItself.load());
}

TEST(DispatchTest, DestroyingASerialQueueRunsWorkAlreadyQueued)
{
    std::atomic<int> ran {0};
    {
        auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.teardown"));
        queue->async([] { QThread::msleep(20); }); // the queue is busy while the rest arrives
        for (int i = 0; i < 50; ++i)
            queue->async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 50);
}

// Work that does not end (a line to a terminal whose output is suspended) holds the end of its
// queue (the main thread at the quit) only a bounded time, and may still end later on its thread.
TEST(DispatchTest, DestroyingASerialQueueWaitsForStuckWorkABoundedTime)
{
    const auto stuck = std::make_shared<QSemaphore>();
    const auto ended = std::make_shared<std::atomic<bool>>(false);
    auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.stuck"));
    queue->async([stuck, ended] {
        stuck->tryAcquire(1, 20000);
        *ended = true;
    });
    queue.reset();
    EXPECT_FALSE(ended->load());
    stuck->release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended->load(); }, 5000));
}

// Work stuck past its queue's end goes on with the queue and with what it uses: the owner's end
// keeps them (reachable) until the queue's thread has ended, and a later queue's end lets them go.
TEST(DispatchTest, AnOwnersEndKeepsTheQueueAndWhatItsWorkUsesUntilStuckWorkHasEnded)
{
    struct Service {
        std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);
        std::atomic<int> calls {0};
        ~Service() { *gone = true; }
    };
    auto service = std::make_shared<Service>();
    const std::shared_ptr<std::atomic<bool>> gone = service->gone;
    Service* used = service.get();
    const auto stuck = std::make_shared<QSemaphore>();
    {
        SerialQueueOwner owner(DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.owned")), {service});
        service.reset();
        owner->async([stuck, used, queue = owner.get()] {
            stuck->tryAcquire(1, 20000);
            ++used->calls;
            queue->async([] {}); // after the end: never runs, but the queue is there to take it
        });
    } // gives up on the work after the bound
    EXPECT_FALSE(gone->load()) << "freed while its work was still running";
    stuck->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return used->calls.load() == 1; }, 20000)) << "the stuck work never went on";
    EXPECT_FALSE(gone->load());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.later")).reset();
            return gone->load();
        },
        20000))
        << "never let go after the stuck work ended";
}

QStringList g_warnings;

void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg)
        g_warnings.append(message);
}

TEST(DispatchTest, AQueueGoingAwayWithRunningTimersStopsThemOnItsOwnThread)
{
    // A repeating timer never cancelled and a work item still waiting when the queue goes, as at
    // quit: Qt refuses to stop a timer from another thread ("Timers cannot be stopped from another
    // thread"), so both must end on the queue's thread.
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    std::unique_ptr<DispatchTimer> timer;
    {
        auto queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.test.timers"));
        std::atomic<int> ticks {0};
        timer = queue->scheduleRepeating(10ms, [&] { ++ticks; });
        queue->asyncAfter(60s, [] {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.load() > 1; }, 5000));
        ASSERT_TRUE(drain(*queue));
    }
    timer.reset();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join(QLatin1Char('\n')).toStdString();
}

}
