// The tray on a real X server: an XEmbed tray (trayer) embeds the icon, a click opens the menu,
// and every row acts (a capture only once the menu is off the screen); a recording turns the icon
// red and swaps the record rows for "Aufnahme stoppen"; clear-all empties the history but leaves
// screenshots and recordings. Pictures of the menu are written to look at.
#include "QuorvelUnderTest.h"
#include "app/UpdaterManager.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "feedback/FeedbackWindowManager.h"
#include "gallery/RecordingsWindowManager.h"
#include "gallery/ScreenshotsWindowManager.h"
#include "history/WindowManager.h"
#include "menubar/ClearHistoryDialog.h"
#include "menubar/MenuBarIconView.h"
#include "menubar/MenuBarView.h"
#include "platform/Dispatch.h"
#include "settings/SettingsWindowManager.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContext.h"

#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using namespace x11test;
using MenuBarModel::Command;

namespace {

// trayer, a plain XEmbed system tray: a panel along the top of the screen.
class XEmbedTray {
public:
    XEmbedTray()
    {
        m_process.start(QStringLiteral("trayer"),
            {"--edge", "top", "--align", "left", "--widthtype", "pixel", "--width", "240", "--height", "28",
                "--SetDockType", "true", "--SetPartialStrut", "true", "--transparent", "false", "--tint", "0x202020"});
        m_process.waitForStarted();
    }
    ~XEmbedTray()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(2000))
            m_process.kill();
    }
    // The tray manager selection is owned.
    static bool isRunning()
    {
        Display* display = XOpenDisplay(nullptr);
        if (!display)
            return false;
        const Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
        const bool owned = XGetSelectionOwner(display, selection) != 0;
        XCloseDisplay(display);
        return owned;
    }

private:
    QProcess m_process;
};

// The centre, in root coordinates, of the viewable window that trayer's panel embedded
// (_XEMBED_INFO); absent while none is.
std::optional<QPoint> embeddedIconCenter()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return std::nullopt;
    const Atom xembed = XInternAtom(display, "_XEMBED_INFO", False);
    auto children = [&](Window window) {
        QList<Window> list;
        Window root = 0, parent = 0, *items = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, window, &root, &parent, &items, &count)) {
            for (unsigned int i = 0; i < count; ++i)
                list << items[i];
            if (items)
                XFree(items);
        }
        return list;
    };
    auto isTrayer = [&](Window window) {
        XClassHint hint {};
        if (!XGetClassHint(display, window, &hint))
            return false;
        const bool trayer = QByteArray(hint.res_name) == "panel" && QByteArray(hint.res_class) == "trayer";
        XFree(hint.res_name);
        XFree(hint.res_class);
        return trayer;
    };
    std::optional<QPoint> found;
    std::function<void(Window, bool)> visit = [&](Window window, bool insideTray) {
        for (const Window child : children(window)) {
            if (found)
                return;
            const bool inside = insideTray || isTrayer(child);
            XWindowAttributes attributes;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            Atom type = 0;
            if (insideTray && XGetWindowAttributes(display, child, &attributes) && attributes.map_state == IsViewable
                && XGetWindowProperty(
                       display, child, xembed, 0, 2, False, AnyPropertyType, &type, &format, &items, &after, &data)
                    == Success
                && type != 0) {
                int x = 0, y = 0;
                Window unused = 0;
                XTranslateCoordinates(display, child, DefaultRootWindow(display), attributes.width / 2,
                    attributes.height / 2, &x, &y, &unused);
                found = QPoint(x, y);
            }
            if (data)
                XFree(data);
            if (!found)
                visit(child, inside);
        }
    };
    visit(DefaultRootWindow(display), false);
    XCloseDisplay(display);
    return found;
}

