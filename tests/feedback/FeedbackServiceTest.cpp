// The feedback request against a real HTTP server on 127.0.0.1: both body forms as a server reads them,
// the answer's "id", error statuses with their bodies, answer shapes, time-out and redirects.
#include "FeedbackTestSupport.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"
#include "feedback/FeedbackService.h"
#include "LocalHttpServer.h"
#include "platform/linux/QtHttpClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

class FeedbackServiceTest : public ::testing::Test {
protected:
    FeedbackService::Result send(
        LocalHttpServer& server, const FeedbackService::Payload& payload, int timeoutMs = 30000)
    {
        FeedbackService service(FeedbackService::endpointFromConfiguration(server.origin()),
            feedbackNeeds(http, preferences, permissions), timeoutMs);
        return sendWith(service, payload);
    }

    static FeedbackService::Result sendWith(const FeedbackService& service, const FeedbackService::Payload& payload)
    {
        std::optional<FeedbackService::Result> result;
        service.send(payload, [&](const FeedbackService::Result& r) { result = r; });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(FeedbackService::Result {});
    }

    static QString failureText(const FeedbackService::Result& result)
    {
        EXPECT_FALSE(result.ok());
        return result.error ? result.error->errorDescription() : QString();
    }

    static FeedbackService::Payload payload()
    {
        return {QStringLiteral("  Größe ändern geht nicht – Maß und Fuß\n"), QStringLiteral("jörg"),
            QStringLiteral("0.1.0 (0)"), QStringLiteral("Linux Debian GNU/Linux 12 (bookworm)"),
            QStringLiteral("Quorvel – Menüleiste"), QString(), std::nullopt};
    }

    QtHttpClient http;
    FakePreferences preferences;
    FakePermissions permissions;
};

struct FormPart {
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray content;
};

// Splits a multipart/form-data body at its boundary; none when the framing is broken (no opening
// delimiter, no closing one, a part without its blank line after the headers).
std::optional<std::vector<FormPart>> parseFormData(const QByteArray& body, const QByteArray& boundary)
{
    const QByteArray opening = "--" + boundary + "\r\n";
    const QByteArray closing = "\r\n--" + boundary + "--\r\n";
    if (!body.startsWith(opening) || !body.endsWith(closing) || body.size() < opening.size() + closing.size())
        return std::nullopt;
    const QByteArray inner = body.mid(opening.size(), body.size() - opening.size() - closing.size());
    const QByteArray separator = "\r\n--" + boundary + "\r\n";
    std::vector<FormPart> parts;
    for (qsizetype from = 0;;) {
        const qsizetype next = inner.indexOf(separator, from);
        const QByteArray raw = inner.mid(from, next < 0 ? -1 : next - from);
        const qsizetype headerEnd = raw.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return std::nullopt;
        FormPart part;
        for (const QByteArray& line : raw.left(headerEnd).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return std::nullopt;
            part.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        part.content = raw.mid(headerEnd + 4);
        parts.push_back(part);
        if (next < 0)
            return parts;
        from = next + separator.size();
    }
}

LocalHttpServer::Responder answering(int status, const QByteArray& body)
{
    return [status, body](const ReceivedRequest&) { return CannedAnswer {status, body, {}, false, {}}; };
}

}

