#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the tests: it parses each request it receives (request
// line, headers, a Content-Length body) and answers with what the test's responder returns.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <functional>
#include <optional>
#include <vector>

struct ReceivedRequest {
    QByteArray method;
    QByteArray path;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

struct CannedAnswer {
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool hang = false; // never answer
    // Written as it is instead of an HTTP answer, then the connection is closed.
    std::optional<QByteArray> raw;
};

class LocalHttpServer : public QTcpServer {
public:
    using Responder = std::function<CannedAnswer(const ReceivedRequest&)>;

    explicit LocalHttpServer(Responder responder)
        : m_responder(std::move(responder))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { readFrom(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

    std::vector<ReceivedRequest> received;

private:
    void readFrom(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        ReceivedRequest request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        received.push_back(request);
        const CannedAnswer answer = m_responder(request);
        if (answer.hang)
            return;
        if (answer.raw) {
            socket->write(*answer.raw);
            socket->disconnectFromHost();
            return;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n";
        out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n";
        for (const auto& header : answer.headers)
            out += header.first + ": " + header.second + "\r\n";
        out += "\r\n" + answer.body;
        socket->write(out);
        socket->disconnectFromHost();
    }

    Responder m_responder;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

// Where the tests put pictures to look at: <build dir>/artifacts.
inline QString artifactPath(const QString& name)
{
    QString dir = qEnvironmentVariable("QUORVEL_BUILD_DIR");
    if (dir.isEmpty() && qEnvironmentVariableIsSet("QUORVEL_TEST_SOURCE_DIR"))
        dir = qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR") + QStringLiteral("/build");
    dir += dir.isEmpty() ? QStringLiteral("artifacts") : QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

// Runs the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}
