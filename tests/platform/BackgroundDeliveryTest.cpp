// Results of pool work reach their receiver on its thread while it lives, and nothing of a
// receiver destroyed before, during or right after the work is touched.
#include "platform/Background.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThreadPool>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Runs posted events until `done` or a generous limit.
bool deliverUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 30000 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::msleep(1);
    }
    return done();
}

}

TEST(BackgroundDelivery, AResultReachesAReceiverThatLivesOnItsThread)
{
    QObject receiver;
    std::atomic<Qt::HANDLE> workThread {nullptr};
    Qt::HANDLE resultThread = nullptr;
    int result = 0;
    Background::run(
        &receiver,
        [&workThread] {
            workThread = QThread::currentThreadId();
            return 42;
        },
        [&](int value) {
            resultThread = QThread::currentThreadId();
            result = value;
        });
    ASSERT_TRUE(deliverUntil([&] { return result != 0; }));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(resultThread, QThread::currentThreadId());
    EXPECT_NE(workThread.load(), QThread::currentThreadId());
}

TEST(BackgroundDelivery, AReceiverGoneWhileItsWorkRunsOrBeforeItsResultArrivesGetsNothing)
{
    int delivered = 0;
    // Gone while the work runs: the work is held until the receiver is destroyed.
    {
        auto receiver = std::make_unique<QObject>();
        std::promise<void> released;
        std::shared_future<void> gate = released.get_future().share();
        std::atomic<bool> finished {false};
        Background::run(
            receiver.get(),
            [gate, &finished] {
                gate.wait();
                finished = true;
                return 1;
            },
            [&delivered](int) { ++delivered; });
        receiver.reset();
        released.set_value();
        ASSERT_TRUE(deliverUntil([&] { return finished.load(); }));
    }
    // Gone after the result was posted, before it was delivered.
    {
        auto receiver = std::make_unique<QObject>();
        Background::run(
            receiver.get(), [] { return 2; }, [&delivered](int) { ++delivered; });
        Background::pool().waitForDone();
        receiver.reset();
    }
    Background::waitForAll();
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);
}

// The worker never addresses the receiver, which its own thread may destroy at any moment (also
// between a check of the worker and its use): the result goes to an object the work keeps alive,
// and the receiver is asked whether it lives only on its own thread. No event is ever posted to it.
TEST(BackgroundDelivery, NothingIsPostedToTheReceiverItself)
{
    struct PostedEvents : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::MetaCall)
                ++count;
            return false;
        }
    };
    QObject receiver;
    PostedEvents posted;
    receiver.installEventFilter(&posted);
    int delivered = 0;
    Background::run(
        &receiver, [] { return 3; }, [&delivered](int value) { delivered = value; });
    ASSERT_TRUE(deliverUntil([&] { return delivered != 0; }));
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(posted.count, 0);
}

// Work stuck on the worker pool (a decode of a file that never answers) holds up neither Qt's
// global pool, which Qt's painting waits for on the main thread, nor the lifecycle pool.
TEST(BackgroundDelivery, StuckWorkHoldsUpNeitherQtsPoolNorTheLifecyclePool)
{
    QSemaphore stuck;
    const int threads = Background::pool().maxThreadCount();
    for (int i = 0; i < threads; ++i)
        Background::run([&stuck] { stuck.acquire(); });
    std::atomic<int> ran {0};
    QThreadPool::globalInstance()->start([&ran] { ++ran; });
    Background::runLifecycle([&ran] { ++ran; });
    EXPECT_TRUE(deliverUntil([&] { return ran == 2; }));
    stuck.release(threads);
    Background::waitForAll();
}
