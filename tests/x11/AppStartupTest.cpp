// Starts the real quorvel binary under Xvfb with a fresh home and checks what a first launch
// leaves behind, and that SIGTERM ends it through the termination steps.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include "app/PlatformServices.h"
#include "app/QuorvelApp.h"
#include "X11TestSupport.h"
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/TestSupport.h"
#include "platform/Console.h"
#include "platform/DesktopNotifier.h"
#include "platform/linux/SessionBus.h"

using x11test::PrivateXServer;
using x11test::waitUntil;

namespace {

QString binary()
{
    return qEnvironmentVariable("QUORVEL_BINARY");
}

QProcessEnvironment freshEnvironment(const QString& home)
{
    QProcessEnvironment env = x11test::freshHomeEnvironment(home);
    // No Secret Service in this session: the program falls back to its key file.
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    return env;
}

// Runs a query on the store that yields one text value.
QString queryStore(const QString& path, const char* sql)
{
    QString value;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

QStringList tablesIn(const QString& path)
{
    QStringList tables;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &stmt, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                tables << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return tables;
}

// org.freedesktop.Notifications on the session bus, answering on a thread of its own and
// keeping what Notify was given.
class NotificationArea {
public:
    NotificationArea()
    {
        m_thread.start();
        m_object.moveToThread(&m_thread);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        ok = bus.registerService(QStringLiteral("org.freedesktop.Notifications"))
            && bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &m_object);
    }
    ~NotificationArea()
    {
        QDBusConnection::disconnectFromBus(connectionName);
        m_thread.quit();
        m_thread.wait();
    }
    int count() const { return m_object.count; }
    QString summary() const { return m_object.last.value(3).toString(); }
    QString body() const { return m_object.last.value(4).toString(); }
    bool ok = false;

private:
    static constexpr const char* connectionName = "notification-area";
    struct Object : QDBusVirtualObject {
        std::atomic<int> count {0};
        QVariantList last;
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
        {
            if (message.member() == QLatin1String("Notify")) {
                last = message.arguments();
                ++count;
            }
            connection.send(message.createReply(QVariantList {uint(1)}));
            return true;
        }
    };
    QThread m_thread;
    Object m_object;
};

}

TEST(AppStartup, FirstLaunchCreatesStoreAutostartAndPreferencesThenQuitsOnSigterm)
{
    ASSERT_FALSE(binary().isEmpty());
    QTemporaryDir home;
    QProcess process;
    process.setProcessEnvironment(freshEnvironment(home.path()));
    process.start(binary(), {});
    ASSERT_TRUE(process.waitForStarted(5000));

    const QString store = home.path() + "/.local/share/Quorvel/Quorvel.store";
    const QString autostart = home.path() + "/.config/autostart/quorvel.desktop";
    const QString preferences = home.path() + "/.config/Quorvel/preferences.json";
    EXPECT_TRUE(waitUntil(
        [&] {
            const QStringList t = tablesIn(store);
            return t.contains("ClipItem") && t.contains("ClipRepresentation") && t.contains("ScreenshotItem")
                && t.contains("RecordingItem");
        },
        10000))
        << tablesIn(store).join(",").toStdString();
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(autostart); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(preferences); }, 10000));
    EXPECT_EQ(process.state(), QProcess::Running);

    // A second start finds the first, says so and leaves it alone.
    QProcess second;
    second.setProcessEnvironment(freshEnvironment(home.path()));
    second.start(binary(), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains("Quorvel is already running"));
    EXPECT_EQ(process.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    // Matchbox offers no tray: one clear warning, and the program kept running regardless.
    EXPECT_EQ(err.count("no system tray is available"), 1) << err.toStdString();

    QFile desktop(autostart);
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains("[Desktop Entry]"));
    EXPECT_TRUE(entry.contains("Exec="));
}

