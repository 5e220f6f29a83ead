// Link previews: page parsing, and fetching from a local HTTP server with the limits on time,
// redirects, size and image allocation.
#include "fakes/TestSupport.h"
#include "platform/linux/LinkHttpRequest.h"
#include "platform/linux/QtLinkMetadataProvider.h"

#include <QFile>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSet>
#include <QTimer>
#include <QHash>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Answers GET requests from a table of paths. "/hang" never answers.
class TinyHttpServer : public QObject {
public:
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        QByteArray location;
    };

    TinyHttpServer()
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path);
    }

    QHash<QString, Response> routes;
    QStringList requested;

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& buffer = pending[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(buffer.split(' ').value(1));
        pending.remove(socket);
        requested.append(path);
        if (path == u"/hang")
            return;
        const Response r = routes.value(path, Response {404, "text/plain", "missing", {}});
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nContent-Type: " + r.contentType
            + "\r\nContent-Length: " + QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n";
        if (!r.location.isEmpty())
            head += "Location: " + r.location + "\r\n";
        socket->write(head + "\r\n" + r.body);
        socket->flush();
        socket->disconnectFromHost();
    }

    QTcpServer server;
    QHash<QTcpSocket*, QByteArray> pending;
};

struct Answer {
    std::optional<QString> title;
    std::optional<QByteArray> image;
};

Answer fetch(QtLinkMetadataProvider& provider, const QString& url)
{
    std::mutex mutex;
    std::optional<Answer> answer;
    provider.fetchMetadata(QUrl(url), [&](std::optional<QString> title, std::optional<QByteArray> image) {
        std::lock_guard lock(mutex);
        answer = Answer {title, image};
    });
    // A safety net only: the provider's own time-out ends every fetch long before this.
    QDeadlineTimer safety(30000);
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (answer)
                return *answer;
        }
        if (safety.hasExpired())
            return {QStringLiteral("<no answer>"), std::nullopt};
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

}

TEST(LinkPageParsing, PrefersOgTitleDecodesEntitiesResolvesImages)
{
    const QUrl base("https://example.com/articles/one");
    auto page = QtLinkMetadataProvider::parseHTML(
        "<html><head><TITLE>\n  Plain &amp; simple  </TITLE>"
        "<meta property='og:title' content=\"Open &quot;Graph&quot; &#8211; Title\">"
        "<meta content=\"../img/cover.png\" property=\"og:image\"/></head></html>",
        base);
    EXPECT_EQ(page.title, QString::fromUtf8("Open \"Graph\" \u2013 Title"));
    EXPECT_EQ(page.imageURL, QUrl("https://example.com/img/cover.png"));

    page = QtLinkMetadataProvider::parseHTML(
        "<title>Only\n title</title><meta name=og:image content=file:///etc/passwd>", base);
    EXPECT_EQ(page.title, "Only title");
    EXPECT_EQ(page.imageURL, std::nullopt); // previews load only from the web

    page = QtLinkMetadataProvider::parseHTML("<title>  </title>", base);
    EXPECT_EQ(page.title, std::nullopt);

    // Latin-1 pages named by their header.
    page = QtLinkMetadataProvider::parseHTML("<title>Gr\xfc\xdf"
                                             "e</title>",
        base, "text/html; charset=ISO-8859-1");
    EXPECT_EQ(page.title, QString::fromUtf8("Grüße"));
}

