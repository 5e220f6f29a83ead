// The feedback form offscreen over a fake HTTP client: validation, the sending state, the
// picture switch, the diagnostics it sends, and closing only the window a form was made for.
#include "FeedbackTestSupport.h"
#include "fakes/FakeHttpClient.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"
#include "feedback/FeedbackSheet.h"
#include "feedback/FeedbackWindowManager.h"
#include "LocalHttpServer.h"
#include "store/ModelContext.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class FeedbackSheetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Theme::install(); }
    void SetUp() override
    {
        Preferences::setShared(&preferences);
        Permissions::setShared(&permissions);
        HttpClient::setShared(&http);
    }

    std::unique_ptr<FeedbackSheet> makeSheet(const QString& herkunft = QStringLiteral("Quorvel – Menüleiste"))
    {
        auto sheet = std::make_unique<FeedbackSheet>(
            herkunft, [this] { ++closeCount; }, store.container, service, [this] { return panelPicture; });
        sheet->show();
        return sheet;
    }

    static QPushButton* sendButton(QWidget* sheet) { return sheet->findChild<QPushButton*>("sendButton"); }
    static QPlainTextEdit* message(QWidget* sheet) { return sheet->findChild<QPlainTextEdit*>("message"); }
    static QAbstractButton* screenshotSwitch(QWidget* sheet)
    {
        return sheet->findChild<QAbstractButton*>("screenshotSwitch");
    }
    static QString labelText(QWidget* sheet, const char* name) { return sheet->findChild<QLabel*>(name)->text(); }
    QJsonObject sentJSON(size_t i) const { return QJsonDocument::fromJson(http.pending.at(i).request.body).object(); }

    FakePreferences preferences;
    FakePermissions permissions;
    FakeHttpClient http;
    TempStore store;
    FeedbackService service {QStringLiteral("https://feedback.example.org/api/collections/feedback/records"),
        feedbackNeeds(http, preferences, permissions)};
    int closeCount = 0;
    QImage panelPicture; // the history panel's picture; none while null
};

}

TEST_F(FeedbackSheetTest, SendIsEnabledOnlyForTextBeyondWhiteSpaceAndSendsItUntrimmed)
{
    auto sheet = makeSheet(QString());
    EXPECT_FALSE(sendButton(sheet.get())->isEnabled());
    message(sheet.get())->setPlainText(QStringLiteral(" \n\t \u00a0\n"));
    EXPECT_FALSE(sendButton(sheet.get())->isEnabled());
    message(sheet.get())->setPlainText(QStringLiteral("  Pfeil verschwindet\n"));
    ASSERT_TRUE(sendButton(sheet.get())->isEnabled());
    EXPECT_EQ(sheet->findChild<QLabel*>("herkunft"), nullptr); // empty origin: no "Bereich" row

    sendButton(sheet.get())->click();
    ASSERT_EQ(http.pending.size(), 1u);
    EXPECT_EQ(sentJSON(0).value("text").toString(), "  Pfeil verschwindet\n");
    EXPECT_EQ(sentJSON(0).value("app_module").toString(), "");
    EXPECT_EQ(sentJSON(0).value("user_name").toString(), FeedbackService::userName());
}