// Opens the menu where a click on the icon opens it and waits until it shows.
// A popup can be refused while another client still holds the pointer (the window manager
// settling a window that just closed): then it is tried again.
bool openMenu(MenuBarView* menu, QPoint at)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        menu->popup(at);
        if (waitUntil(
                [&] { return menu->isVisible() && menu->windowHandle() && menu->windowHandle()->isExposed(); }, 1500))
            return true;
        menu->hide();
        spin(200);
    }
    return false;
}

// Waits for the updater's answer, a message box above every window, and closes it. (A timer that
// closed whatever was modal could outlive the test and close the next test's dialog.)
void closeUpdateAnswer()
{
    QMessageBox* answer = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                answer = box;
        return answer != nullptr;
    }));
    answer->close();
}

// Every capture row starts its flow, and only after the menu has left the screen.
void checkCaptureRows(MenuBarView* menu, QPoint at, CaptureOverlayWindowManager& capture)
{
    const QList<std::pair<Command, QString>> flows {
        {Command::captureArea, "beginAreaSelection(forceToolbar: false)"},
        {Command::captureAreaWithToolbar, "beginAreaSelection(forceToolbar: true)"},
        {Command::captureWindow, "beginWindowSelection"},
        // Without a last area the last-area row goes on as an area selection.
        {Command::captureLastArea, "beginAreaSelection(forceToolbar: false)"},
        {Command::captureText, "beginTextSelection"},
        {Command::captureScrolling, "beginScrollingSelection"},
        {Command::recordArea, "beginAreaRecording"},
        {Command::recordWindow, "beginWindowRecording"},
    };
    for (const auto& [command, flow] : flows) {
        ASSERT_TRUE(openMenu(menu, at));
        QWindow* menuWindow = menu->windowHandle();
        const qsizetype before = capture.startedFlows().size();
        menu->action(command)->trigger();
        EXPECT_EQ(capture.startedFlows().size(), before) << "began while the menu was still up";
        ASSERT_TRUE(waitUntil([&] { return capture.startedFlows().size() > before; })) << flow.toStdString();
        EXPECT_EQ(capture.startedFlows().last(), flow);
        EXPECT_FALSE(menuWindow->isExposed()) << flow.toStdString();
        // The session ends once its overlays are up (or the permission alert, where it shows).
        waitUntil([&] { return capture.isShowing() || capture.permissionAlert(); }, 3000);
        capture.dismissAll();
        if (capture.permissionAlert())
            capture.permissionAlert()->close();
        spin(50);
    }
}

// The history, feedback, update and gallery rows open their windows.
void checkWindowRows(QuorvelApp& app, MenuBarView* menu, QPoint at)
{
    // The history row opens the floating panel.
    WindowManager& history = app.historyWindows();
    ASSERT_TRUE(openMenu(menu, at));
    menu->action(Command::showHistory)->trigger();
    ASSERT_TRUE(waitUntil([&] { return history.isVisible(); }));
    history.hideHistoryWindow();

    // Feedback, updates and the gallery rows.
    ASSERT_TRUE(openMenu(menu, at));
    menu->action(Command::feedback)->trigger();
    ASSERT_TRUE(waitUntil([&] {
        QWidget* window = app.feedbackWindows().feedbackWindow();
        return window && window->isVisible();
    }));
    app.feedbackWindows().feedbackWindow()->close();
    QSignalSpy checked(app.updater().controller(), &AppcastUpdaterController::checkFinished);
    menu->action(Command::checkForUpdates)->trigger();
    ASSERT_TRUE(checked.count() > 0 || checked.wait(5000));
    EXPECT_TRUE(checked.first().at(2).toBool()); // the user asked
    closeUpdateAnswer();
    menu->action(Command::showScreenshots)->trigger();
    ASSERT_TRUE(waitUntil([&] {
        QWidget* window = app.screenshotsWindows().window();
        return window && window->isVisible();
    }));
    app.screenshotsWindows().window()->close();
    menu->action(Command::showRecordings)->trigger();
    ASSERT_TRUE(waitUntil([&] {
        QWidget* window = app.recordingsWindows().window();
        return window && window->isVisible();
    }));
    app.recordingsWindows().window()->close();
}

}