QByteArray savedPage(const char* name)
{
    QFile file(qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", QStringLiteral("."))
        + QStringLiteral("/tests/data/linkpages/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(LinkPageParsing, SavedPagesWithCommentsScriptsSvgEntitiesAndAngleBracketsInAttributes)
{
    const QUrl base("https://example.com/articles/one");
    // Titles in comments, scripts, styles and an SVG icon are not the page's.
    auto page = QtLinkMetadataProvider::parseHTML(savedPage("comments-scripts-svg.html"), base);
    EXPECT_EQ(page.title, QString::fromUtf8("Caf\u00e9 & Cr\u00e8me \u2013 le guide"));
    EXPECT_EQ(page.imageURL, QUrl("https://example.com/images/cover.jpg?size=large&v=2"));

    // A '>' inside a quoted attribute value belongs to the value.
    page = QtLinkMetadataProvider::parseHTML(savedPage("attribute-with-gt.html"), base);
    EXPECT_EQ(page.title, QString::fromUtf8("Fish > Chips \u2014 \"Menu\""));
    EXPECT_EQ(page.imageURL, QUrl("https://cdn.example.com/p/1.png"));

    // Unquoted values, and a charset named only by the page itself.
    page = QtLinkMetadataProvider::parseHTML(
        "<title>Hello page</title><meta property=og:image content=/pic.png>", base);
    EXPECT_EQ(page.title, "Hello page");
    EXPECT_EQ(page.imageURL, QUrl("https://example.com/pic.png"));
    page = QtLinkMetadataProvider::parseHTML("<meta charset=iso-8859-1><title>Gr\xfc\xdf"
                                             "e</title>",
        base);
    EXPECT_EQ(page.title, QString::fromUtf8("Gr\u00fc\u00dfe"));
    page = QtLinkMetadataProvider::parseHTML("<!-- <title>x</title> --><svg><title>icon</title></svg>", base);
    EXPECT_EQ(page.title, std::nullopt);
}

TEST(LinkImageDecoding, ReencodesAsJPEGWithinTheAllocationLimit)
{
    const auto jpeg = QtLinkMetadataProvider::jpegFromImageData(imageBytes(40, 30, "png", QColor(0, 0, 0, 0)), 1 << 20);
    ASSERT_TRUE(jpeg.has_value());
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(*jpeg, "JPEG"));
    EXPECT_EQ(decoded.size(), QSize(40, 30));
    EXPECT_GT(qGray(decoded.pixel(5, 5)), 240); // transparency lands on white
    EXPECT_EQ(QtLinkMetadataProvider::jpegFromImageData(imageBytes(600, 600), 600 * 600 * 4 - 1), std::nullopt);
    EXPECT_EQ(QtLinkMetadataProvider::jpegFromImageData("<svg/>?", 1 << 20), std::nullopt);
}

TEST(LinkFetching, TitleAndImageFromTheWeb)
{
    TinyHttpServer server;
    server.routes["/page"] = {
        200, "text/html", "<title>Hello page</title><meta property=og:image content=/pic.png>", {}};
    server.routes["/pic.png"] = {200, "image/png", imageBytes(20, 10), {}};
    server.routes["/plain"] = {200, "text/html", "<p>no title</p>", {}};
    server.routes["/direct.png"] = {200, "image/png", imageBytes(8, 8), {}};
    QtLinkMetadataProvider provider;

    Answer a = fetch(provider, server.url("/page"));
    EXPECT_EQ(a.title, "Hello page");
    ASSERT_TRUE(a.image.has_value());
    EXPECT_EQ(imageSize(*a.image), QSize(20, 10));

    a = fetch(provider, server.url("/plain"));
    EXPECT_EQ(a.title, std::nullopt);
    EXPECT_EQ(a.image, std::nullopt);

    a = fetch(provider, server.url("/direct.png"));
    EXPECT_EQ(a.title, std::nullopt);
    EXPECT_TRUE(a.image.has_value());

    a = fetch(provider, server.url("/missing"));
    EXPECT_EQ(a.title, std::nullopt);

    a = fetch(provider, QStringLiteral("ftp://example.com/x"));
    EXPECT_EQ(a.title, std::nullopt);
}

TEST(LinkFetching, RedirectsAreLimited)
{
    TinyHttpServer server;
    for (int i = 0; i < 7; ++i)
        server.routes[QStringLiteral("/r%1").arg(i)] = {
            302, "text/html", {}, server.url(QStringLiteral("/r%1").arg(i + 1)).toLatin1()};
    server.routes["/r7"] = {200, "text/html", "<title>End</title>", {}};
    server.routes["/short"] = {301, "text/html", {}, server.url("/r3").toLatin1()};
    QtLinkMetadataProvider provider;
    EXPECT_EQ(fetch(provider, server.url("/short")).title, "End");     // 5 redirects
    EXPECT_EQ(fetch(provider, server.url("/r0")).title, std::nullopt); // 7 redirects
}

TEST(LinkFetching, SizeCapAndTimeOut)
{
    TinyHttpServer server;
    QByteArray bigPage = "<html><head><title>Big</title></head><body>";
    bigPage += QByteArray(3 * 1024 * 1024, 'x');
    server.routes["/big"] = {200, "text/html", bigPage, {}};
    server.routes["/late-title"] = {200, "text/html", QByteArray(3 * 1024 * 1024, ' ') + "<title>Late</title>", {}};
    server.routes["/bigimage"] = {200, "text/html", "<title>T</title><meta property=og:image content=/huge.bmp>", {}};
    server.routes["/huge.bmp"] = {200, "image/bmp", imageBytes(1200, 800, "bmp"), {}};

    QtLinkMetadataProvider::Limits limits;
    limits.timeoutMs = 2000;
    QtLinkMetadataProvider provider(limits);
    EXPECT_EQ(fetch(provider, server.url("/big")).title, "Big");               // read up to the cap, parsed
    EXPECT_EQ(fetch(provider, server.url("/late-title")).title, std::nullopt); // beyond the cap
    const Answer bigImage = fetch(provider, server.url("/bigimage"));
    EXPECT_EQ(bigImage.title, "T");
    EXPECT_EQ(bigImage.image, std::nullopt); // 2.9 MB of image bytes are over the cap

    const Answer hung = fetch(provider, server.url("/hang"));
    EXPECT_EQ(hung.title, std::nullopt);
    EXPECT_EQ(hung.image, std::nullopt);
}

TEST(LinkFetching, LinksThatCarryASecretAreNeverRequested)
{
    for (const char* url : {"https://example.com/reset?token=1", "https://example.com/a?ACCESS_TOKEN=1",
             "https://example.com/cb?code=1&state=2", "https://example.com/s3?X-Amz-Signature=1",
             "https://example.com/a?apiKey=1", "https://example.com/a?sig=1", "https://example.com/a?Auth=1",
             "https://example.com/a?password", "https://example.com/a?client_secret=1",
             "https://example.com/a?sessionid=1", "https://example.com/a?otp=1", "https://example.com/a?reset=1",
             "https://bob@example.com/", "https://bob:pw@example.com/"})
        EXPECT_TRUE(LinkMetadataProvider::carriesSecret(QUrl(url))) << url;
    for (const char* url :
        {"https://example.com/token/page", "https://example.com/a?q=tokens%3D1&page=2", "https://example.com/"})
        EXPECT_FALSE(LinkMetadataProvider::carriesSecret(QUrl(url))) << url;

    TinyHttpServer server;
    server.routes["/reset?token=abc"] = {200, "text/html", "<title>Used up</title>", {}};
    server.routes["/short"] = {302, "text/html", {}, server.url("/login?Session=1").toLatin1()};
    server.routes["/login?Session=1"] = {200, "text/html", "<title>Signed in</title>", {}};
    server.routes["/page?q=1"] = {200, "text/html", "<title>Page</title>", {}};
    QtLinkMetadataProvider provider;
    EXPECT_EQ(fetch(provider, server.url("/reset?token=abc")).title, std::nullopt);
    EXPECT_EQ(
        fetch(provider, server.url("/reset?token=abc").replace("http://", "http://user:pw@")).title, std::nullopt);
    EXPECT_TRUE(server.requested.isEmpty());
    // A short link that leads to a sign-in link is not followed there.
    EXPECT_EQ(fetch(provider, server.url("/short")).title, std::nullopt);
    EXPECT_EQ(fetch(provider, server.url("/page?q=1")).title, "Page");
    EXPECT_EQ(server.requested, (QStringList {"/short", "/page?q=1"}));
}

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

// A server that never ends its answer: an endless response head (fast, or a byte at a time) or an
// endless chunked page. Counts what it sent and notices when the client closes the connection.
class EndlessServer : public QObject {
public:
    enum class Mode { EndlessHeader, TrickleHeader, EndlessChunkedPage };

    explicit EndlessServer(Mode mode)
        : m_mode(mode)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (socket->readAll().contains("\r\n\r\n") && !m_started.contains(socket))
                        begin(socket);
                });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    ++closed;
                    socket->deleteLater();
                });
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()); }

    qint64 sent = 0;
    int closed = 0;

