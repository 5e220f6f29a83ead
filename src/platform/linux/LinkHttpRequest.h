#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QTcpSocket;

// One GET of a link preview (a page or its image) over a socket of its own, bounded in every way an
// answer from anywhere on the web could abuse: the response head is capped (maxHeaderBytes), the
// body is read only up to maxBodyBytes (the socket's read buffer is small, so nothing much larger
// is ever buffered), redirects are followed at most maxRedirects times and never to a less safe
// scheme, to a link that carries a secret, or from a public address to a loopback, link-local or
// private one. abort() closes the connection at once. Plain HTTP/1.1 with "Connection: close" and
// no compression; chunked bodies are decoded. Lives on the thread that created it; deleted by its
// owner.
class LinkHttpRequest : public QObject {
public:
    struct Limits {
        qint64 maxHeaderBytes = 64 * 1024;
        qint64 maxBodyBytes = 2 * 1024 * 1024;
        int maxRedirects = 5;
        // A body announced larger than maxBodyBytes is refused before it is read (images);
        // otherwise it is read up to the cap (pages).
        bool refuseOversizedBody = false;
        // Whether an address counts as public (tests name their own); the default rule is
        // isPublicAddress().
        std::function<bool(const QHostAddress&, quint16 port)> isPublic;
    };
    struct Response {
        bool ok = false; // a complete (or capped) answer with a status line
        int status = 0;
        QByteArray contentType;
        QByteArray body;
        bool capped = false; // the body was cut at maxBodyBytes
        QUrl url;            // the last address requested
        QString error;
    };
    using Done = std::function<void(const Response&)>;

    // reachedPublic: an earlier request of the same preview reached a public address, so this one
    // may not go to a non-public one either.
    LinkHttpRequest(
        const QUrl& url, QByteArray accept, Limits limits, bool reachedPublic, Done done, QObject* parent = nullptr);
    ~LinkHttpRequest() override;

    void start();
    // Closes the connection now; done is not called any more.
    void abort();
    // Whether a request of this exchange went to a public address.
    bool reachedPublic() const { return m_reachedPublic; }

    // Loopback, link-local, private (RFC 1918, shared 100.64/10, unique-local fc00::/7, site-local),
    // unspecified and multicast addresses are not public; IPv4-mapped IPv6 addresses count as their
    // IPv4 address.
    static bool isPublicAddress(const QHostAddress& address);

private:
    enum class BodyMode { Length, Chunked, UntilClose };
    enum class ChunkState { Size, Data, DataEnd, Done };

    void request(const QUrl& url);
    void connectTo(const QHostAddress& address);
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    bool readHead();
    bool readHeadLines(const QList<QByteArray>& lines);
    bool readBody();
    bool readChunked();
    void appendBody(const QByteArray& bytes);
    void followRedirect(const QByteArray& location);
    void succeed();
    void fail(const QString& error);
    void closeSocket();

    QUrl m_url;
    QByteArray m_accept;
    Limits m_limits;
    bool m_reachedPublic = false;
    Done m_done;
    int m_redirects = 0;
    int m_lookupID = -1;
    QTcpSocket* m_socket = nullptr;

    QByteArray m_buffer;
    bool m_headDone = false;
    Response m_response;
    QByteArray m_location;
    BodyMode m_bodyMode = BodyMode::UntilClose;
    qint64 m_contentLength = -1; // named by the head read last; -1 when it named none
    bool m_chunked = false;
    qint64 m_remaining = 0;
    ChunkState m_chunkState = ChunkState::Size;
    bool m_finished = false;
};
