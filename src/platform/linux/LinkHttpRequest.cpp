#include "platform/linux/LinkHttpRequest.h"

#include "platform/LinkMetadataProvider.h"

#include <QHostInfo>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

// What the socket may hold beyond what was taken out of it: a page over the cap never piles up.
constexpr qint64 socketBufferBytes = 64 * 1024;
// A chunk-size line is a few hex digits and perhaps an extension.
constexpr qsizetype maxChunkLine = 1024;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool inSubnet(const QHostAddress& address, const char* network, int bits)
{
    return address.isInSubnet(QHostAddress(QString::fromLatin1(network)), bits);
}

}

LinkHttpRequest::LinkHttpRequest(
    const QUrl& url, QByteArray accept, Limits limits, bool reachedPublic, Done done, QObject* parent)
    : QObject(parent)
    , m_url(url)
    , m_accept(std::move(accept))
    , m_limits(std::move(limits))
    , m_reachedPublic(reachedPublic)
    , m_done(std::move(done))
{
}

LinkHttpRequest::~LinkHttpRequest()
{
    abort();
}

bool LinkHttpRequest::isPublicAddress(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // also for IPv4-mapped IPv6 addresses
    if (isV4) {
        const QHostAddress a(v4);
        return !(inSubnet(a, "0.0.0.0", 8) || inSubnet(a, "10.0.0.0", 8) || inSubnet(a, "100.64.0.0", 10)
            || inSubnet(a, "127.0.0.0", 8) || inSubnet(a, "169.254.0.0", 16) || inSubnet(a, "172.16.0.0", 12)
            || inSubnet(a, "192.168.0.0", 16) || inSubnet(a, "224.0.0.0", 3));
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    return !(address.isLoopback() || address == QHostAddress(QHostAddress::AnyIPv6) || inSubnet(address, "fe80::", 10)
        || inSubnet(address, "fc00::", 7) || inSubnet(address, "fec0::", 10) || inSubnet(address, "ff00::", 8));
}

void LinkHttpRequest::start()
{
    request(m_url);
}

void LinkHttpRequest::abort()
{
    m_finished = true;
    if (m_lookupID >= 0) {
        QHostInfo::abortHostLookup(m_lookupID);
        m_lookupID = -1;
    }
    closeSocket();
}

void LinkHttpRequest::closeSocket()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort(); // the connection is closed now, not when the server is done
    m_socket->deleteLater();
    m_socket = nullptr;
}

void LinkHttpRequest::request(const QUrl& url)
{
    m_url = url;
    m_response = Response {};
    m_response.url = url;
    m_buffer.clear();
    m_headDone = false;
    m_location.clear();
    m_chunkState = ChunkState::Size;
    const QString host = url.host();
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        connectTo(literal);
        return;
    }
    m_lookupID = QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
        m_lookupID = -1;
        if (m_finished)
            return;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            fail(QStringLiteral("cannot resolve %1: %2").arg(info.hostName(), info.errorString()));
            return;
        }
        connectTo(info.addresses().constFirst());
    });
}

void LinkHttpRequest::connectTo(const QHostAddress& address)
{
    const bool tls = m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(m_url.port(tls ? 443 : 80));
    const bool isPublic = m_limits.isPublic ? m_limits.isPublic(address, port) : isPublicAddress(address);
    if (m_reachedPublic && !isPublic) {
        fail(QStringLiteral("refused to follow a public address to %1, which is not public").arg(address.toString()));
        return;
    }
    m_reachedPublic = m_reachedPublic || isPublic;

    if (tls) {
        auto* socket = new QSslSocket(this);
        m_socket = socket;
        connect(socket, &QSslSocket::encrypted, this, &LinkHttpRequest::onConnected);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &LinkHttpRequest::onConnected);
    }
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setReadBufferSize(socketBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &LinkHttpRequest::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &LinkHttpRequest::onDisconnected);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A server that ends the body by closing is the normal end; disconnected() judges it.
        if (error != QAbstractSocket::RemoteHostClosedError && m_socket)
            fail(m_socket->errorString());
    });
    if (tls)
        static_cast<QSslSocket*>(m_socket)->connectToHostEncrypted(address.toString(), port, m_url.host());
    else
        m_socket->connectToHost(address, port);
}