TEST(TrayMenu, XEmbedTrayIconOpensTheMenuAndEveryRowActs)
{
    XEmbedTray tray;
    ASSERT_TRUE(waitUntil(&XEmbedTray::isRunning, 8000)) << "trayer did not take the tray selection";
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    ASSERT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    ConsoleCapture console;
    quorvel.app->showStatusItem();
    ASSERT_TRUE(quorvel.app->trayIcon());
    ASSERT_TRUE(waitUntil([&] { return embeddedIconCenter().has_value(); }, 8000)) << "the icon was not embedded";
    EXPECT_FALSE(console.contains("no system tray is available"));

    // A click on the embedded icon opens the menu, once the tray has stopped moving it.
    std::optional<QPoint> settled;
    ASSERT_TRUE(waitUntil([&] {
        const std::optional<QPoint> before = embeddedIconCenter();
        spin(200);
        settled = embeddedIconCenter();
        return before && settled && *before == *settled;
    }));
    const QPoint iconCenter = *settled;
    ASSERT_TRUE(xdotool({"mousemove", QString::number(iconCenter.x()), QString::number(iconCenter.y()), "click", "1"}));
    MenuBarView* menu = quorvel.app->menu();
    const bool opened = waitUntil([&] { return menu->isVisible(); });
    if (!opened) {
        QProcess tree;
        tree.start("xwininfo", {"-root", "-tree"});
        tree.waitForFinished(3000);
        std::cerr << tree.readAllStandardOutput().toStdString();
    }
    ASSERT_TRUE(opened) << "no menu after a click on the icon at " << iconCenter.x() << "," << iconCenter.y();
    spin(200);
    EXPECT_GE(menu->width(), MenuBarView::menuWidth);
    EXPECT_TRUE(menu->grab().save(artifact(QStringLiteral("tray_menu.png"))));
    QScreen* screen = QGuiApplication::primaryScreen();
    EXPECT_TRUE(screen->grabWindow(0).save(artifact(QStringLiteral("tray_menu_on_screen.png"))));

    // "Settings..." clicked for real: the menu goes, the settings window comes.
    const QPoint settingsRow = menu->mapToGlobal(menu->actionGeometry(menu->action(Command::settings)).center());
    ASSERT_TRUE(
        xdotool({"mousemove", QString::number(settingsRow.x()), QString::number(settingsRow.y()), "click", "1"}));
    ASSERT_TRUE(waitUntil([&] {
        QWidget* window = quorvel.app->settingsWindows().settingsWindow();
        return window && window->isVisible();
    }));
    EXPECT_FALSE(menu->isVisible());
    quorvel.app->settingsWindows().settingsWindow()->close();

    checkCaptureRows(menu, iconCenter - QPoint(0, 300), quorvel.app->captureOverlay());
    checkWindowRows(*quorvel.app, menu, iconCenter - QPoint(0, 300));
}

