#include "platform/linux/QtHttpClient.h"

#include "platform/linux/NetworkExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <cstring>

namespace {

constexpr int maxRedirects = 5;

HttpResponse::Failure failureFor(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return HttpResponse::Failure::connectionRefused;
    case QNetworkReply::HostNotFoundError:
        return HttpResponse::Failure::hostNotFound;
    case QNetworkReply::TimeoutError:
        return HttpResponse::Failure::timedOut;
    case QNetworkReply::SslHandshakeFailedError:
        return HttpResponse::Failure::secureConnectionFailed;
    case QNetworkReply::NoError:
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ContentReSendError:
        // Something answered, but no HTTP status line came: the stack would have sent the
        // request again, which a request that is not idempotent refuses (see OneShotBody).
        return HttpResponse::Failure::notHTTP;
    default:
        return HttpResponse::Failure::other;
    }
}

// The request body as a device that cannot be rewound. The network stack resends a request whose
// connection closed before a full status line; for a POST that would deliver it again, so its
// body can be read once only and a resend fails instead.
class OneShotBody : public QIODevice {
public:
    OneShotBody(QByteArray data, QObject* parent)
        : QIODevice(parent)
        , m_data(std::move(data))
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_data.size() - m_position + QIODevice::bytesAvailable(); }
    bool reset() override { return false; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 count = std::min<qint64>(maxSize, m_data.size() - m_position);
        std::memcpy(data, m_data.constData() + m_position, count);
        m_position += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_position = 0;
};

bool isIdempotent(const QByteArray& method)
{
    return method == "GET" || method == "HEAD" || method == "PUT" || method == "DELETE" || method == "OPTIONS";
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
        && a.port(a.scheme() == u"https" ? 443 : 80) == b.port(b.scheme() == u"https" ? 443 : 80);
}

}

// One request, its redirects and its deadline. Deletes itself after calling the completion.
class QtHttpClient::Exchange : public QObject {
public:
    Exchange(QNetworkAccessManager* network, HttpRequest request, Completion completion, QObject* parent)
        : QObject(parent)
        , m_network(network)
        , m_request(std::move(request))
        , m_completion(std::move(completion))
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_timedOut = true;
            if (m_reply)
                m_reply->abort(); // finished() follows and reports the time-out
            else
                fail(HttpResponse::Failure::timedOut, QStringLiteral("deadline passed"));
        });
        m_timer.start(qMax(1, m_request.timeoutMs));
    }

    ~Exchange() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
        }
        if (!m_done)
            fail(HttpResponse::Failure::other, QStringLiteral("cancelled"));
    }

    void start(const QUrl& url)
    {
        m_url = url;
        m_body.clear();
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        for (const auto& header : m_request.headers)
            request.setRawHeader(header.first, header.second);
        if (isIdempotent(m_request.method)) {
            m_reply = m_network->sendCustomRequest(request, m_request.method, m_request.body);
        } else {
            // Sent at most once per attempt: no silent resend on a closed connection.
            request.setHeader(QNetworkRequest::ContentLengthHeader, m_request.body.size());
            request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
            auto* body = new OneShotBody(m_request.body, this);
            m_reply = m_network->sendCustomRequest(request, m_request.method, body);
            body->setParent(m_reply);
        }
        connect(m_reply, &QNetworkReply::readyRead, this, &Exchange::read);
        connect(m_reply, &QNetworkReply::finished, this, &Exchange::finished);
    }

private:
    void read()
    {
        if (!m_reply || m_done || !m_reply->isReadable())
            return;
        m_body += m_reply->readAll();
        if (m_body.size() > m_request.maxResponseBytes) {
            QNetworkReply* reply = m_reply;
            m_reply = nullptr;
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
            fail(HttpResponse::Failure::tooLarge,
                QStringLiteral("answer larger than %1 bytes").arg(m_request.maxResponseBytes));
        }
    }

    void finished()
    {
        QNetworkReply* reply = m_reply;
        if (!reply || m_done)
            return;
        read();
        if (m_done)
            return;
        m_reply = nullptr;
        reply->deleteLater();
        if (m_timedOut) {
            fail(HttpResponse::Failure::timedOut, reply->errorString());
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            fail(failureFor(reply->error()), reply->errorString());
            return;
        }
        const int code = status.toInt();
        if (code == 307 || code == 308) {
            // Only within the origin the request was made for: a server cannot send the body on
            // to another host or port, the machine's own included.
            const QUrl target = m_url.resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
            const bool allowed = target.isValid() && !target.host().isEmpty() && sameOrigin(target, m_request.url);
            if (allowed) {
                if (++m_redirects > maxRedirects) {
                    fail(HttpResponse::Failure::tooManyRedirects,
                        QStringLiteral("more than %1 redirects").arg(maxRedirects));
                    return;
                }
                start(target);
                return;
            }
        }
        // Any other status, 4xx and 5xx included, is an answer with its body, although the
        // network stack also reports those as errors.
        HttpResponse response;
        response.statusCode = code;
        response.body = m_body;
        complete(response);
    }

    void fail(HttpResponse::Failure failure, const QString& detail)
    {
        HttpResponse response;
        response.failure = failure;
        response.detail = detail;
        complete(response);
    }

    void complete(const HttpResponse& response)
    {
        std::optional<Completion> completion = NetworkExchange::end(*this, m_done, m_timer, m_completion);
        if (completion && *completion)
            (*completion)(response);
    }

    QNetworkAccessManager* m_network;
    HttpRequest m_request;
    Completion m_completion;
    QTimer m_timer;
    QPointer<QNetworkReply> m_reply;
    QUrl m_url;
    QByteArray m_body;
    int m_redirects = 0;
    bool m_timedOut = false;
    bool m_done = false;
};

QtHttpClient::QtHttpClient()
    : m_network(new QNetworkAccessManager(this))
{
}

QtHttpClient::~QtHttpClient() = default;

void QtHttpClient::send(const HttpRequest& request, Completion completion)
{
    auto* exchange = new Exchange(m_network, request, std::move(completion), this);
    exchange->start(request.url);
}
