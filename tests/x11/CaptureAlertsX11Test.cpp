// The alerts of captures on a real X server, with the program's own floating windows open (the
// settings window and the gallery, kept above other windows): each alert shows in front of them
// all, its buttons answer the pointer, and once it is answered no window of the program is left
// blocked.
#include "QuorvelUnderTest.h"
#include "app/UpdaterManager.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "gallery/RecordingsWindowManager.h"
#include "gallery/ScreenshotsWindowManager.h"
#include "platform/linux/X11ScreenSource.h"
#include "settings/SettingsTab.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowManager.h"
#include "settings/TabButton.h"

#include <QPushButton>
#include <QWindow>
#include <gtest/gtest.h>

#include "X11ScreenSupport.h"

using namespace x11test;

namespace {

QWidget* shown(const std::function<QWidget*()>& window)
{
    if (!waitUntil([&] { return window() && window()->isVisible() && window()->windowHandle()->isExposed(); }, 20000))
        return nullptr;
    spin(200); // the window manager places and stacks it
    return window();
}

QPushButton* buttonOf(QWidget* alert, const QString& text)
{
    for (QPushButton* button : alert->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// The share of the alert's pixels that the screen shows where the alert is: all of them when
// nothing covers it.
double visibleShare(X11ScreenSource& screen, QWidget* alert)
{
    const QImage drawn = alert->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage onScreen
        = screen.grabRect(QRect(alert->mapToGlobal(QPoint(0, 0)), alert->size())).convertToFormat(QImage::Format_RGB32);
    if (drawn.size() != onScreen.size())
        return 0;
    qint64 same = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            same += (drawn.pixel(x, y) & 0xffffff) == (onScreen.pixel(x, y) & 0xffffff);
    return double(same) / (double(drawn.width()) * drawn.height());
}

void click(QWidget* widget)
{
    const QPoint centre = widget->mapToGlobal(widget->rect().center());
    xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
}

}

TEST(CaptureAlertsX11, AlertsShowInFrontOfTheFloatingWindowsAndLeaveNothingBlocked)
{
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    QuorvelApp& app = *quorvel.app;
    X11ScreenSource screen;
    // A window of another program that ignores the wheel: its pixels never change.
    ScreenWindow still;
    still.windowID = 0x5151;
    still.frame = QRect(20, 20, 260, 180);
    still.title = QStringLiteral("still");
    still.bundleIdentifier = QStringLiteral("still");
    still.processID = 5151;
    quorvel.fakes.screen.windowList = {still};
    quorvel.fakes.screen.windowImages.insert(still.windowID, tiled(patternTile(6), still.frame.size()));
    // The wheel turned over it reaches a window that ignores it (not the desktop, which a window
    // manager may answer by switching desktops).
    PatternWindow wheelTarget(still.frame, patternTile(6), true);
    ASSERT_TRUE(wheelTarget.waitViewable());

    app.settingsWindows().showSettings();
    QWidget* settings = shown([&] { return app.settingsWindows().settingsWindow(); });
    ASSERT_TRUE(settings);
    app.screenshotsWindows().showScreenshots();
    QWidget* gallery = shown([&] { return app.screenshotsWindows().window(); });
    ASSERT_TRUE(gallery);
    const auto inFront = [&](QWidget* alert, const QList<QWidget*>& windows) {
        for (QWidget* window : windows)
            if (!waitUntil([&] { return stackingPosition(alert->winId()) > stackingPosition(window->winId()); }, 20000))
                return false;
        return waitUntil([&] { return visibleShare(screen, alert) > 0.99; }, 20000);
    };

    // A scrolling capture of that window: nothing moves, so the manual mode is offered.
    CaptureOverlayWindowManager& overlay = app.captureOverlay();
    bool presented = false;
    QObject::connect(&overlay, &CaptureOverlayWindowManager::overlaysPresented, [&] { presented = true; });
    overlay.beginScrollingSelection();
    ASSERT_TRUE(waitUntil([&] { return presented; }, 20000));
    overlay.selection().mouseMoved({150, 240 - 110});
    overlay.selection().clickForWindowPick();
    QWidget* alert = shown([&] { return overlay.permissionAlert(); });
    ASSERT_TRUE(alert) << "the manual mode is offered";
    screen.grabRect(QRect(0, 0, 1280, 800))
        .save(artifact(QStringLiteral("capture_alert_over_settings_and_gallery.png")));
    EXPECT_TRUE(inFront(alert, {settings, gallery}));
    // A click on a blocked window, or a window of ours opened meanwhile, leaves it in front.
    const QRect titleBar = settings->frameGeometry();
    xdotool({"mousemove", QString::number(titleBar.left() + 40), QString::number(titleBar.top() + 6), "click", "1"});
    app.recordingsWindows().showRecordings();
    QWidget* recordings = shown([&] { return app.recordingsWindows().window(); });
    ASSERT_TRUE(recordings);
    EXPECT_TRUE(inFront(alert, {settings, gallery, recordings}));

    // The user answers it with the pointer; afterwards the settings window takes clicks again.
    QPointer<QWidget> answered(alert);
    click(buttonOf(alert, QStringLiteral("Abbrechen")));
    ASSERT_TRUE(waitUntil([&] { return !answered || !answered->isVisible(); }, 20000));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    auto* view = settings->findChild<SettingsView*>();
    ASSERT_TRUE(view);
    app.settingsWindows().showSettings();
    spin(200);
    click(view->tabButtons()[int(SettingsTab::about)]);
    EXPECT_TRUE(waitUntil([&] { return view->selectedTab() == SettingsTab(SettingsTab::about); }, 20000));

    // The alert of a screen that cannot be captured, in front too.
    quorvel.fakes.screen.failGrabs = true;
    overlay.beginAreaSelection(false);
    alert = shown([&] { return overlay.permissionAlert(); });
    ASSERT_TRUE(alert);
    screen.grabRect(QRect(0, 0, 1280, 800)).save(artifact(QStringLiteral("capture_permission_alert_in_front.png")));
    EXPECT_TRUE(inFront(alert, {settings, gallery, recordings}));
    // A capture begun while it shows takes its place: the overlay, above every window, would be
    // blocked by the alert under it.
    quorvel.fakes.screen.failGrabs = false;
    answered = alert;
    presented = false;
    overlay.beginAreaSelection(false);
    ASSERT_TRUE(waitUntil([&] { return presented && overlay.hasKeyboard(); }, 20000));
    EXPECT_TRUE(!answered || !answered->isVisible());
    xdotool({"mousemove", "40", "40", "mousedown", "1"});
    spin(50);
    xdotool({"mousemove", "120", "100"});
    spin(50);
    xdotool({"mousemove", "200", "150", "mouseup", "1"});
    EXPECT_TRUE(waitUntil([&] { return !overlay.isShowing(); }, 20000));
    EXPECT_TRUE(overlay.lastAreaCapture().has_value());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The answer to an update check asked from the tray while another program is active has no
// window of ours to sit on: it still shows in front of the gallery, which is kept above.
TEST(CaptureAlertsX11, AnUpdateAnswerWithNoWindowOfOursActiveShowsInFrontOfTheGallery)
{
    QuorvelUnderTest quorvel;
    ASSERT_TRUE(quorvel.app);
    QuorvelApp& app = *quorvel.app;
    X11ScreenSource screen;
    app.screenshotsWindows().showScreenshots();
    QWidget* gallery = shown([&] { return app.screenshotsWindows().window(); });
    ASSERT_TRUE(gallery);
    PatternWindow other(QRect(700, 400, 300, 200), patternTile(3), false);
    ASSERT_TRUE(other.waitViewable());
    xdotool({"windowfocus", QString::number(other.window())});
    ASSERT_TRUE(waitUntil([] { return QApplication::activeWindow() == nullptr; }, 20000));

    app.updater().controller()->checkForUpdates();
    QWidget* answer = shown([] { return QApplication::activeModalWidget(); });
    ASSERT_TRUE(answer) << "the answer shows";
    EXPECT_TRUE(
        waitUntil([&] { return stackingPosition(answer->winId()) > stackingPosition(gallery->winId()); }, 20000));
    EXPECT_TRUE(waitUntil([&] { return visibleShare(screen, answer) > 0.99; }, 20000));
    screen.grabRect(QRect(0, 0, 1280, 800)).save(artifact(QStringLiteral("update_answer_over_gallery.png")));
    answer->close();
}
