#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(NotificationCenterTest, DeliversInRegistrationOrderWithUserInfo)
{
    NotificationCenter center;
    QObject receiver;
    QStringList calls;
    center.observe(NotificationNames::clipboardItemAdded, &receiver, [&](const QVariantMap&) { calls << "first"; });
    center.observe(NotificationNames::screenshotSaved, &receiver, [&](const QVariantMap&) { calls << "other"; });
    center.observe(NotificationNames::clipboardItemAdded, nullptr,
        [&](const QVariantMap& info) { calls << "second:" + info.value(QStringLiteral("hovering")).toString(); });

    center.post(NotificationNames::clipboardItemAdded, {{QStringLiteral("hovering"), true}});
    EXPECT_EQ(calls, QStringList({"first", "second:true"}));
}

TEST(NotificationCenterTest, RemovedObserversAndDestroyedReceiversAreNotCalled)
{
    NotificationCenter center;
    int byToken = 0, byReceiver = 0, destroyed = 0, kept = 0;
    QObject keeper;
    auto* doomed = new QObject;
    const int token = center.observe(QStringLiteral("n"), &keeper, [&](const QVariantMap&) { ++byToken; });
    center.observe(QStringLiteral("n"), doomed, [&](const QVariantMap&) { ++destroyed; });
    QObject removedReceiver;
    center.observe(QStringLiteral("n"), &removedReceiver, [&](const QVariantMap&) { ++byReceiver; });
    center.observe(QStringLiteral("n"), &keeper, [&](const QVariantMap&) { ++kept; });

    center.removeObserver(token);
    center.removeObservers(&removedReceiver);
    delete doomed;
    center.post(QStringLiteral("n"));

    EXPECT_EQ(byToken, 0);
    EXPECT_EQ(byReceiver, 0);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(kept, 1);

    // A handler may remove a later observer during delivery.
    int laterToken = 0;
    center.observe(QStringLiteral("n"), &keeper, [&](const QVariantMap&) { center.removeObserver(laterToken); });
    laterToken = center.observe(QStringLiteral("n"), &keeper, [&](const QVariantMap&) { ++byToken; });
    center.post(QStringLiteral("n"));
    EXPECT_EQ(byToken, 0);
    EXPECT_EQ(kept, 2);
}

TEST(NotificationCenterTest, PostFromAnotherThreadIsDeliveredOnTheMainThread)
{
    NotificationCenter center;
    QObject receiver;
    QThread* deliveredOn = nullptr;
    QVariantMap received;
    center.observe(NotificationNames::recordingSaved, &receiver, [&](const QVariantMap& info) {
        deliveredOn = QThread::currentThread();
        received = info;
    });

    std::unique_ptr<QThread> worker(QThread::create([&] {
        center.post(NotificationNames::recordingSaved, {{QStringLiteral("file"), QStringLiteral("a.mov")}});
    }));
    worker->start();
    ASSERT_TRUE(worker->wait(5000));
    EXPECT_EQ(deliveredOn, nullptr); // not delivered on the worker
    ASSERT_TRUE(QTest::qWaitFor([&] { return deliveredOn != nullptr; }, 5000));
    EXPECT_EQ(deliveredOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(received.value(QStringLiteral("file")).toString(), QStringLiteral("a.mov"));
}

}
