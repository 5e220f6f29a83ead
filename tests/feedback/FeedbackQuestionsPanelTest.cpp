// The editor's feedback panel offscreen: the copied text and picture, a failed export, and a send
// to a real local HTTP server whose multipart body is parsed here.
#include "FeedbackTestSupport.h"
#include "LocalHttpServer.h"
#include "annotation/AnnotationDocument.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"
#include "feedback/FeedbackQuestionsPanel.h"
#include "platform/linux/QtHttpClient.h"
#include "ui/Theme.h"

#include <QBuffer>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include "platform/ImageEncoding.h"

#include <gtest/gtest.h>

namespace {

QImage testImage()
{
    QImage image(240, 150, QImage::Format_ARGB32);
    image.fill(QColor(30, 90, 160));
    return image;
}

// The picture as the program's one PNG encoder writes it.
QByteArray testPNG()
{
    return *ImageEncoding::png(testImage());
}

class FeedbackQuestionsPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Theme::install(); }

    std::unique_ptr<FeedbackQuestionsPanel> makePanel(FeedbackService& service)
    {
        FeedbackQuestionsPanel::Host host;
        host.commitPendingText = [this] { calls.append(QStringLiteral("commit")); };
        host.renderExportImage = [this] {
            calls.append(QStringLiteral("render"));
            return exportFails ? QImage() : testImage();
        };
        host.onClose = [this] { calls.append(QStringLiteral("close")); };
        auto panel = std::make_unique<FeedbackQuestionsPanel>(host, service, pasteboard);
        panel->resize(FeedbackQuestionsPanel::kWidth, 560);
        panel->show();
        return panel;
    }

    static QLineEdit* field(QWidget* panel, const char* name) { return panel->findChild<QLineEdit*>(name); }
    static QPushButton* button(QWidget* panel, const char* name) { return panel->findChild<QPushButton*>(name); }

    QtHttpClient http;
    FakePreferences preferences;
    FakePermissions permissions;
    FakePasteboard pasteboard;
    QStringList calls;
    bool exportFails = false;
};

}

TEST_F(FeedbackQuestionsPanelTest, CopiesPictureAndTheSixLinesUncheckedAfterCommittingPendingText)
{
    FeedbackService service(QString(), feedbackNeeds(http, preferences, permissions));
    auto panel = makePanel(service);
    EXPECT_EQ(panel->width(), 320);
    EXPECT_EQ(panel->targetApp(), "Quorvel");
    EXPECT_EQ(field(panel.get(), "targetApp")->placeholderText(), "Quorvel");
    EXPECT_FALSE(panel->findChild<QLabel*>("status")->isVisible());
    panel->grab().save(artifactPath(QStringLiteral("feedback_questions_panel_empty.png")));

    // All answers empty: nothing is checked, the six lines go as they are.
    button(panel.get(), "copyButton")->click();
    EXPECT_EQ(calls, (QStringList {"commit", "render"}));
    ASSERT_TRUE(waitUntil([&] { return panel->statusMessage().has_value(); }));
    EXPECT_EQ(*panel->statusMessage(), "In Zwischenablage kopiert (Bild + Text).");
    EXPECT_FALSE(panel->statusIsError());
    ASSERT_EQ(pasteboard.writes().size(), 1);
    const QList<Pasteboard::Item> item = pasteboard.writes().at(0);
    ASSERT_EQ(item.size(), 2);
    EXPECT_EQ(item[0].type, "public.png");
    EXPECT_EQ(imageSize(item[0].data), testImage().size());
    EXPECT_EQ(item[1].type, "public.utf8-plain-text");
    EXPECT_EQ(QString::fromUtf8(item[1].data),
        "Ziel: \nOrt: \nAktion: \nErwartung: \nErgebnis: \nBeleg: siehe angehängtes Bild");

    // Blanks around the answers stay; the app's name is not part of the text.
    field(panel.get(), "ziel")->setText(QStringLiteral("  Pfeil zeichnen "));
    field(panel.get(), "ergebnis")->setText(QStringLiteral("\tnichts"));
    field(panel.get(), "targetApp")->setText(QStringLiteral("Vorschau"));
    EXPECT_EQ(panel->formattedText(),
        "Ziel:   Pfeil zeichnen \nOrt: \nAktion: \nErwartung: \nErgebnis: \tnichts\nBeleg: siehe angehängtes Bild");

    panel->findChild<QToolButton*>("closeButton")->click();
    ASSERT_TRUE(waitUntil([&] { return calls.contains("close"); }));
}

TEST_F(FeedbackQuestionsPanelTest, AFailedExportShowsARedStatusAndNeitherCopiesNorSends)
{
    LocalHttpServer server([](const ReceivedRequest&) { return CannedAnswer {200, R"({"id":"x"})", {}, false, {}}; });
    FeedbackService service(
        FeedbackService::endpointFromConfiguration(server.origin()), feedbackNeeds(http, preferences, permissions));
    auto panel = makePanel(service);
    exportFails = true;

    button(panel.get(), "sendButton")->click();
    EXPECT_EQ(calls, (QStringList {"commit", "render"}));
    EXPECT_EQ(panel->statusMessage(), "Fehler: Bild konnte nicht erzeugt werden");
    EXPECT_TRUE(panel->statusIsError());
    EXPECT_FALSE(panel->isSending());
    EXPECT_TRUE(button(panel.get(), "sendButton")->isEnabled());
    EXPECT_EQ(panel->findChild<QLabel*>("status")->palette().color(QPalette::WindowText), QColor(255, 69, 58));

    button(panel.get(), "copyButton")->click();
    EXPECT_EQ(panel->statusMessage(), "Fehler: Bild konnte nicht erzeugt werden");
    QCoreApplication::processEvents();
    EXPECT_TRUE(pasteboard.writes().isEmpty());
    EXPECT_TRUE(server.received.empty());

    // The next press with a picture clears the red line at once.
    exportFails = false;
    button(panel.get(), "sendButton")->click();
    EXPECT_FALSE(panel->statusMessage());
    EXPECT_EQ(button(panel.get(), "sendButton")->text(), "Sende…");
    ASSERT_TRUE(waitUntil([&] { return !panel->isSending(); }));
    EXPECT_EQ(panel->statusMessage(), "Gesendet — danke!");
}

