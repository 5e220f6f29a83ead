#include "platform/linux/DBusDesktopNotifier.h"

#include "platform/linux/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

void DBusDesktopNotifier::notify(const QString& summary, const QString& body)
{
    if (!SessionBus::exists())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    call << QStringLiteral("Quorvel") << uint(0) << QStringLiteral("media-record") << summary << body << QStringList()
         << QVariantMap() << int(-1);
    QDBusConnection::sessionBus().asyncCall(call);
}
