// The paste road across a real X server: global hotkeys of HotkeyService, and a stored entry
// pasted by PasteService into the text field of another program (tests/x11/programs).
#include "app/HotkeyService.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteTestSupport.h"
#include "fakes/FakePreferences.h"
#include "history/WindowManager.h"
#include "platform/Dispatch.h"
#include "platform/linux/X11HotkeyRegistrar.h"
#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Workspace.h"
#include "platform/NotificationCenter.h"
#include "platform/PasteboardTypes.h"
#include "store/ModelContainer.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>
#include "X11TestSupport.h"
#include "TargetApp.h"

using namespace x11test;

namespace {

// A window of this process with a text field: the window that has the focus while the paste
// runs (as the history panel would), and must never receive a keystroke meant for the target.
class Decoy {
public:
    Decoy()
    {
        m_window.setWindowTitle(QStringLiteral("Quorvel decoy"));
        auto* layout = new QVBoxLayout(&m_window);
        m_field = new QLineEdit(&m_window);
        layout->addWidget(m_field);
        m_window.resize(300, 60);
    }
    bool takeFocus()
    {
        m_window.show();
        m_window.raise();
        m_window.activateWindow();
        m_field->setFocus();
        return waitUntil([this] { return m_window.isActiveWindow() && m_field->hasFocus(); });
    }
    QString text() const { return m_field->text(); }

private:
    QWidget m_window;
    QLineEdit* m_field = nullptr;
};

class PasteEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(registrar.isAvailable()) << "needs an X display";
        ASSERT_TRUE(keys.isAvailable()) << "needs the XTEST extension";
        QString error;
        store = openStore(dir.filePath(QStringLiteral("Quorvel.store")), &error);
        ASSERT_TRUE(store) << error.toStdString();
        windows.setModelContainer(store);
    }

    void TearDown() override
    {
        // Let the last resume of monitoring run before the services go.
        waitUntil([this] { return !suspension.isSuspended(); }, 3000);
    }

    QString tracePath() const { return dir.filePath(QStringLiteral("tarrow_paste_debug.txt")); }
    QStringList traced() const { return traceMessages(tracePath()); }

    TestCrypto crypto;
    ConsoleCapture console;
    QTemporaryDir dir;
    std::shared_ptr<ModelContainer> store;
    X11Pasteboard pasteboard;
    X11Workspace workspace;
    X11KeySynthesizer keys {&workspace};
    X11HotkeyRegistrar registrar;
    ClipboardSuspension suspension;
    PasteService paste {pasteboard, workspace, keys, DispatchQueue::main(), suspension, tracePath()};
    NotificationCenter notifications;
    FakePreferences panelPrefs;
    WindowManager windows {{paste, notifications, panelPrefs}};
    FakePreferences prefs;
    HotkeyService hotkeys {registrar, prefs, DispatchQueue::main(), windows};
};

TEST_F(PasteEndToEndTest, HistoryHotkeyFiresUntilUnregistered)
{
    hotkeys.registerHotkey();
    ASSERT_TRUE(hotkeys.isRegistered(HotkeyAction::showHistory));

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    EXPECT_TRUE(waitUntil([this] { return windows.isVisible(); })) << "the history hotkey did not arrive";
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    EXPECT_TRUE(waitUntil([this] { return !windows.isVisible(); }));

    hotkeys.unregisterHotkey();
    EXPECT_FALSE(hotkeys.isRegistered(HotkeyAction::showHistory));

    // A marker combination pressed after the history's: once it arrives, a history press would have too.
    QSignalSpy spy(&registrar, &HotkeyRegistrar::hotkeyPressed);
    QString error;
    ASSERT_TRUE(registrar.registerHotkey(900, kKeyM, kControl | kOption, &error)) << error.toStdString();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+m")}));
    ASSERT_TRUE(waitUntil([&] {
        return std::any_of(
            spy.cbegin(), spy.cend(), [](const QList<QVariant>& args) { return args.at(0).toUInt() == 900; });
    })) << "the marker hotkey never arrived";
    for (const QList<QVariant>& args : std::as_const(spy))
        EXPECT_NE(args.at(0).toUInt(), HotkeyAction(HotkeyAction::showHistory).rawValue());
    spin(50);
    EXPECT_FALSE(windows.isVisible());
    registrar.unregisterHotkey(900);
}

