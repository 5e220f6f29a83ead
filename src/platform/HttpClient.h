#pragma once
#include "platform/Shared.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>

// One HTTP request with its body, sent by the platform's network stack.
struct HttpRequest {
    QUrl url;
    QByteArray method = "POST";
    // Header lines in order; the client adds the length (and nothing else of its own choosing
    // that changes the meaning of the request).
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // The whole exchange, redirects included, must finish within this time.
    int timeoutMs = 30000;
    // An answer body larger than this is refused (answers come from outside the program).
    qint64 maxResponseBytes = 1024 * 1024;
};

// What came back: an HTTP answer (any status, with its body), or a transport failure.
struct HttpResponse {
    enum class Failure {
        none,    // an HTTP answer arrived: statusCode and body are set
        notHTTP, // something answered, but not with an HTTP status
        timedOut,
        connectionRefused,
        hostNotFound,
        secureConnectionFailed,
        tooLarge, // the answer body exceeded maxResponseBytes
        tooManyRedirects,
        other,
    };
    Failure failure = Failure::none;
    int statusCode = 0;
    QByteArray body;
    // The network stack's own description of a failure (English, for logs and details).
    QString detail;
};

// Sends HTTP requests. Redirects with status 307 and 308 are followed within the request's own
// origin only (same scheme, host and port; same method and body; at most five); other redirect
// answers, and redirects elsewhere, are returned as they are. A request that is not idempotent
// (POST) is never resent by the network stack: a connection that closes before a full answer is a
// failure, not a second delivery.
// Call on the main thread; the completion runs later on the main thread, exactly once.
class HttpClient {
public:
    using Completion = std::function<void(const HttpResponse&)>;

    virtual ~HttpClient() = default;
    static HttpClient& shared() { return SharedSlot<HttpClient>::get(); }
    static void setShared(HttpClient* c) { SharedSlot<HttpClient>::set(c); }

    virtual void send(const HttpRequest& request, Completion completion) = 0;
};
