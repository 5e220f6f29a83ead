#include "app/InstanceChannel.h"

#include "platform/Console.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr int kTimeoutMs = 2000;
constexpr qint64 kMaxRequest = 64;
}

QString InstanceChannel::serverName(const QString& lockPath)
{
    // A short name in the temporary folder: socket paths are limited to about 100 bytes.
    const QByteArray digest = QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("quorvel-") + QString::fromLatin1(digest.left(24));
}

bool InstanceChannel::askRunningInstance(const QString& lockPath, const QByteArray& request)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(lockPath));
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    socket.write(request);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kTimeoutMs);
    return true;
}

InstanceChannel::InstanceChannel(const QString& lockPath, std::function<void()> onShowSettings, QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
    , m_onShowSettings(std::move(onShowSettings))
{
    const QString name = serverName(lockPath);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name); // left behind by a crash; we hold the lock
    if (!m_server->listen(name)) {
        Console::log(QStringLiteral("InstanceChannel: cannot listen for a second start: ") + m_server->errorString());
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > kMaxRequest)
                        socket->abort();
                    return;
                }
                const QByteArray line = socket->readLine(kMaxRequest);
                if (line == showSettingsRequest && m_onShowSettings)
                    m_onShowSettings();
                socket->disconnectFromServer();
            });
        }
    });
}

bool InstanceChannel::isListening() const
{
    return m_server->isListening();
}