TEST_F(PasteEndToEndTest, ShortcutGrabbedByAnotherClientIsReportedAsFailed)
{
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const Window root = DefaultRootWindow(other);
    const int keycode = XKeysymToKeycode(other, XK_v);
    const std::optional<unsigned int> historyMask = registrar.xModifiers(kCommand | kShift);
    const std::optional<unsigned int> otherMask = registrar.xModifiers(kControl | kOption | kShift);
    ASSERT_TRUE(historyMask && otherMask);
    XGrabKey(other, keycode, *historyMask, root, False, GrabModeAsync, GrabModeAsync);
    XGrabKey(other, keycode, *otherMask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    hotkeys.registerHotkey();
    EXPECT_FALSE(hotkeys.isRegistered(HotkeyAction::showHistory));
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register hotkey for showHistory: the shortcut is taken by another program")));

    EXPECT_FALSE(hotkeys.updateHotkey(HotkeyAction::captureArea, kKeyV, kControl | kOption | kShift));
    EXPECT_TRUE(console.contains(
        QStringLiteral("Failed to register hotkey for captureArea: the shortcut is taken by another program")));
    EXPECT_FALSE(hotkeys.isRegistered(HotkeyAction::captureArea));
    EXPECT_FALSE(prefs.storedObject(QStringLiteral("captureAreaHotkeyKeyCode")).isValid());

    // Free again once the other program lets go.
    XCloseDisplay(other);
    EXPECT_TRUE(hotkeys.updateHotkey(HotkeyAction::captureArea, kKeyV, kControl | kOption | kShift));
    hotkeys.unregisterHotkey();
}

TEST_F(PasteEndToEndTest, PastesStoredEntryIntoTheTextFieldOfAnotherProgram)
{
    TargetApp target;
    ASSERT_TRUE(target.start(QStringLiteral("Paste target")))
        << "the target program did not come up: " << targetProgram().toStdString();

    // The history opens while the target is frontmost, then takes the focus itself.
    windows.showHistoryWindow();
    ASSERT_EQ(paste.targetPID(), target.pid());
    Decoy panel;
    ASSERT_TRUE(panel.takeFocus());
    windows.hideHistoryWindow();

    const QString text = QStringLiteral("Grüße aus Quorvel");
    const ClipItemPtr entry = makeEntry(text,
        {sealedRepresentation(PasteboardTypes::html, 400, "<b>Grüße</b>"),
            sealedRepresentation(PasteboardTypes::utf8PlainText, 100, text.toUtf8())});
    ASSERT_TRUE(paste.paste(entry, false));

    EXPECT_TRUE(waitUntil([&] { return target.text() == text; })) << "field holds: " << target.text().toStdString();
    EXPECT_TRUE(waitUntil([this] { return !suspension.isSuspended(); }, 3000));
    EXPECT_EQ(panel.text(), QString());

    const QString pid = QString::number(target.pid());
    const QStringList expected {
        QStringLiteral(R"(^Captured target app: .+ \(.+\)$)"),
        QStringLiteral(R"(^Paste sequence started\. Accessibility: true$)"),
        QStringLiteral(R"(^Activating target: .+ \(PID: %1\)$)").arg(pid),
        QStringLiteral(R"(^App is active after \d+ms\. Waiting 100ms for settle\.$)"),
        QStringLiteral(R"(^Firing paste event to PID %1\.$)").arg(pid),
    };
    const QStringList lines = traced();
    ASSERT_EQ(lines.size(), expected.size()) << lines.join(QLatin1Char('\n')).toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(QRegularExpression(expected[i]).match(lines[i]).hasMatch()) << lines[i].toStdString();
}

TEST_F(PasteEndToEndTest, TargetThatNeverActivatesGetsNoKeystrokeIntoTheFocusedWindow)
{
    // A window of another client that never takes the keyboard focus (no input hint, no
    // WM_TAKE_FOCUS): asking the window manager to activate it never makes it active.
    constexpr long kPid = 4199001;
    ForeignWindow never("never-active", "NeverActive", kPid, false);
    ASSERT_TRUE(never.isValid());
    ASSERT_TRUE(waitUntil([this] {
        const QList<RunningApplication> running = workspace.runningApplications();
        return std::any_of(running.begin(), running.end(),
            [](const RunningApplication& app) { return app.processIdentifier == kPid; });
    }));
    Decoy focused;
    ASSERT_TRUE(focused.takeFocus());

    // This program is frontmost: the other running application becomes the target.
    paste.captureTargetApp();
    ASSERT_EQ(paste.targetPID(), kPid);

    const QString text = QStringLiteral("nicht hier einfügen");
    ASSERT_TRUE(paste.paste(makeTextEntry(text), false));
    ASSERT_TRUE(waitUntil(
        [this] { return traced().last().startsWith(QStringLiteral("Activation timeout after 500ms.")); }, 5000))
        << traced().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(traced().last().contains(QStringLiteral("Paste to PID %1 skipped").arg(kPid)));
    // The window that held the focus all along is this program's: a keystroke sent anyway would
    // have landed in it.
    const std::optional<RunningApplication> front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, QCoreApplication::applicationPid());
    EXPECT_TRUE(waitUntil([this] { return !suspension.isSuspended(); }, 3000));
    spin(200);
    EXPECT_EQ(focused.text(), QString());

    // The content stays on the clipboard for the user to paste by hand.
    EXPECT_EQ(pasteboard.data(PasteboardTypes::utf8PlainText, 1024), std::optional<QByteArray>(text.toUtf8()));

    // A key typed now lands in the focused field.
    ASSERT_TRUE(focused.takeFocus());
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("x")}));
    EXPECT_TRUE(waitUntil([&] { return focused.text() == QStringLiteral("x"); }));
}

}