TEST(AppStartup, UnopenableStoreIsFatalWithItsMessageAndANotification)
{
    NotificationArea area;
    ASSERT_TRUE(area.ok);
    QTemporaryDir home;
    // The data folder is a plain file, so the store's folder cannot be made.
    QFile blocker(home.path() + "/data-is-a-file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A start at login has no terminal: the session bus (with its notification area) stays.
    QProcessEnvironment env = x11test::freshHomeEnvironment(home.path());
    env.insert("XDG_DATA_HOME", blocker.fileName());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binary(), {});
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_NE(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(err.count("Could not create ModelContainer: "), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(blocker.fileName() + "/Quorvel/Quorvel.store")) << err.toStdString(); // names the file
    EXPECT_FALSE(QFile::exists(home.path() + "/.config/autostart/quorvel.desktop"));
    // The notification left the process before it ended.
    ASSERT_EQ(area.count(), 1);
    EXPECT_EQ(area.summary(), QStringLiteral("Quorvel could not start"));
    EXPECT_TRUE(area.body().contains(blocker.fileName() + "/Quorvel/Quorvel.store")) << area.body().toStdString();
}

// The same in the process: one console line, one notification, no application value.
TEST(AppStartup, UnopenableStoreIsToldOnTheConsoleAndTheDesktop)
{
    PlatformServices::installLinux();
    DesktopNotifier& wired = DesktopNotifier::shared();
    FakeDesktopNotifier notifier;
    DesktopNotifier::setShared(&notifier);
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ConsoleCapture console;
    QString error;
    EXPECT_FALSE(QuorvelApp::create(Platform::wired(), blocker.fileName() + "/Quorvel.store", &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_EQ(console.lines.first(), QStringLiteral("Could not create ModelContainer: ") + error);
    EXPECT_EQ(notifier.summaries, QStringList {QStringLiteral("Quorvel could not start")});
    EXPECT_TRUE(notifier.bodies.value(0).contains(error)) << notifier.bodies.value(0).toStdString();
    DesktopNotifier::setShared(&wired);
}

// The X server goes away under a running quorvel (a logout, a restart of the display server): the
// program ends without an abort and leaves its store whole. It runs on an Xvfb of its own.
TEST(XServerLoss, EndsWithoutAbortAndLeavesTheStoreWhole)
{
    PrivateXServer server;
    std::string failure;
    ASSERT_TRUE(server.start(QStringLiteral("640x480"), failure)) << failure;
    const QString display = server.display;

    QTemporaryDir home;
    QProcessEnvironment env = freshEnvironment(home.path());
    env.insert("DISPLAY", display);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binary(), {});
    ASSERT_TRUE(process.waitForStarted(5000));
    const QString store = home.path() + "/.local/share/Quorvel/Quorvel.store";

    // A copy on that display is stored, so the store has been written when the server goes. The
    // autostart file is written after monitoring has started.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(home.path() + "/.config/autostart/quorvel.desktop"); }, 15000))
        << "running: " << (process.state() == QProcess::Running) << ", exit code " << process.exitCode() << ", said: "
        << process.readAllStandardError().toStdString();
    QProcess xclip;
    xclip.setProcessEnvironment(env);
    xclip.start(
        QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    xclip.write("written before the server went away");
    xclip.closeWriteChannel();
    const auto clipItems = [&] { return queryStore(store, "SELECT COUNT(*) FROM ClipItem").toInt(); };
    EXPECT_TRUE(waitUntil([&] { return clipItems() > 0; }, 15000)) << process.readAllStandardError().toStdString();

    // Started without a session bus: the key is kept in a file and no bus was autolaunched on the
    // display (such a daemon would outlive the program).
    if (const QString selection = SessionBus::autolaunchSelectionName(); !selection.isEmpty()) {
        Display* x = XOpenDisplay(display.toLatin1().constData());
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(XGetSelectionOwner(x, XInternAtom(x, selection.toLatin1().constData(), False)), None);
        XCloseDisplay(x);
    }

    server.kill();
    ASSERT_TRUE(process.waitForFinished(10000));
    xclip.waitForFinished(3000);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_TRUE(process.exitCode() == 0 || process.exitCode() == 1) << process.exitCode();
    EXPECT_FALSE(err.contains("double free") || err.contains("corruption") || err.contains("Aborted"))
        << err.toStdString();
    EXPECT_EQ(err.count("the connection to the X server was lost"), 1) << err.toStdString();
    EXPECT_EQ(queryStore(store, "PRAGMA integrity_check"), QStringLiteral("ok"));
    EXPECT_GT(clipItems(), 0);
}
