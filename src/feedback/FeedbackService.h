#pragma once
#include "feedback/FeedbackError.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>
#include <optional>

class HttpClient;
struct HttpResponse;
class Permissions;
class Preferences;

// Sends one feedback record (text, sender, versions, origin, diagnostics and an optional PNG) to
// the feedback endpoint and hands back the identifier the server gave it. Also supplies the
// version strings every record carries and the German diagnostics text. Keeps no state between
// sends; nothing is retried or logged: every failure goes to the caller.
class FeedbackService {
public:
    struct Payload {
        QString text;                            // "text": the message exactly as typed
        QString userName;                        // "user_name"
        QString appVersion;                      // "app_version"
        QString osVersion;                       // "os_version"
        QString appModule;                       // "app_module": where in the program the feedback comes from
        QString diagnose;                        // "diagnose": may be empty, always sent
        std::optional<QByteArray> screenshotPNG; // file part "screenshot"; present (even empty): multipart
    };

    struct Result {
        std::optional<QString> recordID;
        std::optional<FeedbackError> error;
        bool ok() const { return recordID.has_value(); }
    };
    using Completion = std::function<void(const Result&)>;

    // The history hotkey as shown to the user, read from the given preferences. The hotkey router
    // lives above this layer, so the application hands in the function that answers it.
    using ShortcutProvider = std::function<QString(const Preferences&)>;

    struct Needs {
        HttpClient& http;
        Preferences& preferences;
        Permissions& permissions;
        ShortcutProvider historyShortcut; // "Nicht belegt" is shown when unset
    };

    static constexpr const char* recordsPath = "/api/collections/feedback/records";
    static constexpr int defaultTimeoutMs = 30000;

    // endpoint: the record collection's absolute URL (see endpointFromConfiguration); empty when
    // the build names no feedback server.
    FeedbackService(QString endpoint, Needs needs, int timeoutMs = defaultTimeoutMs);
    // The record collection's URL this build names (QUORVEL_FEEDBACK_URL), else empty.
    static QString configuredEndpoint();

    // Posts one record: JSON without a picture, multipart/form-data with one. The completion runs
    // later on the main thread, exactly once, with the answer's "id" or the error.
    void send(const Payload& payload, Completion completion) const;

    // The nine diagnostics lines joined by line feeds.
    QString sammeleDiagnose(qint64 clipCount, qint64 pinnedCount) const;
    QString sammeleDiagnose(qint64 clipCount, qint64 pinnedCount, const QDateTime& now, const QLocale& locale) const;

    // The history hotkey as shown to the user ("⇧⌘V"), or "Nicht belegt".
    QString historyShortcutDisplay() const;

    // "<version> (<build>)" of this program.
    static QString appVersion();
    // "Linux " and the distribution's pretty name (QSysInfo reads it from os-release).
    static QString osVersion();
    // The short login name of the user running the program.
    static QString userName();

    const QString& endpoint() const { return m_endpoint; }
    int timeoutMs() const { return m_timeoutMs; }

    // The record collection's URL for a configured host ("feedback.example.org", taken as https)
    // or origin ("https://feedback.example.org:8443"); empty for an empty configuration.
    static QString endpointFromConfiguration(const QString& configured);
    // The multipart body: the six text fields in order, then the file part, then the closing line.
    static QByteArray buildMultipart(const Payload& payload, const QByteArray& screenshot, const QString& boundary);
    // The date of the diagnostics: the locale's abbreviated date and short time.
    static QString diagnosticsDate(const QDateTime& now, const QLocale& locale);

    // What an answer of the network layer means: the record's "id", or the error to show.
    static Result interpret(const HttpResponse& response, int timeoutMs);

private:

    QString m_endpoint;
    HttpClient& m_http;
    Preferences& m_preferences;
    Permissions& m_permissions;
    ShortcutProvider m_historyShortcut;
    int m_timeoutMs;
};
