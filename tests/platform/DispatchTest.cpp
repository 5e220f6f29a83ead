#include "fakes/ManualQueue.h"
#include "platform/Dispatch.h"

#include <QCoreApplication>
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
    queue->asyncAfter(30ms, [&] { record("30ms"); last = true; });
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

// Disabled: SerialQueue's destructor calls quit() from the destroying thread, which ends the loop
// before (or instead of) running what is queued. Posting the quit() as the queue's last work item
// fixes it; enable this test with that change.
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

TEST(ManualQueueTest, RunsNothingUntilAskedThenInTimeOrder)
{
    ManualQueue queue;
    QStringList order;
    queue.asyncAfter(100ms, [&] { order << "100"; });
    queue.async([&] { order << "now-1"; });
    queue.asyncAfter(50ms, [&] {
        order << "50";
        // Work scheduled while advancing runs in the same advance when it falls due.
        queue.asyncAfter(20ms, [&] { order << "70"; });
        queue.async([&] { order << "50-now"; });
    });
    queue.async([&] { order << "now-2"; });
    EXPECT_TRUE(order.isEmpty());
    EXPECT_EQ(queue.pendingCount(), 4);

    EXPECT_EQ(queue.runPending(), 2);
    EXPECT_EQ(order, QStringList({"now-1", "now-2"}));
    EXPECT_EQ(queue.nextDueInMs(), 50);

    queue.advance(99);
    EXPECT_EQ(order, QStringList({"now-1", "now-2", "50", "50-now", "70"}));
    EXPECT_EQ(queue.nowMs(), 99);
    queue.advance(1ms);
    EXPECT_EQ(order.last(), QStringLiteral("100"));
    EXPECT_EQ(queue.pendingCount(), 0);
    EXPECT_EQ(queue.nextDueInMs(), -1);
}

TEST(ManualQueueTest, WorkSeesTheClockAtItsDueTime)
{
    ManualQueue queue;
    qint64 seen = -1;
    queue.asyncAfter(400ms, [&] { seen = queue.nowMs(); });
    queue.advance(1000);
    EXPECT_EQ(seen, 400);
    EXPECT_EQ(queue.nowMs(), 1000);
}

TEST(ManualQueueTest, RepeatingTimersFireEveryIntervalUntilCancelled)
{
    ManualQueue queue;
    std::vector<qint64> fired;
    std::unique_ptr<DispatchTimer> timer;
    timer = queue.scheduleRepeating(500ms, [&] {
        fired.push_back(queue.nowMs());
        if (fired.size() == 3)
            timer->cancel(); // cancelling from its own handler
    });
    queue.advance(499);
    EXPECT_TRUE(fired.empty());
    queue.advance(10000);
    EXPECT_EQ(fired, (std::vector<qint64> {500, 1000, 1500}));

    int ticks = 0;
    auto other = queue.scheduleRepeating(100ms, [&] { ++ticks; });
    queue.advance(250);
    other.reset(); // destroying stops it too
    queue.advance(1000);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST(ManualQueueTest, CancelledWorkItemIsSkipped)
{
    ManualQueue queue;
    int ran = 0;
    auto item = std::make_shared<DispatchWorkItem>([&] { ++ran; });
    queue.asyncAfter(400ms, item);
    item->cancel();
    queue.advance(400);
    EXPECT_EQ(ran, 0);
}

}