void LinkHttpRequest::onConnected()
{
    QUrl authority = m_url;
    authority.setUserInfo({});
    QByteArray target = m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    const QByteArray head = "GET " + target + " HTTP/1.1\r\nHost: " + authority.authority(QUrl::FullyEncoded).toLatin1()
        + "\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64) Quorvel/" QUORVEL_VERSION "\r\nAccept: " + m_accept
        + "\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n";
    m_socket->write(head);
}

void LinkHttpRequest::onReadyRead()
{
    if (m_finished || !m_socket)
        return;
    m_buffer += m_socket->readAll();
    if (!m_headDone && !readHead())
        return;
    if (m_headDone)
        readBody();
}

void LinkHttpRequest::onDisconnected()
{
    onReadyRead();
    if (m_finished)
        return;
    if (!m_headDone)
        fail(QStringLiteral("the server closed the connection before answering"));
    else if (m_bodyMode == BodyMode::UntilClose)
        succeed();
    else
        fail(QStringLiteral("the server closed the connection before the end of the body"));
}

// The status line and the header fields; false while they are incomplete (or on failure).
// Interim answers (1xx) before the real one are read and passed over.
bool LinkHttpRequest::readHead()
{
    // Where the next head starts; the heads read are taken off the buffer at once, not one by one.
    qsizetype start = 0;
    for (;;) {
        qsizetype end = m_buffer.indexOf("\r\n\r\n", start);
        qsizetype skip = 4;
        // A head ended by bare line feeds counts when it ends first (looked for only up to there).
        const QByteArrayView ahead = QByteArrayView(m_buffer).sliced(
            start, (end < 0 ? m_buffer.size() : end + 1) - start);
        if (const qsizetype bare = ahead.indexOf("\n\n"); bare >= 0) {
            end = start + bare;
            skip = 2;
        }
        if (end < 0 || end - start > m_limits.maxHeaderBytes) {
            m_buffer.remove(0, start);
            if (m_buffer.size() > m_limits.maxHeaderBytes)
                fail(QStringLiteral("the response head is larger than %1 bytes").arg(m_limits.maxHeaderBytes));
            return false;
        }
        const QList<QByteArray> lines = m_buffer.sliced(start, end - start).split('\n');
        start = end + skip;
        if (!readHeadLines(lines))
            return false;
        if (m_response.status < 100 || m_response.status >= 200)
            break;
        m_response.status = 0; // an interim answer: the real one follows
    }
    m_buffer.remove(0, start);
    m_headDone = true;
    const qint64 length = m_contentLength;
    if (isRedirect(m_response.status) && !m_location.isEmpty()) {
        followRedirect(m_location);
        return false;
    }
    if (m_response.status == 204 || m_response.status == 304 || length == 0) {
        succeed();
        return false;
    }
    if (m_chunked) {
        m_bodyMode = BodyMode::Chunked;
    } else if (length > 0) {
        m_bodyMode = BodyMode::Length;
        m_remaining = length;
        if (m_limits.refuseOversizedBody && length > m_limits.maxBodyBytes) {
            m_response.capped = true;
            succeed();
            return false;
        }
    } else {
        m_bodyMode = BodyMode::UntilClose;
    }
    return true;
}

// The status line and header fields of one head; false (after fail()) when it is not HTTP.
bool LinkHttpRequest::readHeadLines(const QList<QByteArray>& lines)
{
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    bool numeric = false;
    m_response.status = statusLine.value(1).toInt(&numeric);
    if (!statusLine.value(0).startsWith("HTTP/") || !numeric) {
        fail(QStringLiteral("the answer is not HTTP"));
        return false;
    }
    m_contentLength = -1;
    m_chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "content-length")
            m_contentLength = value.toLongLong();
        else if (name == "transfer-encoding")
            m_chunked = value.toLower().contains("chunked");
        else if (name == "content-type")
            m_response.contentType = value.toLower();
        else if (name == "location")
            m_location = value;
    }
    return true;
}