TEST_F(FeedbackServiceTest, JsonBodyWithoutPictureAndTheIdOfTheAnswer)
{
    LocalHttpServer server(answering(200, R"({"id":"r8x2k","created":"2024-05-14"})"));
    const FeedbackService::Result result = send(server, payload());
    ASSERT_TRUE(result.ok()) << failureText(result).toStdString();
    EXPECT_EQ(*result.recordID, "r8x2k");

    ASSERT_EQ(server.received.size(), 1u);
    const ReceivedRequest& request = server.received[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/collections/feedback/records");
    EXPECT_EQ(request.headers.value("content-type"), "application/json");
    EXPECT_FALSE(request.body.contains('\n')) << "compact";
    const QJsonObject object = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(
        object.keys(), (QStringList {"app_module", "app_version", "diagnose", "os_version", "text", "user_name"}));
    EXPECT_EQ(object.value("text").toString(), payload().text); // as typed, not trimmed, UTF-8
    EXPECT_EQ(object.value("user_name").toString(), "jörg");
    EXPECT_EQ(object.value("app_module").toString(), "Quorvel – Menüleiste");
    EXPECT_TRUE(object.value("diagnose").isString());                            // empty, but present
    EXPECT_TRUE(request.body.contains("Größe ändern geht nicht – Maß und Fuß")); // raw UTF-8, not escaped
}

TEST_F(FeedbackServiceTest, MultipartBodyReadsBackAsFormDataWithANewBoundaryPerRequest)
{
    LocalHttpServer server(answering(201, R"({"id":"m1"})"));
    FeedbackService::Payload withPicture = payload();
    withPicture.diagnose = QStringLiteral("=== Quorvel Diagnose ===\nAngepinnt: 2");
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("--\r\n\0\xff", 6);
    withPicture.screenshotPNG = png;
    ASSERT_EQ(send(server, withPicture).recordID.value_or(QString()), "m1");

    FeedbackService::Payload emptyPicture = payload();
    emptyPicture.screenshotPNG = QByteArray();
    ASSERT_TRUE(send(server, emptyPicture).ok());

    ASSERT_EQ(server.received.size(), 2u);
    static const QRegularExpression contentType(
        QStringLiteral("^multipart/form-data; "
                       "boundary=(----QVFeedback-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"));
    QStringList boundaries;
    for (const ReceivedRequest& request : server.received) {
        const auto match = contentType.match(QString::fromUtf8(request.headers.value("content-type")));
        ASSERT_TRUE(match.hasMatch()) << request.headers.value("content-type").toStdString();
        boundaries << match.captured(1);
    }
    EXPECT_NE(boundaries[0], boundaries[1]);

    // Read back as a server reads form data: six text fields in order, then the file.
    const std::vector<std::pair<QByteArray, QByteArray>> fields {{"text", "  Größe ändern geht nicht – Maß und Fuß\n"},
        {"user_name", "jörg"}, {"app_version", "0.1.0 (0)"}, {"os_version", "Linux Debian GNU/Linux 12 (bookworm)"},
        {"app_module", "Quorvel – Menüleiste"}, {"diagnose", {}}};
    for (int i = 0; i < 2; ++i) {
        const auto parts = parseFormData(server.received[i].body, boundaries[i].toUtf8());
        ASSERT_TRUE(parts) << "framing of request " << i;
        ASSERT_EQ(parts->size(), 7u);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const FormPart& part = parts->at(f);
            EXPECT_EQ(part.headers.value("content-disposition"), "form-data; name=\"" + fields[f].first + "\"");
            EXPECT_FALSE(part.headers.contains("content-type")) << fields[f].first.toStdString();
            if (fields[f].first != "diagnose") {
                EXPECT_EQ(part.content, fields[f].second);
            }
        }
        EXPECT_EQ(parts->at(5).content, i == 0 ? QByteArray("=== Quorvel Diagnose ===\nAngepinnt: 2") : QByteArray());
        const FormPart& file = parts->at(6);
        EXPECT_EQ(file.headers.value("content-disposition"), R"(form-data; name="screenshot"; filename="feedback.png")");
        EXPECT_EQ(file.headers.value("content-type"), "image/png");
        EXPECT_EQ(file.content, i == 0 ? png : QByteArray());
    }
}

TEST_F(FeedbackServiceTest, StatusesOutsideTwoHundredsAreErrorsWithTheirBody)
{
    {
        LocalHttpServer server(answering(400, "Feld \"text\" fehlt"));
        EXPECT_EQ(failureText(send(server, payload())), "HTTP 400: Feld \"text\" fehlt");
    }
    {
        // 300 characters, several of them made of more than one code point: the first 200 count.
        QString body, first200;
        for (int i = 0; i < 150; ++i)
            body += QStringLiteral("e\u0301🇩🇪");
        for (int i = 0; i < 100; ++i)
            first200 += QStringLiteral("e\u0301🇩🇪");
        LocalHttpServer server(answering(500, body.toUtf8()));
        EXPECT_EQ(failureText(send(server, payload())), QStringLiteral("HTTP 500: ") + first200);
    }
    {
        LocalHttpServer server(answering(500, QByteArray("ok\xc3\x28 broken", 11)));
        EXPECT_EQ(failureText(send(server, payload())), "HTTP 500: ");
    }
    {
        LocalHttpServer server(answering(300, "choose"));
        EXPECT_EQ(failureText(send(server, payload())), "HTTP 300: choose");
    }
    {
        LocalHttpServer server(answering(299, R"({"id":"edge"})"));
        EXPECT_EQ(send(server, payload()).recordID.value_or(QString()), "edge");
    }
}