private:
    void begin(QTcpSocket* socket)
    {
        m_started.insert(socket);
        if (m_mode == Mode::EndlessChunkedPage)
            send(socket, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "16\r\n<title>Endless</title>\r\n");
        else
            send(socket, "HTTP/1.1 200 OK\r\nX-Fill: ");
        if (m_mode == Mode::TrickleHeader) {
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [this, socket] { send(socket, "a"); });
            timer->start(20);
            return;
        }
        // Writes more whenever the last piece is out: as fast as the client takes it.
        connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] {
            if (socket->bytesToWrite() == 0)
                send(socket, m_mode == Mode::EndlessHeader ? QByteArray(16384, 'a') : chunk());
        });
        send(socket, m_mode == Mode::EndlessHeader ? QByteArray(16384, 'a') : chunk());
    }
    static QByteArray chunk() { return "4000\r\n" + QByteArray(0x4000, 'x') + "\r\n"; }
    void send(QTcpSocket* socket, const QByteArray& bytes)
    {
        if (socket->state() == QAbstractSocket::ConnectedState)
            sent += socket->write(bytes);
    }

    Mode m_mode;
    QTcpServer m_server;
    QSet<QTcpSocket*> m_started;
};

}

TEST(LinkFetchingHostile, AnEndlessHeadIsCutAtItsCapAndTheConnectionClosed)
{
    EndlessServer server(EndlessServer::Mode::EndlessHeader);
    QtLinkMetadataProvider::Limits limits;
    limits.timeoutMs = 10000;
    QtLinkMetadataProvider provider(limits);
    QElapsedTimer clock;
    clock.start();
    const Answer answer = fetch(provider, server.url());
    EXPECT_EQ(answer.title, std::nullopt);
    // Ended by the 64 KB cap on the head, long before the time-out.
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(waitUntil([&] { return server.closed == 1; }, 2000));
    EXPECT_LT(server.sent, 16 * 1024 * 1024);
}