bool LinkHttpRequest::readBody()
{
    switch (m_bodyMode) {
    case BodyMode::Chunked:
        return readChunked();
    case BodyMode::Length: {
        const qint64 take = std::min<qint64>(m_remaining, m_buffer.size());
        appendBody(m_buffer.left(take));
        m_buffer.remove(0, take);
        m_remaining -= take;
        if (!m_finished && m_remaining == 0)
            succeed();
        return true;
    }
    case BodyMode::UntilClose:
        appendBody(m_buffer);
        m_buffer.clear();
        return true;
    }
    return true;
}

bool LinkHttpRequest::readChunked()
{
    while (!m_finished) {
        if (m_chunkState == ChunkState::Size || m_chunkState == ChunkState::DataEnd) {
            const qsizetype newline = m_buffer.indexOf('\n');
            if (newline < 0) {
                if (m_buffer.size() > maxChunkLine)
                    fail(QStringLiteral("a chunk header is too long"));
                return false;
            }
            const QByteArray line = m_buffer.left(newline).trimmed();
            m_buffer.remove(0, newline + 1);
            if (m_chunkState == ChunkState::DataEnd) {
                m_chunkState = ChunkState::Size;
                continue;
            }
            bool ok = false;
            const qint64 size = line.split(';').value(0).trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0) {
                fail(QStringLiteral("a chunk size is not a number"));
                return false;
            }
            if (size == 0) {
                succeed(); // trailers are not needed
                return true;
            }
            m_remaining = size;
            m_chunkState = ChunkState::Data;
        }
        if (m_buffer.isEmpty())
            return false;
        const qint64 take = std::min<qint64>(m_remaining, m_buffer.size());
        appendBody(m_buffer.left(take));
        m_buffer.remove(0, take);
        m_remaining -= take;
        if (m_remaining == 0)
            m_chunkState = ChunkState::DataEnd;
    }
    return true;
}

void LinkHttpRequest::appendBody(const QByteArray& bytes)
{
    if (m_finished)
        return;
    const qint64 room = m_limits.maxBodyBytes - m_response.body.size();
    if (bytes.size() <= room) {
        m_response.body += bytes;
        return;
    }
    // The cap: reading stops here and the connection is closed.
    m_response.body += bytes.left(std::max<qint64>(0, room));
    m_response.capped = true;
    succeed();
}

void LinkHttpRequest::followRedirect(const QByteArray& location)
{
    const QUrl target = m_url.resolved(QUrl::fromEncoded(location));
    const QString scheme = target.scheme().toLower();
    if (++m_redirects > m_limits.maxRedirects)
        fail(QStringLiteral("more than %1 redirects").arg(m_limits.maxRedirects));
    else if ((scheme != u"http" && scheme != u"https") || target.host().isEmpty())
        fail(QStringLiteral("a redirect to %1 is not followed").arg(target.scheme()));
    else if (m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 && scheme == u"http")
        fail(QStringLiteral("a redirect from https to http is not followed"));
    else if (LinkMetadataProvider::carriesSecret(target))
        fail(QStringLiteral("a redirect to a link that carries a secret is not followed"));
    else {
        closeSocket();
        request(target);
    }
}

void LinkHttpRequest::succeed()
{
    if (m_finished)
        return;
    m_response.ok = true;
    Response response = std::move(m_response);
    abort();
    if (m_done)
        m_done(response);
}

void LinkHttpRequest::fail(const QString& error)
{
    if (m_finished)
        return;
    Response response = std::move(m_response);
    response.ok = false;
    response.error = error;
    abort();
    if (m_done)
        m_done(response);
}
