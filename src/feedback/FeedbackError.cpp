#include "feedback/FeedbackError.h"

#include "platform/Unicode.h"

FeedbackError FeedbackError::transport(HttpResponse::Failure failure, QString detail, int timeoutMs)
{
    FeedbackError error(Kind::transport, 0, std::move(detail));
    error.m_failure = failure;
    error.m_timeoutMs = timeoutMs;
    return error;
}

QString FeedbackError::errorDescription() const
{
    switch (m_kind) {
    case Kind::httpError:
        return QStringLiteral("HTTP %1: ").arg(m_statusCode) + Unicode::graphemePrefix(m_text, 200);
    case Kind::invalidURL:
        return QStringLiteral("Ungültige Feedback-URL");
    case Kind::invalidResponse:
        return QStringLiteral("Ungültige Antwort vom Feedback-Server");
    case Kind::notConfigured:
        return QStringLiteral(
            "Kein Feedback-Server eingerichtet – diese Quorvel-Version wurde ohne Feedback-Adresse gebaut.");
    case Kind::invalidJSON:
        return QStringLiteral("Die Antwort des Feedback-Servers ist kein gültiges JSON (%1)").arg(m_text);
    case Kind::transport:
        break;
    }
    switch (m_failure) {
    case HttpResponse::Failure::timedOut:
        return QStringLiteral(
            "Zeitüberschreitung – der Feedback-Server hat nicht innerhalb von %1 Sekunden geantwortet.")
            .arg((m_timeoutMs + 999) / 1000);
    case HttpResponse::Failure::connectionRefused:
        return QStringLiteral("Keine Verbindung zum Feedback-Server (Verbindung abgelehnt).");
    case HttpResponse::Failure::hostNotFound:
        return QStringLiteral("Feedback-Server nicht gefunden – besteht eine Internetverbindung?");
    case HttpResponse::Failure::secureConnectionFailed:
        return QStringLiteral("Keine sichere Verbindung zum Feedback-Server möglich.");
    case HttpResponse::Failure::tooLarge:
        return QStringLiteral("Die Antwort des Feedback-Servers ist zu groß.");
    case HttpResponse::Failure::tooManyRedirects:
        return QStringLiteral("Zu viele Weiterleitungen vom Feedback-Server.");
    case HttpResponse::Failure::none:
    case HttpResponse::Failure::notHTTP:
    case HttpResponse::Failure::other:
        break;
    }
    return QStringLiteral("Netzwerkfehler: ") + m_text;
}