TEST_F(FeedbackServiceTest, AnswersWithoutAStringIdAreRefused)
{
    const QString invalid = QStringLiteral("Ungültige Antwort vom Feedback-Server");
    for (const QByteArray& body :
        {QByteArray(R"({"id":42})"), QByteArray(R"({"id":null})"), QByteArray(R"([{"id":"x"}])"), QByteArray("{}")}) {
        LocalHttpServer server(answering(201, body));
        EXPECT_EQ(failureText(send(server, payload())), invalid) << body.toStdString();
    }
    for (const QByteArray& body : {QByteArray(R"("r8x2k")"), QByteArray("<html>created</html>")}) {
        LocalHttpServer server(answering(200, body));
        const FeedbackService::Result result = send(server, payload());
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->kind(), FeedbackError::Kind::invalidJSON) << body.toStdString();
    }
}

TEST_F(FeedbackServiceTest, TimeOutAndRedirects)
{
    LocalHttpServer silent([](const ReceivedRequest&) { return CannedAnswer {200, {}, {}, true, {}}; });
    const FeedbackService::Result late = send(silent, payload(), 300);
    ASSERT_TRUE(late.error);
    EXPECT_EQ(late.error->transportFailure(), HttpResponse::Failure::timedOut);
    EXPECT_TRUE(late.error->errorDescription().startsWith("Zeitüberschreitung"))
        << late.error->errorDescription().toStdString();

    // 307 keeps the method and the body; the record is taken at the new place.
    LocalHttpServer moved([](const ReceivedRequest& request) {
        if (request.path == "/api/collections/feedback/records")
            return CannedAnswer {307, "moved", {{"Location", "/v2/records"}}, false, {}};
        return CannedAnswer {200, R"({"id":"after-redirect"})", {}, false, {}};
    });
    EXPECT_EQ(send(moved, payload()).recordID.value_or(QString()), "after-redirect");
    ASSERT_EQ(moved.received.size(), 2u);
    EXPECT_EQ(moved.received[1].method, "POST");
    EXPECT_EQ(moved.received[1].path, "/v2/records");
    EXPECT_EQ(moved.received[1].body, moved.received[0].body);

    // A 302 would turn the POST into a GET and lose the message: it is reported instead.
    LocalHttpServer found([](const ReceivedRequest&) {
        return CannedAnswer {302, "elsewhere", {{"Location", "/x"}}, false, {}};
    });
    EXPECT_EQ(failureText(send(found, payload())), "HTTP 302: elsewhere");
    EXPECT_EQ(found.received.size(), 1u);
}

TEST_F(FeedbackServiceTest, ARedirectToAnotherOriginIsNotFollowed)
{
    // Another port of the same machine is another origin: the body does not go there.
    LocalHttpServer elsewhere(answering(200, R"({"id":"stolen"})"));
    const QByteArray target = elsewhere.origin().toUtf8() + "/api/collections/feedback/records";
    LocalHttpServer moved([target](const ReceivedRequest&) {
        return CannedAnswer {307, "moved", {{"Location", target}}, false, {}};
    });
    EXPECT_EQ(failureText(send(moved, payload())), "HTTP 307: moved");
    EXPECT_EQ(moved.received.size(), 1u);
    EXPECT_TRUE(elsewhere.received.empty());
}

