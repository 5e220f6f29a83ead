#pragma once
#include "platform/HttpClient.h"

#include <QString>

// Why a feedback record was not taken. The first three kinds are the service's own verdicts;
// the others carry what the network stack or the answer's JSON reader reported, and a build
// without a feedback endpoint.
class FeedbackError {
public:
    enum class Kind {
        httpError, // a status outside 200...299, with the answer's body
        invalidURL,
        invalidResponse, // no HTTP answer, or JSON without a string "id"
        notConfigured,   // the build names no feedback endpoint
        transport,       // no answer: connection, time-out, size limit, redirects
        invalidJSON,     // a 2xx answer whose body the JSON reader refused
    };

    static FeedbackError httpError(qint64 statusCode, QString body)
    {
        return FeedbackError(Kind::httpError, statusCode, std::move(body));
    }
    static FeedbackError invalidURL() { return FeedbackError(Kind::invalidURL); }
    static FeedbackError invalidResponse() { return FeedbackError(Kind::invalidResponse); }
    static FeedbackError notConfigured() { return FeedbackError(Kind::notConfigured); }
    static FeedbackError transport(HttpResponse::Failure failure, QString detail, int timeoutMs);
    static FeedbackError invalidJSON(QString detail) { return FeedbackError(Kind::invalidJSON, 0, std::move(detail)); }

    Kind kind() const { return m_kind; }
    qint64 statusCode() const { return m_statusCode; }
    // The answer's body (httpError) or the network stack's / JSON reader's own words.
    const QString& body() const { return m_text; }
    HttpResponse::Failure transportFailure() const { return m_failure; }

    // The German text shown to the user; for httpError "HTTP <status>: " and the body's first
    // 200 user-perceived characters.
    QString errorDescription() const;
    QString localizedDescription() const { return errorDescription(); }

private:
    explicit FeedbackError(Kind kind, qint64 statusCode = 0, QString text = {})
        : m_kind(kind)
        , m_statusCode(statusCode)
        , m_text(std::move(text))
    {
    }

    Kind m_kind;
    qint64 m_statusCode = 0;
    QString m_text;
    HttpResponse::Failure m_failure = HttpResponse::Failure::none;
    int m_timeoutMs = 0;
};
