#include "platform/linux/DBusSleepInhibitor.h"

#include "platform/linux/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <optional>
#include <unistd.h>

namespace {
const QString applicationName = QStringLiteral("Quorvel");
constexpr int callTimeoutMs = 3000;
}

// The desktop's inhibition, given back when its last hold goes.
struct DBusSleepInhibitor::Inhibition {
    std::optional<uint> cookie; // from the screen saver service
    int logindFd = -1;          // from logind

    ~Inhibition()
    {
        if (cookie) {
            QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
                QStringLiteral("UnInhibit"));
            call << *cookie;
            QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
        }
        if (logindFd >= 0)
            ::close(logindFd); // closing the descriptor ends logind's inhibition
    }
};

namespace {
struct SharedHold : SleepInhibitor::Hold {
    explicit SharedHold(std::shared_ptr<void> inhibition)
        : inhibition(std::move(inhibition))
    {
    }
    std::shared_ptr<void> inhibition;
};
}

std::unique_ptr<SleepInhibitor::Hold> DBusSleepInhibitor::inhibit(const QString& reason, QString* error)
{
    std::lock_guard lock(m_mutex);
    if (std::shared_ptr<Inhibition> held = m_current.lock())
        return std::make_unique<SharedHold>(std::move(held));
    auto inhibition = std::make_shared<Inhibition>();
    QString sessionError;
    if (SessionBus::exists()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("Inhibit"));
        call << applicationName << reason;
        const QDBusReply<uint> reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
        if (reply.isValid())
            inhibition->cookie = reply.value();
        else
            sessionError = reply.error().message();
    }
    if (!inhibition->cookie) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
            QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
            QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:idle") << applicationName << reason << QStringLiteral("block");
        const QDBusReply<QDBusUnixFileDescriptor> reply =
            QDBusConnection::systemBus().call(call, QDBus::Block, callTimeoutMs);
        if (reply.isValid() && reply.value().isValid()) {
            inhibition->logindFd = ::dup(reply.value().fileDescriptor());
        } else {
            if (error) {
                *error = QStringLiteral("no inhibitor answered (screen saver: %1; logind: %2)")
                             .arg(sessionError.isEmpty() ? QStringLiteral("no session bus") : sessionError,
                                 reply.error().message());
            }
            return nullptr;
        }
    }
    m_current = inhibition;
    return std::make_unique<SharedHold>(std::move(inhibition));
}
