#include "feedback/FeedbackService.h"

#include "platform/HttpClient.h"
#include "platform/Permissions.h"
#include "platform/Preferences.h"
#include "platform/Unicode.h"
#include "platform/Prefs.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>
#include <pwd.h>
#include <unistd.h>

#ifndef QUORVEL_FEEDBACK_URL
#define QUORVEL_FEEDBACK_URL ""
#endif

FeedbackService::FeedbackService(QString endpoint, Needs needs, int timeoutMs)
    : m_endpoint(std::move(endpoint))
    , m_http(needs.http)
    , m_preferences(needs.preferences)
    , m_permissions(needs.permissions)
    , m_historyShortcut(std::move(needs.historyShortcut))
    , m_timeoutMs(timeoutMs)
{
}

QString FeedbackService::configuredEndpoint()
{
    return endpointFromConfiguration(QStringLiteral(QUORVEL_FEEDBACK_URL));
}

QString FeedbackService::endpointFromConfiguration(const QString& configured)
{
    QString base = configured.trimmed();
    if (base.isEmpty())
        return {};
    if (!base.contains(QLatin1String("://")))
        base.prepend(QLatin1String("https://"));
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (!base.endsWith(QLatin1String(recordsPath)))
        base += QLatin1String(recordsPath);
    return base;
}

void FeedbackService::send(const Payload& payload, Completion completion) const
{
    // Every outcome arrives through the event loop, also the ones known at once.
    auto deliverLater = [completion](const Result& result) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion, result] { completion(result); }, Qt::QueuedConnection);
    };
    if (m_endpoint.isEmpty()) {
        deliverLater({std::nullopt, FeedbackError::notConfigured()});
        return;
    }
    const QUrl url(m_endpoint, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http") || url.hasQuery()
        || url.hasFragment()) {
        deliverLater({std::nullopt, FeedbackError::invalidURL()});
        return;
    }

    HttpRequest request;
    request.url = url;
    request.method = "POST";
    request.timeoutMs = m_timeoutMs;
    if (payload.screenshotPNG) {
        const QString boundary = QStringLiteral("----QVFeedback-")
            + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        request.headers.append(
            qMakePair(QByteArray("Content-Type"), "multipart/form-data; boundary=" + boundary.toUtf8()));
        request.body = buildMultipart(payload, *payload.screenshotPNG, boundary);
    } else {
        request.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
        QJsonObject object;
        object.insert(QStringLiteral("text"), payload.text);
        object.insert(QStringLiteral("user_name"), payload.userName);
        object.insert(QStringLiteral("app_version"), payload.appVersion);
        object.insert(QStringLiteral("os_version"), payload.osVersion);
        object.insert(QStringLiteral("app_module"), payload.appModule);
        object.insert(QStringLiteral("diagnose"), payload.diagnose);
        request.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
    // The answer is read without the service, which need not outlive the request.
    m_http.send(request, [completion, timeoutMs = m_timeoutMs](const HttpResponse& response) {
        completion(interpret(response, timeoutMs));
    });
}

