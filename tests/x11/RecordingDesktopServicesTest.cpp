// The sleep inhibitor and the failure notification over D-Bus, against services the test
// registers on the session bus (this suite runs inside its own dbus-run-session).
#include "../recording/RecordingTestSupport.h"
#include "platform/linux/DBusDesktopNotifier.h"
#include "platform/linux/DBusSleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <functional>
#include <QThread>
#include <atomic>

#include "X11TestSupport.h"

namespace {

// A D-Bus object answering calls through `answer` (which returns the reply's arguments).
class FakeBusObject : public QDBusVirtualObject {
public:
    std::function<QVariantList(const QDBusMessage&)> answer;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        QDBusMessage reply = message.createReply(answer(message));
        connection.send(reply);
        return true;
    }
};

// org.freedesktop.ScreenSaver's Inhibit/UnInhibit, counting holds.
struct FakeScreenSaver : FakeBusObject {
    std::atomic<int> held {0};
    std::atomic<int> inhibits {0};
    QString lastReason;
    FakeScreenSaver()
    {
        answer = [this](const QDBusMessage& call) -> QVariantList {
            if (call.member() == QLatin1String("Inhibit")) {
                lastReason = call.arguments().value(1).toString();
                ++inhibits;
                ++held;
                return {uint(41)};
            }
            if (call.member() == QLatin1String("UnInhibit") && call.arguments().value(0).toUInt() == 41)
                --held;
            return {};
        };
    }
};

// org.freedesktop.Notifications' Notify, keeping the texts.
struct FakeNotifications : FakeBusObject {
    std::atomic<int> count {0};
    QString summary;
    QString body;
    FakeNotifications()
    {
        answer = [this](const QDBusMessage& call) -> QVariantList {
            summary = call.arguments().value(3).toString();
            body = call.arguments().value(4).toString();
            ++count;
            return {uint(1)};
        };
    }
};

// Both services on a connection of their own, answering on a thread of their own (the calls
// under test block their caller).
class FakeDesktop {
public:
    FakeDesktop()
    {
        thread.start();
        screenSaver.moveToThread(&thread);
        notifications.moveToThread(&thread);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-desktop"));
        ok = bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))
            && bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver)
            && bus.registerService(QStringLiteral("org.freedesktop.Notifications"))
            && bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications);
    }
    ~FakeDesktop()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-desktop"));
        thread.quit();
        thread.wait();
    }
    QThread thread;
    FakeScreenSaver screenSaver;
    FakeNotifications notifications;
    bool ok = false;
};

}

// Holds overlap (a start given up that ends beside a running recording): the desktop sees one
// inhibition, given back only when the last hold goes.
TEST(RecordingDesktopServices, InhibitorIsTakenOnceAndReleased)
{
    FakeDesktop desktop;
    ASSERT_TRUE(desktop.ok);
    DBusSleepInhibitor inhibitor;
    QString error;
    auto first = inhibitor.inhibit(QStringLiteral("Quorvel Bildschirmaufnahme"), &error);
    ASSERT_TRUE(first) << error.toStdString();
    EXPECT_EQ(desktop.screenSaver.held, 1);
    EXPECT_EQ(desktop.screenSaver.lastReason, QStringLiteral("Quorvel Bildschirmaufnahme"));
    auto second = inhibitor.inhibit(QStringLiteral("again"), &error);
    EXPECT_TRUE(second);
    EXPECT_EQ(desktop.screenSaver.inhibits, 1);
    first.reset();
    EXPECT_EQ(desktop.screenSaver.held, 1);
    second.reset();
    EXPECT_EQ(desktop.screenSaver.held, 0);
    EXPECT_TRUE(inhibitor.inhibit(QStringLiteral("later"), &error)); // taken anew, and given back at once
    EXPECT_EQ(desktop.screenSaver.inhibits, 2);
    EXPECT_EQ(desktop.screenSaver.held, 0);
}

TEST(RecordingDesktopServices, WithoutAnyInhibitorTheReasonIsGiven)
{
    if (QDBusConnection::systemBus().isConnected())
        GTEST_SKIP() << "a system bus runs: logind may answer";
    DBusSleepInhibitor inhibitor;
    QString error;
    EXPECT_FALSE(inhibitor.inhibit(QStringLiteral("Quorvel Bildschirmaufnahme"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no inhibitor answered"))) << error.toStdString();
}

TEST(RecordingDesktopServices, FailuresReachTheNotificationArea)
{
    FakeDesktop desktop;
    ASSERT_TRUE(desktop.ok);
    DBusDesktopNotifier notifier;
    notifier.notify(QStringLiteral("Bildschirmaufnahme fehlgeschlagen"), QStringLiteral("setup failed: disk full"));
    ASSERT_TRUE(x11test::waitUntil([&] { return desktop.notifications.count == 1; }));
    EXPECT_EQ(desktop.notifications.summary, QStringLiteral("Bildschirmaufnahme fehlgeschlagen"));
    EXPECT_EQ(desktop.notifications.body, QStringLiteral("setup failed: disk full"));
}

TEST(RecordingDesktopServices, ARecordingHoldsTheInhibitorUntilItsStop)
{
    FakeDesktop desktop;
    ASSERT_TRUE(desktop.ok);
    DBusSleepInhibitor inhibitor;
    DBusDesktopNotifier notifier;
    RecordingHarness h;
    h.service = std::make_unique<ScreenRecordingService>(
        ScreenRecordingService::Needs {h.screen, h.writer, h.thumbnailer, inhibitor, h.audio, notifier, h.permissions});
    h.service->setRecordingsDirectory(h.folder.path());
    h.start();
    ASSERT_TRUE(h.service->isRecording());
    EXPECT_EQ(desktop.screenSaver.held, 1);
    EXPECT_EQ(desktop.screenSaver.lastReason, QStringLiteral("Quorvel Bildschirmaufnahme"));
    h.stop();
    EXPECT_EQ(desktop.screenSaver.held, 0);

    // A start that fails tells the desktop, and holds nothing.
    h.start(ScreenRecordingService::DisplayTarget {99});
    ASSERT_TRUE(x11test::waitUntil([&] { return desktop.notifications.count == 1; }));
    EXPECT_EQ(desktop.notifications.summary, QStringLiteral("Bildschirmaufnahme fehlgeschlagen"));
    EXPECT_EQ(desktop.notifications.body, QStringLiteral("the display to record was not found"));
    EXPECT_EQ(desktop.screenSaver.held, 0);
}