TEST_F(FeedbackQuestionsPanelTest, SendsOneMultipartRecordWithThePictureAndShowsErrorThenSuccess)
{
    int answers = 0;
    LocalHttpServer server([&](const ReceivedRequest&) {
        return ++answers == 1 ? CannedAnswer {500, "kaputt", {}, false, {}}
                              : CannedAnswer {201, R"({"id":"rec42"})", {}, false, {}};
    });
    FeedbackService service(
        FeedbackService::endpointFromConfiguration(server.origin()), feedbackNeeds(http, preferences, permissions));
    auto panel = makePanel(service);
    field(panel.get(), "ziel")->setText(QStringLiteral("Pfeil zeichnen"));
    field(panel.get(), "ort")->setText(QStringLiteral("Editor, Werkzeugleiste"));
    field(panel.get(), "aktion")->setText(QStringLiteral(" Pfeil-Werkzeug gewählt "));
    field(panel.get(), "erwartung")->setText(QStringLiteral("Ein Pfeil"));
    field(panel.get(), "ergebnis")->setText(QStringLiteral("Eine Linie ohne Spitze"));
    const QString sentText = panel->formattedText();

    button(panel.get(), "sendButton")->click();
    EXPECT_TRUE(panel->isSending());
    EXPECT_EQ(button(panel.get(), "sendButton")->text(), "Sende…");
    EXPECT_FALSE(button(panel.get(), "sendButton")->isEnabled());
    // The record holds the answers of the press.
    field(panel.get(), "ziel")->setText(QStringLiteral("Pfeil zeichnen, später geändert"));
    ASSERT_TRUE(waitUntil([&] { return !panel->isSending(); }));
    EXPECT_EQ(panel->statusMessage(), "Fehler: HTTP 500: kaputt");
    EXPECT_TRUE(panel->statusIsError());
    EXPECT_TRUE(button(panel.get(), "sendButton")->isEnabled());
    EXPECT_EQ(button(panel.get(), "sendButton")->text(), "Senden");
    panel->grab().save(artifactPath(QStringLiteral("feedback_questions_panel_error.png")));

    ASSERT_EQ(server.received.size(), 1u);
    const ReceivedRequest& request = server.received[0];
    EXPECT_EQ(request.path, "/api/collections/feedback/records");
    const QByteArray contentType = request.headers.value("content-type");
    ASSERT_TRUE(contentType.startsWith("multipart/form-data; boundary=----QVFeedback-"));
    // Byte for byte: the six fields in order (the module text, an empty diagnostics field), then
    // the picture as "feedback.png".
    const QByteArray boundary = contentType.mid(contentType.indexOf('=') + 1);
    const FeedbackService::Payload expected {sentText, FeedbackService::userName(), FeedbackService::appVersion(),
        FeedbackService::osVersion(), QStringLiteral("Quorvel – Annotation-Feedback"), QString(), std::nullopt};
    EXPECT_EQ(request.body, FeedbackService::buildMultipart(expected, testPNG(), QString::fromLatin1(boundary)));
    EXPECT_TRUE(request.body.contains(R"(name="diagnose")"
                                      "\r\n\r\n\r\n"));
    EXPECT_TRUE(request.body.contains(R"(name="screenshot"; filename="feedback.png")"
                                      "\r\nContent-Type: image/png\r\n"));

    // The answers stay; the second press succeeds.
    EXPECT_EQ(field(panel.get(), "ort")->text(), "Editor, Werkzeugleiste");
    button(panel.get(), "sendButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !panel->isSending(); }));
    EXPECT_EQ(panel->statusMessage(), "Gesendet — danke!");
    EXPECT_FALSE(panel->statusIsError());
    EXPECT_EQ(server.received.size(), 2u);
    panel->grab().save(artifactPath(QStringLiteral("feedback_questions_panel.png")));
}

TEST_F(FeedbackQuestionsPanelTest, TheDocumentHostExportsWithTheBeautifyFrame)
{
    auto document = AnnotationDocument::create(testImage());
    ASSERT_TRUE(document);
    BeautifyConfig config = BeautifyConfig::disabled();
    config.isEnabled = true;
    document->setBeautifyConfig(config);
    int commits = 0;
    FeedbackQuestionsPanel::Host host = FeedbackQuestionsPanel::hostFor(*document, [&] { ++commits; }, {});
    host.commitPendingText();
    const QImage framed = host.renderExportImage();
    EXPECT_EQ(commits, 1);
    EXPECT_GT(framed.width(), testImage().width());
    EXPECT_EQ(framed.size(), imageSize(*document->renderExportPNG()));
    document.reset();
    EXPECT_TRUE(host.renderExportImage().isNull());
}