TEST(LinkFetchingHostile, ASlowServerIsClosedAtTheTimeOutAndDelaysNoOtherPreview)
{
    EndlessServer slow(EndlessServer::Mode::TrickleHeader);
    TinyHttpServer quick;
    quick.routes["/page"] = {200, "text/html", "<title>Quick</title>", {}};
    QtLinkMetadataProvider::Limits limits;
    limits.timeoutMs = 1500;
    QtLinkMetadataProvider provider(limits);

    std::optional<std::optional<QString>> slowTitle;
    QElapsedTimer clock;
    clock.start();
    provider.fetchMetadata(QUrl(slow.url()), [&](std::optional<QString> title, std::optional<QByteArray>) {
        slowTitle = title;
    });
    ASSERT_TRUE(waitUntil([&] { return slow.sent > 0; }, 2000));
    EXPECT_EQ(fetch(provider, quick.url("/page")).title, "Quick");
    EXPECT_LT(clock.elapsed(), 1000); // the quick preview did not wait for the slow one
    ASSERT_TRUE(waitUntil([&] { return slowTitle.has_value(); }, 5000));
    EXPECT_EQ(*slowTitle, std::nullopt);
    // At the time-out the connection is closed, not left to the server.
    EXPECT_TRUE(waitUntil([&] { return slow.closed == 1; }, 1000));
    const qint64 sentAtClose = slow.sent;
    spin(300);
    EXPECT_EQ(slow.sent, sentAtClose);
}

TEST(LinkFetchingHostile, AnEndlessChunkedPageIsReadOnlyUpToTheCap)
{
    EndlessServer server(EndlessServer::Mode::EndlessChunkedPage);
    QtLinkMetadataProvider::Limits limits;
    limits.timeoutMs = 10000;
    QtLinkMetadataProvider provider(limits);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(fetch(provider, server.url()).title, "Endless");
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(waitUntil([&] { return server.closed == 1; }, 2000));
    EXPECT_LT(server.sent, limits.maxBytes + 8 * 1024 * 1024); // the cap plus what the sockets buffer
}

TEST(LinkFetchingHostile, NoRedirectOrImageFromAPublicAddressIntoTheMachine)
{
    TinyHttpServer outside; // stands for a public server
    TinyHttpServer inside;  // a service of this machine on another port
    inside.routes["/admin"] = {200, "text/html", "<title>Internal</title>", {}};
    inside.routes["/pic.png"] = {200, "image/png", imageBytes(8, 8), {}};
    outside.routes["/jump"] = {302, "text/html", {}, inside.url("/admin").toLatin1()};
    outside.routes["/page"] = {
        200, "text/html", "<title>Outside</title><meta property=og:image content=" + inside.url("/pic.png").toLatin1() + ">", {}};
    QtLinkMetadataProvider::Limits limits;
    const quint16 publicPort = QUrl(outside.url("/")).port();
    limits.isPublicAddress = [publicPort](const QHostAddress&, quint16 port) { return port == publicPort; };
    QtLinkMetadataProvider provider(limits);

    EXPECT_EQ(fetch(provider, outside.url("/jump")).title, std::nullopt);
    const Answer page = fetch(provider, outside.url("/page"));
    EXPECT_EQ(page.title, "Outside");
    EXPECT_EQ(page.image, std::nullopt);
    EXPECT_TRUE(inside.requested.isEmpty());
    // A link into the machine that the user copied is still previewed.
    EXPECT_EQ(fetch(provider, inside.url("/admin")).title, "Internal");

    for (const char* address : {"127.0.0.1", "10.1.2.3", "172.20.0.1", "192.168.1.1", "169.254.169.254", "100.64.0.1",
             "0.0.0.0", "::1", "fe80::1", "fd00::1", "::ffff:192.168.0.1"})
        EXPECT_FALSE(LinkHttpRequest::isPublicAddress(QHostAddress(QString::fromLatin1(address)))) << address;
    for (const char* address : {"93.184.216.34", "172.32.0.1", "2606:2800:220:1::1"})
        EXPECT_TRUE(LinkHttpRequest::isPublicAddress(QHostAddress(QString::fromLatin1(address)))) << address;
}

TEST(LinkPageParsing, TitlesAreCapped)
{
    const QByteArray huge = "<title>" + QByteArray(200000, 'T') + "</title>";
    const auto page = QtLinkMetadataProvider::parseHTML(huge, QUrl("https://example.com/"));
    ASSERT_TRUE(page.title.has_value());
    EXPECT_EQ(page.title->size(), QtLinkMetadataProvider::maxTitleLength);
}