TEST_F(FeedbackSheetTest, SendingStateFailureThenSuccessClosesAfterAMoment)
{
    auto sheet = makeSheet();
    EXPECT_EQ(labelText(sheet.get(), "herkunft"), "Quorvel – Menüleiste");
    message(sheet.get())->setPlainText(QStringLiteral("Hallo"));
    sendButton(sheet.get())->click();
    EXPECT_EQ(sendButton(sheet.get())->text(), "Sende …");
    EXPECT_FALSE(sendButton(sheet.get())->isEnabled());
    sendButton(sheet.get())->click(); // no second request while one is in flight
    ASSERT_EQ(http.pending.size(), 1u);

    http.answer(0, 500, "kaputt");
    ASSERT_TRUE(waitUntil([&] { return !sheet->isSending(); }));
    EXPECT_EQ(sheet->status(), "Senden fehlgeschlagen: HTTP 500: kaputt");
    EXPECT_EQ(sheet->statusOK(), false);
    EXPECT_EQ(sendButton(sheet.get())->text(), "Feedback senden");
    EXPECT_EQ(message(sheet.get())->toPlainText(), "Hallo"); // nothing typed is lost
    // The status is in view beside the send button, whatever the scroll position.
    sheet->resize(540, 540);
    QCoreApplication::processEvents();
    auto* status = sheet->findChild<QLabel*>("status");
    ASSERT_TRUE(status->isVisible());
    const QRect statusRect(status->mapTo(sheet.get(), QPoint(0, 0)), status->size());
    const QRect sendRect(sendButton(sheet.get())->mapTo(sheet.get(), QPoint(0, 0)), sendButton(sheet.get())->size());
    EXPECT_TRUE(sheet->rect().contains(statusRect)) << statusRect.y() << " " << statusRect.height();
    EXPECT_LE(statusRect.right(), sendRect.left());
    EXPECT_LT(std::abs(statusRect.center().y() - sendRect.center().y()), 12);

    sendButton(sheet.get())->click();
    EXPECT_EQ(sheet->status(), "Senden fehlgeschlagen: HTTP 500: kaputt"); // stays while the next one runs
    http.answer(1, 200, R"({"id":"abc"})");
    ASSERT_TRUE(waitUntil([&] { return sheet->statusOK() == true; }));
    EXPECT_EQ(sheet->status(), "Danke! Feedback ist drin (ID: abc)");
    EXPECT_FALSE(sendButton(sheet.get())->isEnabled());
    EXPECT_EQ(closeCount, 0);
    ASSERT_TRUE(waitUntil([&] { return closeCount == 1; }, 5000));
    EXPECT_FALSE(sheet->isSending());

    sheet->grab().save(artifactPath(QStringLiteral("feedback_sheet_sent_offscreen.png")));
}

TEST_F(FeedbackSheetTest, DiagnosticsCarryTheStoreCountsAndPreferences)
{
    ModelContext& context = store.container->mainContext();
    for (int i = 0; i < 5; ++i) {
        auto item = std::make_shared<ClipItem>();
        item->isPinned = i < 2;
        item->appendRepresentation(std::make_shared<ClipRepresentation>());
        context.insert(item);
    }
    ASSERT_TRUE(context.save());
    preferences.set("maxHistoryItems", qlonglong(500));
    preferences.set("autoLaunchAtLogin", false);
    permissions.accessibilityTrusted = false;

    auto sheet = makeSheet();
    message(sheet.get())->setPlainText(QStringLiteral("x"));
    sendButton(sheet.get())->click();
    ASSERT_EQ(http.pending.size(), 1u);
    const QStringList lines = sentJSON(0).value("diagnose").toString().split('\n');
    ASSERT_EQ(lines.size(), 9);
    EXPECT_TRUE(lines[1].startsWith("Datum: "));
    EXPECT_EQ(lines.mid(3),
        (QStringList {"Clips gesamt: 5", "Angepinnt: 2", "Clipboard-Limit: 500", "Bedienungshilfen: fehlt",
            "Globaler Shortcut: ⇧⌘V", "Auto-Start: aus"}));
    EXPECT_TRUE(sentJSON(0).value("os_version").toString().startsWith("Linux "));
    EXPECT_EQ(sentJSON(0).value("app_version").toString(), FeedbackService::appVersion());
}

