// The settings window on a real X server: each of the seven tabs is written out as a picture; a
// shortcut recorded on the Screenshots tab fires globally at once; a combination another program
// holds shows as failed and changes nothing; a minimised window is restored, never duplicated;
// closing it stops a recording recorder; a second start of the program opens it; a recorder
// holds the keyboard while it records, so a combination another program grabbed reaches it.
#include "QuorvelUnderTest.h"
#include "app/UpdaterManager.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "settings/AboutView.h"
#include "settings/ApplicationChooser.h"
#include "settings/FocusRing.h"
#include "settings/BlocklistSettingsView.h"
#include "settings/ScreenshotSettingsView.h"
#include "settings/SettingsTab.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowManager.h"
#include "settings/ShortcutRecorderView.h"
#include "settings/TabButton.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QScreen>
#include <QPushButton>
#include <atomic>
#include <thread>
#include <gtest/gtest.h>
#include "X11TestSupport.h"
#include <X11/keysym.h>

using namespace x11test;

namespace {

QWidget* openSettings(QuorvelApp& app)
{
    app.settingsWindows().showSettings();
    QWidget* window = app.settingsWindows().settingsWindow();
    if (!window || !waitUntil([&] { return window->isVisible() && window->isActiveWindow(); }))
        return nullptr;
    return window;
}

SettingsView* viewOf(QWidget* window)
{
    return window->findChild<SettingsView*>();
}

ShortcutRecorderView* recorderFor(QWidget* window, GlobalShortcuts::Action action)
{
    for (ShortcutRecorderView* row : window->findChildren<ShortcutRecorderView*>())
        if (row->action() == action && row->isVisible())
            return row;
    return nullptr;
}

QString fileNameOf(SettingsTab tab)
{
    return QStringLiteral("settings_%1.png").arg(tab.rawValue().toLower().replace(u' ', u'_'));
}

}

