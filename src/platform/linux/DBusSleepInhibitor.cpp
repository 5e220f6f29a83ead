#include "platform/linux/DBusSleepInhibitor.h"

#include "platform/linux/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <unistd.h>

namespace {
const QString applicationName = QStringLiteral("Quorvel");
constexpr int callTimeoutMs = 3000;
}

DBusSleepInhibitor::~DBusSleepInhibitor()
{
    release();
}

bool DBusSleepInhibitor::inhibit(const QString& reason, QString* error)
{
    std::lock_guard lock(m_mutex);
    if (m_cookie || m_logindFd >= 0)
        return true;
    QString sessionError;
    if (SessionBus::exists()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("Inhibit"));
        call << applicationName << reason;
        const QDBusReply<uint> reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
        if (reply.isValid()) {
            m_cookie = reply.value();
            return true;
        }
        sessionError = reply.error().message();
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << applicationName << reason << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> reply = QDBusConnection::systemBus().call(call, QDBus::Block, callTimeoutMs);
    if (reply.isValid() && reply.value().isValid()) {
        m_logindFd = ::dup(reply.value().fileDescriptor());
        return true;
    }
    if (error) {
        *error = QStringLiteral("no inhibitor answered (screen saver: %1; logind: %2)")
                     .arg(sessionError.isEmpty() ? QStringLiteral("no session bus") : sessionError,
                         reply.error().message());
    }
    return false;
}

void DBusSleepInhibitor::release()
{
    std::lock_guard lock(m_mutex);
    if (m_cookie) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("UnInhibit"));
        call << *m_cookie;
        QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
        m_cookie.reset();
    }
    if (m_logindFd >= 0) {
        ::close(m_logindFd); // closing the descriptor ends logind's inhibition
        m_logindFd = -1;
    }
}