TEST(TrayRecording, RecordingTurnsTheIconRedAndOffersOnlyStop)
{
    XEmbedTray tray;
    ASSERT_TRUE(waitUntil(&XEmbedTray::isRunning, 8000));
    QuorvelUnderTest quorvel;
    quorvel.app->showStatusItem();
    MenuBarView* menu = quorvel.app->menu();
    QSystemTrayIcon* icon = quorvel.app->trayIcon();
    ASSERT_TRUE(waitUntil([&] { return embeddedIconCenter().has_value(); }, 8000));
    const QImage idleIcon = icon->icon().pixmap(22).toImage();

    // A recording runs (started as the overlay starts one).
    spin(200);
    ScreenRecordingService& recorder = quorvel.app->recorder();
    recorder.startRecording(ScreenRecordingService::DisplayTarget {1}, false);
    ASSERT_TRUE(waitUntil([&] { return recorder.isRecording(); }, 8000));
    EXPECT_NE(icon->icon().pixmap(22).toImage(), idleIcon);
    const QImage red = icon->icon().pixmap(22).toImage();
    const QColor middle = red.pixelColor(11, 11);
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.green(), 100);
    ASSERT_TRUE(openMenu(menu, QPoint(900, 400)));
    EXPECT_TRUE(menu->action(Command::stopRecording));
    EXPECT_EQ(menu->action(Command::stopRecording)->text(), "Aufnahme stoppen");
    EXPECT_FALSE(menu->action(Command::recordArea));
    EXPECT_FALSE(menu->action(Command::recordScreen));
    spin(150);
    EXPECT_TRUE(menu->grab().save(artifact(QStringLiteral("tray_menu_recording.png"))));

    QSignalSpy stopped(&recorder, &ScreenRecordingService::stopped);
    menu->action(Command::stopRecording)->trigger();
    ASSERT_TRUE(stopped.count() > 0 || stopped.wait(10000));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(icon->icon().pixmap(22).toImage(), idleIcon);
    ASSERT_TRUE(openMenu(menu, QPoint(900, 400)));
    EXPECT_TRUE(menu->action(Command::recordArea));
    EXPECT_FALSE(menu->action(Command::stopRecording));
    menu->hide();
}

TEST(TrayMenu, ClearAllEmptiesTheHistoryAndKeepsScreenshotsAndRecordings)
{
    QuorvelUnderTest quorvel;
    quorvel.app->showStatusItem();
    // Entries are sealed as they are stored, and the clipboard key is loaded off the main thread
    // after the start: like the clipboard's own saves, these wait until it is there.
    bool keyed = false;
    quorvel.app->clipboardCrypto().whenKeyAvailable(DispatchQueue::main(), [&keyed] { keyed = true; });
    ASSERT_TRUE(waitUntil([&] { return keyed; }, 20000));
    ModelContext& context = quorvel.app->sharedModelContainer()->mainContext();
    for (int i = 0; i < 4; ++i) {
        auto item = std::make_shared<ClipItem>();
        item->isPinned = i == 0;
        item->appendRepresentation(sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 1000, "text"));
        context.insert(item);
    }
    context.insert(std::make_shared<ScreenshotItem>(
        QDateTime::currentDateTimeUtc(), QStringLiteral("area"), QByteArray("png"), std::nullopt, std::nullopt));
    context.insert(std::make_shared<RecordingItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("display"),
        QStringLiteral("a.mov"), 1.0, qint64(10), false, std::nullopt));
    ASSERT_TRUE(context.save());

    MenuBarView* menu = quorvel.app->menu();
    ASSERT_TRUE(openMenu(menu, QPoint(900, 400)));
    menu->action(Command::clearHistory)->trigger();
    ClearHistoryDialog* dialog = menu->clearDialog();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }));
    EXPECT_FALSE(menu->isVisible());
    spin(150);
    EXPECT_TRUE(dialog->grab().save(artifact(QStringLiteral("clear_history_dialog.png"))));
    QSignalSpy finished(dialog, &ClearHistoryDialog::eraseFinished);
    dialog->deleteButton()->click();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(20000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(context.fetchClipItemCount(), 0);
    EXPECT_EQ(context.fetchScreenshotItems().size(), 1u);
    EXPECT_EQ(context.fetchRecordingItems().size(), 1u);
}

// In a suite of its own: once the event loop has ended, the application is closing for good.
TEST(TrayMenuQuit, QuitRowEndsTheEventLoop)
{
    QuorvelUnderTest quorvel;
    quorvel.app->showStatusItem();
    MenuBarView* menu = quorvel.app->menu();
    QObject guard;
    QTimer::singleShot(0, menu, [menu] {
        menu->popup(QPoint(900, 400));
        menu->action(Command::quit)->trigger();
    });
    QTimer::singleShot(5000, &guard, [] { QApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "quit did not end the event loop";
    EXPECT_FALSE(menu->isVisible());
}