TEST(SettingsWindow, SevenTabsRecordedShortcutsAndTheWindowsLife)
{
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    QWidget* window = openSettings(*quorvel.app);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "Quorvel Settings");
    EXPECT_EQ(window->size(), QSize(760, 660));
    SettingsView* view = viewOf(window);
    EXPECT_EQ(view->selectedTab(), SettingsTab(SettingsTab::general));

    // Every tab, as the user sees it.
    for (const SettingsTab tab : SettingsTab::allCases()) {
        view->tabButtons()[int(tab)]->click();
        spin(SettingsView::switchDuration + 150);
        EXPECT_EQ(view->selectedTab(), tab);
        EXPECT_TRUE(window->grab().save(artifact(fileNameOf(tab)))) << tab.rawValue().toStdString();
    }

    // A shortcut recorded on the Screenshots tab is grabbed at once: pressed anywhere, it starts
    // the text capture.
    view->tabButtons()[int(SettingsTab::screenshots)]->click();
    spin(50);
    ShortcutRecorderView* text = recorderFor(window, GlobalShortcuts::captureText);
    ASSERT_TRUE(text);
    text->shortcutButton()->click();
    ASSERT_TRUE(text->isRecording());
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+t"}));
    ASSERT_TRUE(waitUntil([&] { return !text->isRecording(); }));
    EXPECT_EQ(text->buttonText(), "⌃⌥T");
    CaptureOverlayWindowManager& capture = quorvel.app->captureOverlay();
    {
        ForeignWindow other("editor", "Editor", 4242);
        spin(200);
        const qsizetype before = capture.startedFlows().size();
        ASSERT_TRUE(xdotool({"key", "ctrl+alt+t"}));
        ASSERT_TRUE(waitUntil([&] { return capture.startedFlows().size() > before; }));
        EXPECT_EQ(capture.startedFlows().last(), "beginTextSelection");
        // The overlay comes up once the screen proved readable (or, where it cannot be read, the
        // permission alert); either goes again.
        waitUntil([&] { return capture.isShowing() || capture.permissionAlert() != nullptr; }, 3000);
        capture.dismissAll();
        if (capture.permissionAlert())
            capture.permissionAlert()->close();
    }
    spin(300);

    // Another program holds Control-Option-Y, though only with NumLock on (so the press, made with
    // NumLock off, still reaches the settings window): the recorder says so and assigns nothing.
    Display* elsewhere = XOpenDisplay(nullptr);
    ASSERT_TRUE(elsewhere);
    XGrabKey(elsewhere, XKeysymToKeycode(elsewhere, XK_y), ControlMask | Mod1Mask | Mod2Mask,
        DefaultRootWindow(elsewhere), True, GrabModeAsync, GrabModeAsync);
    XSync(elsewhere, False);
    ASSERT_TRUE(openSettings(*quorvel.app))
        << "the settings window did not come back to the front: visible " << window->isVisible() << " active "
        << (QApplication::activeWindow() ? QApplication::activeWindow()->metaObject()->className() : "none")
        << " overlay " << capture.isShowing();
    ShortcutRecorderView* windowRow = recorderFor(window, GlobalShortcuts::captureWindow);
    ASSERT_TRUE(windowRow);
    windowRow->shortcutButton()->click();
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+y"}));
    ASSERT_TRUE(waitUntil([&] { return windowRow->state() == ShortcutRecorderView::State::failed; }));
    EXPECT_EQ(windowRow->buttonText(), "⌃⌥Y");
    EXPECT_EQ(windowRow->failureReason(), "Belegt oder nicht belegbar");
    EXPECT_FALSE(Preferences::shared().object("captureWindowHotkeyKeyCode").isValid());
    spin(100);
    EXPECT_TRUE(window->grab().save(artifact(QStringLiteral("settings_recorder_failed.png"))));
    XCloseDisplay(elsewhere);

    // A combination another action uses: the recorder lets the program's hotkeys go while it
    // records, so the press reaches it and it names the action.
    const qsizetype flowsBefore = capture.startedFlows().size();
    windowRow->shortcutButton()->click();
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+t"}));
    ASSERT_TRUE(waitUntil([&] { return windowRow->state() == ShortcutRecorderView::State::failed; }));
    EXPECT_EQ(windowRow->failureReason(), "Bereits belegt von „Text erfassen“");
    spin(200);
    EXPECT_EQ(capture.startedFlows().size(), flowsBefore); // no capture began
    EXPECT_TRUE(window->grab().save(artifact(QStringLiteral("settings_recorder_used.png"))));
    // Escape puts the failure away: the row shows the shortcut in force again.
    ASSERT_TRUE(xdotool({"key", "Escape"}));
    ASSERT_TRUE(waitUntil([&] { return windowRow->state() == ShortcutRecorderView::State::idle; }));
    EXPECT_EQ(windowRow->buttonText(), "Nicht belegt");
    EXPECT_TRUE(window->isVisible());

    // Minimised: the next opening restores the same window.
    window->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return window->isMinimized(); }, 2000) || true);
    quorvel.app->settingsWindows().showSettings();
    EXPECT_EQ(quorvel.app->settingsWindows().settingsWindow(), window);
    EXPECT_TRUE(waitUntil([&] { return !window->isMinimized() && window->isVisible(); }));

    // Closing stops a recorder that records; the next opening is a new window on "General".
    windowRow->shortcutButton()->click();
    ASSERT_TRUE(windowRow->isRecording());
    window->close();
    EXPECT_EQ(ShortcutRecorderView::activeRecorder(), nullptr);
    QWidget* reopened = openSettings(*quorvel.app);
    ASSERT_TRUE(reopened);
    EXPECT_NE(reopened, window);
    EXPECT_EQ(viewOf(reopened)->selectedTab(), SettingsTab(SettingsTab::general));
}