TEST_F(FeedbackSheetTest, PictureSwitchTakesThePanelOrTheSettingsWindowOrSaysWhy)
{
    auto sheet = makeSheet();
    message(sheet.get())->setPlainText(QStringLiteral("mit Bild"));

    // Nothing to take: the orange hint names the history shortcut; the record goes without a picture.
    screenshotSwitch(sheet.get())->click();
    EXPECT_EQ(labelText(sheet.get(), "screenshotHint"),
        "Kein sichtbares Quorvel-Fenster zum Mitschicken. Öffne zuerst das Clipboard (⇧⌘V) und aktiviere den Schalter "
        "erneut.");
    sendButton(sheet.get())->click();
    EXPECT_EQ(http.pending.at(0).request.headers.value(0).second, "application/json");
    http.answer(0, 500, "");
    ASSERT_TRUE(waitUntil([&] { return !sheet->isSending(); }));

    // A visible settings window is taken when there is no panel picture.
    QWidget settings;
    settings.setWindowTitle(QStringLiteral("Quorvel Settings"));
    settings.resize(300, 200);
    settings.show();
    screenshotSwitch(sheet.get())->click();
    screenshotSwitch(sheet.get())->click();
    ASSERT_TRUE(waitUntil([&] { return sheet->screenshotData().has_value(); }));
    EXPECT_EQ(imageSize(*sheet->screenshotData()), settings.grab().size());

    // The history panel's picture wins, also while the panel is hidden.
    QImage panel(640, 400, QImage::Format_ARGB32);
    panel.fill(QColor(40, 40, 40));
    panelPicture = panel;
    screenshotSwitch(sheet.get())->click();
    EXPECT_FALSE(sheet->screenshotData()); // switched off: dropped
    screenshotSwitch(sheet.get())->click();
    ASSERT_TRUE(waitUntil([&] { return sheet->screenshotData().has_value(); }));
    EXPECT_EQ(imageSize(*sheet->screenshotData()), QSize(640, 400));
    EXPECT_EQ(labelText(sheet.get(), "screenshotSize"),
        "Größe: " + FeedbackSheet::formatBytes(sheet->screenshotData()->size()));
    sendButton(sheet.get())->click();
    ASSERT_EQ(http.pending.size(), 2u);
    EXPECT_TRUE(http.pending[1].request.headers.value(0).second.startsWith("multipart/form-data; boundary="));
    EXPECT_TRUE(http.pending[1].request.body.contains(*sheet->screenshotData()));

    EXPECT_EQ(FeedbackSheet::formatBytes(0), "0 KB");
    EXPECT_EQ(FeedbackSheet::formatBytes(1536), "2 KB");
    EXPECT_EQ(FeedbackSheet::formatBytes(2560), "2 KB") << "halves go to the even neighbour";
    EXPECT_EQ(FeedbackSheet::formatBytes(3584), "4 KB");
    EXPECT_EQ(FeedbackSheet::formatBytes(1048576), "1.0 MB");
}

TEST_F(FeedbackSheetTest, ALateCloseClosesOnlyItsOwnWindowAndANewFormKeepsItsText)
{
    FeedbackWindowManager manager({service, nullptr, {}});
    {
        ConsoleCapture console;
        manager.showFeedback(QStringLiteral("A"));
        EXPECT_EQ(manager.feedbackWindow(), nullptr);
        EXPECT_TRUE(console.contains("FeedbackWindowManager: ModelContainer not configured"));
    }
    manager.setModelContainer(store.container);
    manager.showFeedback(QStringLiteral("A"));
    QPointer<QWidget> formA = manager.feedbackWindow();
    ASSERT_TRUE(formA && formA->isVisible());

    // A is sent; its close is due in a moment, but the user closes the window first and opens B.
    message(formA)->setPlainText(QStringLiteral("Text A"));
    sendButton(formA)->click();
    http.answer(0, 200, R"({"id":"a"})");
    ASSERT_TRUE(waitUntil([&] { return formA->findChild<FeedbackSheet*>()->statusOK() == true; }));
    formA->close();
    manager.showFeedback(QStringLiteral("B"));
    QPointer<QWidget> formB = manager.feedbackWindow();
    ASSERT_TRUE(formB && formB != formA);
    EXPECT_EQ(labelText(formB, "herkunft"), "B");
    EXPECT_TRUE(message(formB)->toPlainText().isEmpty()); // a new form starts empty

    // B is sent and cancelled at once ("Abbrechen"); C is opened and typed into; then B's
    // answer arrives late.
    message(formB)->setPlainText(QStringLiteral("Text B"));
    sendButton(formB)->click();
    formB->findChild<QPushButton*>("cancelButton")->click();
    EXPECT_FALSE(formB && formB->isVisible());
    EXPECT_EQ(manager.feedbackWindow(), nullptr);
    manager.showFeedback(QStringLiteral("C"));
    QPointer<QWidget> formC = manager.feedbackWindow();
    message(formC)->setPlainText(QStringLiteral("Text C, noch nicht fertig"));
    http.answer(1, 200, R"({"id":"b"})");

    // Longer than the 1.5 s a sent form waits before it closes: nothing closes C.
    EXPECT_FALSE(waitUntil([&] { return !formC || !formC->isVisible(); }, 2200));
    ASSERT_TRUE(formC);
    EXPECT_EQ(manager.feedbackWindow(), formC);
    EXPECT_EQ(message(formC)->toPlainText(), "Text C, noch nicht fertig");
    EXPECT_EQ(http.pending.size(), 2u);
    delete formC.data();
}