FeedbackService::Result FeedbackService::interpret(const HttpResponse& response, int timeoutMs)
{
    if (response.failure == HttpResponse::Failure::notHTTP)
        return {std::nullopt, FeedbackError::invalidResponse()};
    if (response.failure != HttpResponse::Failure::none)
        return {std::nullopt, FeedbackError::transport(response.failure, response.detail, timeoutMs)};
    if (response.statusCode < 200 || response.statusCode > 299)
        return {std::nullopt,
            FeedbackError::httpError(response.statusCode, Unicode::decodeUtf8(response.body).value_or(QString()))};

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(response.body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {std::nullopt, FeedbackError::invalidJSON(parseError.errorString())};
    if (!document.isObject() && !document.isArray())
        return {std::nullopt, FeedbackError::invalidJSON(QStringLiteral("weder Objekt noch Liste"))};
    const QJsonValue id = document.isObject() ? document.object().value(QStringLiteral("id")) : QJsonValue();
    if (!id.isString())
        return {std::nullopt, FeedbackError::invalidResponse()};
    return {id.toString(), std::nullopt};
}

QByteArray FeedbackService::buildMultipart(
    const Payload& payload, const QByteArray& screenshot, const QString& boundary)
{
    static const QByteArray crlf("\r\n");
    const QByteArray delimiter = "--" + boundary.toUtf8();
    QByteArray body;
    body.reserve(screenshot.size() + 1024 + payload.text.size() * 3 + payload.diagnose.size() * 3);
    auto addField = [&](const char* name, const QString& value) {
        body += delimiter + crlf;
        body += QByteArray("Content-Disposition: form-data; name=\"") + name + "\"" + crlf + crlf;
        body += value.toUtf8() + crlf;
    };
    addField("text", payload.text);
    addField("user_name", payload.userName);
    addField("app_version", payload.appVersion);
    addField("os_version", payload.osVersion);
    addField("app_module", payload.appModule);
    addField("diagnose", payload.diagnose);
    body += delimiter + crlf;
    body += "Content-Disposition: form-data; name=\"screenshot\"; filename=\"feedback.png\"" + crlf;
    body += "Content-Type: image/png" + crlf + crlf;
    body += screenshot + crlf;
    body += delimiter + "--" + crlf;
    return body;
}

QString FeedbackService::diagnosticsDate(const QDateTime& now, const QLocale& locale)
{
    // The locale's long date without the weekday and with the month abbreviated:
    // "14. Mai 2024" becomes "14. Mai 2024", "Tuesday, May 14, 2024" becomes "May 14, 2024".
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    format.remove(weekday);
    format.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
    return locale.toString(now.date(), format.trimmed()) + QStringLiteral(", ")
        + locale.toString(now.time(), QLocale::ShortFormat);
}

QString FeedbackService::sammeleDiagnose(qint64 clipCount, qint64 pinnedCount) const
{
    return sammeleDiagnose(clipCount, pinnedCount, QDateTime::currentDateTime(), QLocale::system());
}

QString FeedbackService::sammeleDiagnose(
    qint64 clipCount, qint64 pinnedCount, const QDateTime& now, const QLocale& locale) const
{
    const qlonglong limit = m_preferences.integerForKey(Prefs::maxHistoryItems.key);
    const bool autoLaunchOff = !Prefs::readIfBool(m_preferences, Prefs::autoLaunchAtLogin);
    const QStringList lines {
        QStringLiteral("=== Quorvel Diagnose ==="),
        QStringLiteral("Datum: ") + diagnosticsDate(now, locale),
        QString(),
        QStringLiteral("Clips gesamt: %1").arg(clipCount),
        QStringLiteral("Angepinnt: %1").arg(pinnedCount),
        QStringLiteral("Clipboard-Limit: ") + (limit == 0 ? QStringLiteral("Unbegrenzt") : QString::number(limit)),
        QStringLiteral("Bedienungshilfen: ")
            + (m_permissions.isAccessibilityTrusted() ? QStringLiteral("erteilt") : QStringLiteral("fehlt")),
        QStringLiteral("Globaler Shortcut: ") + historyShortcutDisplay(),
        QStringLiteral("Auto-Start: ") + (autoLaunchOff ? QStringLiteral("aus") : QStringLiteral("an")),
    };
    return lines.join(QLatin1Char('\n'));
}

QString FeedbackService::historyShortcutDisplay() const
{
    return m_historyShortcut ? m_historyShortcut(m_preferences) : QStringLiteral("Nicht belegt");
}

QString FeedbackService::appVersion()
{
    // The program has one version; no separate build number exists, so the build reads "0".
    const QString version = QStringLiteral(QUORVEL_VERSION);
    return (version.isEmpty() ? QStringLiteral("0") : version) + QStringLiteral(" (0)");
}

QString FeedbackService::osVersion()
{
    if (QSysInfo::productType() != u"unknown" && !QSysInfo::prettyProductName().isEmpty())
        return QStringLiteral("Linux ") + QSysInfo::prettyProductName();
    return QStringLiteral("Linux (Kernel ") + QSysInfo::kernelVersion() + QLatin1Char(')');
}

QString FeedbackService::userName()
{
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}