// The General tab shows whole in the fixed window; Tab and Shift+Tab move a visible ring through
// every control of the window, tabs, switches, slider, pickers and shortcut recorders included.
TEST(SettingsWindow, TheGeneralTabShowsWholeAndTheKeyboardFocusIsVisible)
{
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    QWidget* window = openSettings(*quorvel.app);
    ASSERT_TRUE(window);
    SettingsView* view = viewOf(window);
    QWidget* page = view->currentPage();
    ASSERT_TRUE(page);
    auto* scroller = qobject_cast<QScrollArea*>(page->parentWidget()->parentWidget());
    ASSERT_TRUE(scroller);
    spin(SettingsView::switchDuration + 150);
    EXPECT_TRUE(window->grab().save(artifact(QStringLiteral("settings_general_whole.png"))));
    // Everything down to the bottom margin is in view, without scrolling.
    EXPECT_LE(page->sizeHint().height(), scroller->viewport()->height());
    EXPECT_EQ(scroller->verticalScrollBar()->maximum(), 0);
    ShortcutRecorderView* last = recorderFor(window, GlobalShortcuts::showHistory);
    ASSERT_TRUE(last);
    EXPECT_LE(last->mapTo(window, QPoint(0, last->height())).y() + 20, window->height());

    // Tab from the first control round the window and back to it; every stop is marked.
    FocusRing* ring = view->focusRing();
    QWidget* first = QApplication::focusWidget();
    ASSERT_TRUE(first && first->window() == window);
    QList<QWidget*> stops;
    QStringList kinds;
    for (int i = 0; i < 60; ++i) {
        QWidget* before = QApplication::focusWidget();
        ASSERT_TRUE(xdotool({"key", "Tab"}));
        ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() != before; }))
            << "Tab did not move the focus from " << before->metaObject()->className();
        QWidget* focused = QApplication::focusWidget();
        ASSERT_EQ(focused->window(), window);
        ASSERT_TRUE(waitUntil([&] { return ring->target() == focused; }))
            << "no ring around " << focused->metaObject()->className();
        const QRect around = ring->ringRect();
        EXPECT_TRUE(around.contains(QRect(focused->mapTo(view, QPoint(0, 0)), focused->size())));
        // The ring is drawn: its edge shows the accent colour in the window's picture.
        const QImage picture = window->grab().toImage();
        const QPoint edge = view->mapTo(window, QPoint(around.center().x(), around.top() + 1));
        const QColor drawn = picture.pixelColor(edge);
        EXPECT_GT(drawn.blue(), drawn.red() + 80)
            << focused->metaObject()->className() << " at " << edge.x() << "," << edge.y();
        const QString kind = QString::fromLatin1(focused->metaObject()->className());
        if (!kinds.contains(kind)) {
            kinds << kind;
            picture.copy(QRect(view->mapTo(window, around.topLeft()), around.size()).adjusted(-40, -12, 40, 12))
                .save(artifact(QStringLiteral("settings_focus_%1.png").arg(kind)));
        }
        if (focused == first)
            break;
        stops << focused;
    }
    EXPECT_EQ(QApplication::focusWidget(), first) << "Tab did not come round";
    for (const char* kind : {"TabButton", "SettingsSwitch", "QSlider", "QComboBox", "QPushButton"})
        EXPECT_TRUE(kinds.contains(QLatin1String(kind)))
            << kind << " never took the focus: " << kinds.join(", ").toStdString();
    EXPECT_TRUE(std::any_of(stops.cbegin(), stops.cend(), [&](QWidget* w) {
        return w == recorderFor(window, GlobalShortcuts::showHistory)->shortcutButton();
    })) << "the shortcut recorder never took the focus";
    // Shift+Tab goes back the same way.
    ASSERT_TRUE(xdotool({"key", "shift+Tab"}));
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == stops.last(); }));
    EXPECT_TRUE(waitUntil([&] { return ring->target() == stops.last(); }));
    window->grab().save(artifact(QStringLiteral("settings_focus_back.png")));
    // A click moves the focus without a ring.
    QWidget* clicked = stops.first();
    QTest::mouseClick(clicked, Qt::LeftButton);
    spin(50);
    EXPECT_EQ(ring->target(), nullptr);
}

