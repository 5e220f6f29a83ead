// A link preview whose server never stops sending interim answers keeps the fetch busy until its
// time-out, but not the thread that asked for it.
#include "platform/linux/QtLinkMetadataProvider.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <ctime>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Answers every request with "100 Continue" heads, as fast as the client takes them, until the
// client closes the connection. Runs on a thread of its own with blocking sockets.
class EndlessContinueServer {
public:
    EndlessContinueServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~EndlessContinueServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }
    std::atomic<qint64> sent {0};
    std::atomic<bool> closedByClient {false};

private:
    void serve()
    {
        pollfd waiting {m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&waiting, 1, 100) == 0) { }
        if (m_stop)
            return;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        // The request head, then interim answers without end.
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n")) {
            const ssize_t got = ::recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0)
                break;
            request.append(buffer, got);
        }
        QByteArray heads;
        while (heads.size() < 64 * 1024)
            heads += "HTTP/1.1 100 Continue\r\n\r\n";
        while (!m_stop) {
            const ssize_t written = ::send(client, heads.constData(), size_t(heads.size()), MSG_NOSIGNAL);
            if (written < 0) {
                closedByClient = true;
                break;
            }
            sent += written;
        }
        ::close(client);
    }

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

qint64 threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}

TEST(LinkFetchingOffMainThread, EndlessInterimAnswersKeepTheFetchNotTheCallingThreadBusy)
{
    EndlessContinueServer server;
    ASSERT_NE(server.port(), 0);
    QtLinkMetadataProvider::Limits limits;
    limits.timeoutMs = 3000;
    QtLinkMetadataProvider provider(limits);

    QEventLoop loop;
    std::optional<std::optional<QString>> title;
    const qint64 cpuBefore = threadCpuMs();
    provider.fetchMetadata(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.port())),
        [&](std::optional<QString> pageTitle, std::optional<QByteArray>) {
            // Any thread: the answer is handed to the waiting loop.
            QMetaObject::invokeMethod(&loop, [&, pageTitle] {
                title = pageTitle;
                loop.quit();
            });
        });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // a safety net only
    loop.exec();
    const qint64 cpuUsed = threadCpuMs() - cpuBefore;

    ASSERT_TRUE(title.has_value()) << "no answer";
    EXPECT_EQ(*title, std::nullopt);
    // The server's answers were read all along, and the connection was closed at the time-out...
    EXPECT_GT(server.sent.load(), 256 * 1024);
    for (int i = 0; i < 3000 && !server.closedByClient; ++i)
        QThread::msleep(10);
    EXPECT_TRUE(server.closedByClient);
    // ...while this thread only waited: reading them here would have taken most of the time-out.
    EXPECT_LT(cpuUsed, limits.timeoutMs / 4) << "ms of this thread's CPU time";
}