TEST_F(FeedbackServiceTest, AClosedOrForeignAnswerDeliversTheRecordOnce)
{
    // The server takes the record and closes before a whole status line: no second delivery.
    for (const QByteArray& partial : {QByteArray(), QByteArray("HTTP/1.1 2")}) {
        LocalHttpServer closing([partial](const ReceivedRequest&) {
            CannedAnswer answer;
            answer.raw = partial;
            return answer;
        });
        FeedbackService::Payload withPicture = payload();
        withPicture.screenshotPNG = QByteArray("png");
        for (const FeedbackService::Payload& sent : {payload(), withPicture}) {
            const std::size_t before = closing.received.size();
            EXPECT_FALSE(send(closing, sent).ok());
            waitUntil([] { return false; }, 200); // a resend would arrive meanwhile
            EXPECT_EQ(closing.received.size(), before + 1) << partial.toStdString();
        }
    }

    // Something that is no HTTP at all answers: the server's answer is invalid, not the network.
    LocalHttpServer foreign([](const ReceivedRequest&) {
        CannedAnswer answer;
        answer.raw = "SSH-2.0-OpenSSH_9.2\r\nProtocol mismatch.\r\n";
        return answer;
    });
    EXPECT_EQ(failureText(send(foreign, payload())), "Ungültige Antwort vom Feedback-Server");
    EXPECT_EQ(foreign.received.size(), 1u);
}

TEST_F(FeedbackServiceTest, EndpointConfigurationAndVersionStrings)
{
    EXPECT_EQ(FeedbackService::endpointFromConfiguration(""), "");
    EXPECT_EQ(FeedbackService::endpointFromConfiguration("feedback.example.org"),
        "https://feedback.example.org/api/collections/feedback/records");
    EXPECT_EQ(FeedbackService::endpointFromConfiguration("https://fb.example.org:8443/"),
        "https://fb.example.org:8443/api/collections/feedback/records");

    // Without a configured server nothing is sent and the user reads why.
    FeedbackService unconfigured(QString(), feedbackNeeds(http, preferences, permissions));
    const QString text = failureText(sendWith(unconfigured, payload()));
    EXPECT_TRUE(text.startsWith("Kein Feedback-Server eingerichtet")) << text.toStdString();
    FeedbackService broken(QStringLiteral("https://exa mple.org/api/collections/feedback/records"),
        feedbackNeeds(http, preferences, permissions));
    EXPECT_EQ(failureText(sendWith(broken, payload())), "Ungültige Feedback-URL");

    EXPECT_TRUE(FeedbackService::osVersion().startsWith("Linux "));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d+\.\d+\.\d+ \(\d+\)$)"))
                    .match(FeedbackService::appVersion())
                    .hasMatch());
}

TEST_F(FeedbackServiceTest, DiagnosticsFollowPreferencesAndPermissions)
{
    FeedbackService service(QString(), feedbackNeeds(http, preferences, permissions));
    const QDateTime when(QDate(2024, 5, 14), QTime(9, 5));
    auto lines = [&] {
        return service.sammeleDiagnose(12, 3, when, QLocale(QLocale::German, QLocale::Germany)).split('\n');
    };

    QStringList l = lines();
    ASSERT_EQ(l.size(), 9);
    EXPECT_EQ(l[0], "=== Quorvel Diagnose ===");
    EXPECT_EQ(l[1], "Datum: 14. Mai 2024, 09:05");
    EXPECT_EQ(l[2], "");
    EXPECT_EQ(l[3], "Clips gesamt: 12");
    EXPECT_EQ(l[4], "Angepinnt: 3");
    EXPECT_EQ(l[5], "Clipboard-Limit: Unbegrenzt");
    EXPECT_EQ(l[6], "Bedienungshilfen: erteilt");
    EXPECT_EQ(l[7], "Globaler Shortcut: ⇧⌘V");
    EXPECT_EQ(l[8], "Auto-Start: an");

    preferences.set("maxHistoryItems", qlonglong(-1));
    preferences.set("autoLaunchAtLogin", false);
    permissions.accessibilityTrusted = false;
    l = lines();
    EXPECT_EQ(l[5], "Clipboard-Limit: -1");
    EXPECT_EQ(l[6], "Bedienungshilfen: fehlt");
    EXPECT_EQ(l[8], "Auto-Start: aus");
    preferences.set("maxHistoryItems", qlonglong(500));
    preferences.set("autoLaunchAtLogin", QStringLiteral("nein"));
    l = lines();
    EXPECT_EQ(l[5], "Clipboard-Limit: 500");
    EXPECT_EQ(l[8], "Auto-Start: an");

    // A service the application handed no hotkey router to names no shortcut.
    FeedbackService withoutRouter(QString(), {http, preferences, permissions, {}});
    EXPECT_EQ(withoutRouter.historyShortcutDisplay(), "Nicht belegt");
}
