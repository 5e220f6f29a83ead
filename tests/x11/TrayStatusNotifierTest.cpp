// The tray on a desktop with a StatusNotifier host: a watcher on the session bus (run on a thread
// of its own, as a desktop's panel would answer) takes the program's item, the item exports the
// menu's rows over DBusMenu with their labels, and a click sent by the host runs the row.
#include "QuorvelUnderTest.h"
#include "menubar/MenuBarView.h"
#include "settings/SettingsWindowManager.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMutex>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTest>
#include <gtest/gtest.h>

// The host side of the StatusNotifier protocol: says a host is there and keeps the items.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        QMutexLocker lock(&m_mutex);
        // An item may name itself by its object path only; the sender is its service then.
        m_items << (service.startsWith(u'/') ? message.service() : service);
    }
    void RegisterStatusNotifierHost(const QString&) { }

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

namespace {

// (Xlib's macros would clash with this file's meta-object code, so no X11TestSupport here.)
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// A call from the host's own connection, answered while this thread keeps its event loop going
// (the item lives on it).
QDBusMessage callItem(QDBusConnection& host, const QDBusMessage& message)
{
    QDBusPendingCall pending = host.asyncCall(message, 5000);
    waitUntil([&] { return pending.isFinished(); }, 6000);
    return pending.reply();
}

// The (id, label) of every row of a DBusMenu layout, depth first.
void collectLabels(const QDBusArgument& argument, QList<std::pair<int, QString>>& rows)
{
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        collectLabels(child.variant().value<QDBusArgument>(), rows);
    }
    argument.endArray();
    argument.endStructure();
    if (properties.contains(QStringLiteral("label")))
        rows.append({id, properties.value(QStringLiteral("label")).toString()});
}

}

TEST(TrayStatusNotifier, HostGetsTheItemItsMenuRowsAndClicks)
{
    QThread hostThread;
    hostThread.start();
    auto* watcher = new StatusNotifierWatcher;
    watcher->moveToThread(&hostThread);
    QDBusConnection host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("host"));
    ASSERT_TRUE(host.isConnected()) << "needs a session bus";
    ASSERT_TRUE(host.registerObject(QStringLiteral("/StatusNotifierWatcher"), watcher,
        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(host.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    {
        QuorvelUnderTest quorvel;
        ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
        quorvel.app->showStatusItem();
        ASSERT_TRUE(waitUntil([&] { return !watcher->items().isEmpty(); }, 8000)) << "no item was registered";
        const QString item = watcher->items().first();

        // The item points the host at its menu.
        QDBusMessage get = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
        const QDBusMessage menuPath = callItem(host, get);
        ASSERT_EQ(menuPath.type(), QDBusMessage::ReplyMessage) << menuPath.errorMessage().toStdString();
        const QString menuObject = menuPath.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
        ASSERT_FALSE(menuObject.isEmpty());

        // The rows as the host lists them.
        QDBusMessage aboutToShow = QDBusMessage::createMethodCall(
            item, menuObject, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("AboutToShow"));
        aboutToShow << 0;
        callItem(host, aboutToShow);
        QDBusMessage layout = QDBusMessage::createMethodCall(
            item, menuObject, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
        layout << 0 << -1 << QStringList();
        const QDBusMessage answer = callItem(host, layout);
        ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
        QList<std::pair<int, QString>> rows;
        collectLabels(answer.arguments().value(1).value<QDBusArgument>(), rows);
        QStringList labels;
        int settingsId = -1;
        for (const auto& [id, label] : rows) {
            labels << label;
            if (label.startsWith(QStringLiteral("Settings...")))
                settingsId = id;
        }
        EXPECT_TRUE(labels.contains(QStringLiteral("Screenshot (Bereich)"))) << labels.join(", ").toStdString();
        EXPECT_TRUE(labels.contains(QStringLiteral("Bereich aufnehmen"))) << labels.join(", ").toStdString();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
            [](const QString& label) { return label.startsWith(QStringLiteral("Quit Quorvel")); }));
        ASSERT_GE(settingsId, 0) << labels.join(", ").toStdString();

        // The host's click runs the row.
        QDBusMessage event = QDBusMessage::createMethodCall(
            item, menuObject, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"));
        event << settingsId << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(QString())) << 0u;
        callItem(host, event);
        EXPECT_TRUE(waitUntil([&] {
            QWidget* window = quorvel.app->settingsWindows().settingsWindow();
            return window && window->isVisible();
        }));
    }
    host.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("host"));
    hostThread.quit();
    hostThread.wait();
    delete watcher;
}

#include "TrayStatusNotifierTest.moc"
