// The feedback window on a real X server: the tray row opens it, a second opening brings the
// same window forward, and the form is written out as a picture to look at.
#include "app/ActionStarter.h"
#include "app/QuorvelApp.h"
#include "capture/CaptureRig.h"
#include "fakes/FakeHotkeyRegistrar.h"
#include "fakes/FakeHttpClient.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeWorkspace.h"
#include "feedback/FeedbackSheet.h"
#include "feedback/FeedbackWindowManager.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteStack.h"
#include "platform/Dispatch.h"
#include "menubar/MenuBarView.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using x11test::artifact;
using x11test::waitUntil;

namespace {

// A stand-in for the history panel's last rendering.
QImage panelPicture()
{
    QImage image(720, 420, QImage::Format_ARGB32);
    image.fill(QColor(18, 18, 18));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(QColor(255, 255, 255, i == 1 ? 40 : 14));
        p.drawRoundedRect(QRectF(16, 56 + i * 58, 688, 50), 8, 8);
    }
    p.setBrush(QColor(10, 132, 255));
    p.drawRoundedRect(QRectF(16, 14, 120, 28), 8, 8);
    return image;
}

}

TEST(FeedbackWindow, TrayRowOpensTheFormAndASecondCallBringsTheSameWindowForward)
{
    // The look the program installs at start-up.
    Theme::install();
    Symbols::installIconTheme();
    static FakePreferences preferences;
    static FakePermissions permissions;
    static FakeHttpClient http;
    static FakeHotkeyRegistrar registrar;
    static FakePasteboard pasteboard;
    static FakeWorkspace workspace;
    static FakeKeySynthesizer keys;
    Preferences::setShared(&preferences);
    Permissions::setShared(&permissions);
    HttpClient::setShared(&http);
    HotkeyRegistrar::setShared(&registrar);
    Pasteboard::setShared(&pasteboard);
    Workspace::setShared(&workspace);
    KeySynthesizer::setShared(&keys);
    TempStore store;
    FeedbackService service(
        FeedbackService::configuredEndpoint(), {http, preferences, permissions, &QuorvelApp::historyShortcutDisplay});
    FeedbackWindowManager windows({service, &workspace, panelPicture});
    windows.setModelContainer(store.container);

    CaptureRig captureRig;
    ClipboardSuspension suspension;
    PasteService paste {pasteboard, workspace, keys, DispatchQueue::main(), suspension};
    PasteStack pasteStack {paste};
    MenuBarView menu(store.container,
        {pasteStack, captureRig.recorder, nullptr, {}, {}, {},
            [&windows](const QString& origin) { windows.showFeedback(origin); }});
    QAction* row = nullptr;
    for (QAction* action : menu.actions())
        if (action->text().startsWith(QStringLiteral("Feedback senden …")))
            row = action;
    ASSERT_TRUE(row);
    row->trigger();
    QPointer<QWidget> window = windows.feedbackWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(waitUntil([&] { return window->isVisible() && window->isActiveWindow(); }));
    EXPECT_EQ(window->windowTitle(), "Feedback");
    EXPECT_EQ(window->size(), QSize(540, 540));
    EXPECT_EQ(window->findChild<QLabel*>("herkunft")->text(), "Quorvel – Menüleiste");

    // Another window takes the focus; opening feedback again brings the same form forward.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.resize(300, 200);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return other.isActiveWindow(); }));
    windows.showFeedback(QStringLiteral("Quorvel – Einstellungen"));
    EXPECT_EQ(windows.feedbackWindow(), window);
    EXPECT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));
    EXPECT_EQ(window->findChild<QLabel*>("herkunft")->text(), "Quorvel – Menüleiste");

    // A typed message with the picture attached.
    window->findChild<QPlainTextEdit*>("message")->setPlainText(
        QStringLiteral("Beim Einfügen aus dem Verlauf landet der Text manchmal im falschen Fenster.\n\nSchritte: ⇧⌘V, "
                       "Eintrag wählen, Enter."));
    window->findChild<QAbstractButton*>("screenshotSwitch")->click();
    auto* sheet = window->findChild<FeedbackSheet*>();
    ASSERT_TRUE(waitUntil([&] { return sheet->screenshotData().has_value(); }));
    x11test::spin(100);
    EXPECT_TRUE(window->grab().save(artifact(QStringLiteral("feedback_window.png"))));

    // Sending: this build names no feedback server (or the fake one is down), and says so.
    window->findChild<QPushButton*>("sendButton")->click();
    if (!http.pending.empty())
        http.answer(0, 503, "Wartung");
    ASSERT_TRUE(waitUntil([&] { return sheet->statusOK() == false; }));
    EXPECT_TRUE(sheet->status().startsWith(QStringLiteral("Senden fehlgeschlagen: "))) << sheet->status().toStdString();
    x11test::spin(100);
    auto* scroll = window->findChild<QScrollArea*>();
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    x11test::spin(50);
    EXPECT_TRUE(window->grab().save(artifact(QStringLiteral("feedback_window_failed.png"))));

    window->findChild<QPushButton*>("cancelButton")->click();
    EXPECT_EQ(windows.feedbackWindow(), nullptr);
}
