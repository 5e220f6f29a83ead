#include "platform/linux/DBusDesktopNotifier.h"

#include "platform/linux/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace {
QDBusMessage notifyCall(const QString& summary, const QString& body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    call << QStringLiteral("Quorvel") << uint(0) << QStringLiteral("media-record") << summary << body << QStringList()
         << QVariantMap() << int(-1);
    return call;
}
}

void DBusDesktopNotifier::notify(const QString& summary, const QString& body)
{
    if (!SessionBus::exists())
        return;
    QDBusConnection::sessionBus().asyncCall(notifyCall(summary, body));
}

void DBusDesktopNotifier::notifyBeforeExit(const QString& summary, const QString& body)
{
    if (!SessionBus::exists())
        return;
    // A message still queued when the process ends would never be sent.
    constexpr int answerWithinMs = 3000;
    QDBusConnection::sessionBus().call(notifyCall(summary, body), QDBus::Block, answerWithinMs);
}