// Whether the dialog stands in front of the window it belongs to and has the focus.
bool inFrontAndActive(QWidget* dialog, QWidget* owner)
{
    return dialog->isVisible() && dialog->isActiveWindow()
        && stackingPosition(dialog->winId()) > stackingPosition(owner->winId());
}

TEST(SettingsDialogs, TheChooserIsASheetAndTheUpdateAnswerShowsAboveTheSettings)
{
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    QWidget* window = openSettings(*quorvel.app);
    ASSERT_TRUE(window);
    SettingsView* view = viewOf(window);
    view->tabButtons()[int(SettingsTab::blocklist)]->click();
    spin(SettingsView::switchDuration + 100);
    auto* blocklist = window->findChild<BlocklistSettingsView*>();
    ASSERT_TRUE(blocklist);

    // The click returns at once, with the chooser open as a sheet in front of the settings. A
    // chooser run in a nested loop kept the main thread waiting on the window manager for ever;
    // the watchdog turns that into a failure instead of a hung suite.
    std::atomic<bool> returned {false};
    std::thread watchdog([&returned] {
        for (int i = 0; i < 100 && !returned; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!returned) {
            std::fprintf(stderr, "\"Choose Application...\" kept the main thread for 10 s\n");
            std::_Exit(1);
        }
    });
    blocklist->chooseButton()->click();
    returned = true;
    watchdog.join();
    ApplicationChooser* chooser = blocklist->chooser();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(waitUntil([&] { return inFrontAndActive(chooser, window); }))
        << "chooser at " << stackingPosition(chooser->winId()) << ", settings at " << stackingPosition(window->winId());
    // A second click brings the same chooser forward.
    blocklist->chooseButton()->click();
    EXPECT_EQ(blocklist->chooser(), chooser);

    // "Block" adds the chosen application later, through the callback.
    ASSERT_TRUE(waitUntil([&] { return chooser->isLoaded(); }, 15000));
    const QStringList before = blocklist->blockedApps();
    if (chooser->list()->count() > 0) {
        chooser->list()->setCurrentRow(0);
        const QString chosen = chooser->chosenBundleID();
        for (QAbstractButton* button : chooser->findChild<QDialogButtonBox*>()->buttons())
            if (button->text() == QStringLiteral("Block"))
                button->click();
        ASSERT_TRUE(waitUntil([&] { return blocklist->chooser() == nullptr; }));
        EXPECT_TRUE(blocklist->blockedApps().contains(chosen));
    } else {
        chooser->reject();
        ASSERT_TRUE(waitUntil([&] { return blocklist->chooser() == nullptr; }));
        EXPECT_EQ(blocklist->blockedApps(), before);
    }
    EXPECT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));

    // "Nach Updates suchen": the answer shows in front of the settings window, not behind it.
    view->tabButtons()[int(SettingsTab::about)]->click();
    spin(SettingsView::switchDuration + 100);
    auto* about = window->findChild<AboutView*>();
    ASSERT_TRUE(about);
    AppcastUpdaterController* updater = quorvel.app->updater().controller();
    about->updatesButton()->click();
    ASSERT_TRUE(waitUntil([&] { return updater->answer() != nullptr; }, 20000));
    QWidget* answer = updater->answer();
    EXPECT_EQ(answer->parentWidget(), window);
    EXPECT_TRUE(waitUntil([&] { return inFrontAndActive(answer, window); }))
        << "answer at " << stackingPosition(answer->winId()) << ", settings at " << stackingPosition(window->winId());
    spin(200);
    EXPECT_TRUE(
        QGuiApplication::primaryScreen()->grabWindow(0).save(artifact(QStringLiteral("settings_update_answer.png"))));
    answer->close();
    EXPECT_TRUE(waitUntil([&] { return updater->answer() == nullptr; }));
}

