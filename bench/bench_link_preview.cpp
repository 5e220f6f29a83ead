// Memory of one link preview whose server never ends its page: a local server sends an endless
// chunked page as fast as the fetch takes it. Reported: the growth of the resident set while the
// fetch runs (aim: under 10 MB; the page cap is 2 MB), the bytes the server got out before the
// connection was closed, and the same growth for a plain 2 MB page as the baseline.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <benchmark/benchmark.h>

#include "platform/linux/QtLinkMetadataProvider.h"

namespace {

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096;
}

// Serves one page: endless (chunked, as fast as the client reads) or a fixed 2 MB.
class PageServer : public QObject {
public:
    explicit PageServer(bool endless)
        : m_endless(endless)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (socket->readAll().contains("\r\n\r\n"))
                        serve(socket);
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort())); }
    qint64 sent = 0;

private:
    void serve(QTcpSocket* socket)
    {
        if (!m_endless) {
            const QByteArray body = "<title>Fixed</title>" + QByteArray(2 * 1024 * 1024 - 32, 'x');
            sent += socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
            return;
        }
        sent += socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
                              "16\r\n<title>Endless</title>\r\n");
        const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, 'x') + "\r\n";
        connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket, chunk] {
            if (socket->bytesToWrite() < chunk.size() && socket->state() == QAbstractSocket::ConnectedState)
                sent += socket->write(chunk);
        });
        sent += socket->write(chunk);
    }

    bool m_endless;
    QTcpServer m_server;
};

// Fetches one page, sampling the resident set meanwhile; the growth over the start, in bytes.
qint64 fetchGrowth(QtLinkMetadataProvider& provider, const QUrl& url)
{
    const qint64 before = residentBytes();
    qint64 peak = before;
    std::atomic<bool> done {false};
    provider.fetchMetadata(url, [&done](std::optional<QString>, std::optional<QByteArray>) { done = true; });
    QDeadlineTimer safety(20000);
    while (!done && !safety.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peak = std::max(peak, residentBytes());
    }
    return peak - before;
}

void run(benchmark::State& state, bool endless)
{
    QtLinkMetadataProvider::Limits limits;
    limits.timeoutMs = 10000;
    QtLinkMetadataProvider provider(limits);
    qint64 growth = 0;
    qint64 sent = 0;
    for (auto _ : state) {
        PageServer server(endless);
        growth = std::max(growth, fetchGrowth(provider, server.url()));
        sent = server.sent;
    }
    state.counters["rssGrowthMB"] = double(growth) / (1024 * 1024);
    state.counters["serverSentMB"] = double(sent) / (1024 * 1024);
}

void BM_Baseline_Fixed2MBPage(benchmark::State& state)
{
    run(state, false);
}

void BM_LinkPreview_EndlessChunkedPage(benchmark::State& state)
{
    run(state, true);
}

}

BENCHMARK(BM_Baseline_Fixed2MBPage)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LinkPreview_EndlessChunkedPage)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