// Another program holds Control-Option-Y with every lock variant, as a hotkey daemon does, so that
// the key never reaches the focused window. The recording row holds the keyboard, sees the press
// and shows the combination as taken; once it stops, the other program gets its key again.
TEST(ShortcutRecorderGrab, ACombinationAnotherProgramGrabbedShowsAsTaken)
{
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    Display* elsewhere = XOpenDisplay(nullptr);
    ASSERT_TRUE(elsewhere);
    const KeyCode y = XKeysymToKeycode(elsewhere, XK_y);
    for (const unsigned int locks : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(elsewhere, y, ControlMask | Mod1Mask | locks, DefaultRootWindow(elsewhere), True, GrabModeAsync,
            GrabModeAsync);
    XSync(elsewhere, False);
    const auto keyPressesElsewhere = [&] {
        XSync(elsewhere, False);
        int presses = 0;
        while (XPending(elsewhere) > 0) {
            XEvent event;
            XNextEvent(elsewhere, &event);
            presses += event.type == KeyPress;
        }
        return presses;
    };

    QWidget* window = openSettings(*quorvel.app);
    ASSERT_TRUE(window);
    viewOf(window)->tabButtons()[int(SettingsTab::screenshots)]->click();
    spin(SettingsView::switchDuration + 100);
    ShortcutRecorderView* row = recorderFor(window, GlobalShortcuts::captureWindow);
    ASSERT_TRUE(row);
    const QString before = row->buttonText();
    row->shortcutButton()->click();
    ASSERT_TRUE(row->isRecording());
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+y"}));
    ASSERT_TRUE(waitUntil([&] { return row->state() == ShortcutRecorderView::State::failed; }))
        << "the press never reached the recorder: " << row->buttonText().toStdString();
    EXPECT_EQ(row->buttonText(), "⌃⌥Y");
    EXPECT_EQ(row->failureReason(), "Belegt oder nicht belegbar");
    EXPECT_FALSE(Preferences::shared().object("captureWindowHotkeyKeyCode").isValid());
    EXPECT_EQ(keyPressesElsewhere(), 0) << "the other program saw the press made for the recorder";
    EXPECT_TRUE(window->grab().save(artifact(QStringLiteral("settings_recorder_grabbed_elsewhere.png"))));

    // The failure put away, the old shortcut shows and the keyboard is free again.
    ASSERT_TRUE(xdotool({"key", "Escape"}));
    ASSERT_TRUE(waitUntil([&] { return row->state() == ShortcutRecorderView::State::idle; }));
    EXPECT_EQ(row->buttonText(), before);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+y"}));
    EXPECT_TRUE(waitUntil([&] { return keyPressesElsewhere() > 0; }, 2000)) << "the keyboard stayed grabbed";
    XCloseDisplay(elsewhere);
}

TEST(SecondStart, ASecondStartOpensTheSettingsWindowOfTheRunningOne)
{
    const QString binary = qEnvironmentVariable("QUORVEL_BINARY");
    ASSERT_FALSE(binary.isEmpty());
    QTemporaryDir home;
    QProcessEnvironment env = freshHomeEnvironment(home.path());
    env.remove("DBUS_SESSION_BUS_ADDRESS"); // no tray host, no Secret Service
    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(binary);
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return first.readAll().contains("no system tray is available"); }, 10000) || true);
    spin(1500);

    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(binary);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAll().contains("Quorvel is already running; its settings window opens"));
    auto settingsShown = [] {
        QProcess search;
        search.start("xdotool", {"search", "--onlyvisible", "--name", "^Quorvel Settings$"});
        search.waitForFinished(3000);
        return !search.readAllStandardOutput().trimmed().isEmpty();
    };
    EXPECT_TRUE(waitUntil(settingsShown, 8000));
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(10000));
}
