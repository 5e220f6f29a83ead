// The recording control panel on a real display: where it goes, that clicking it leaves the
// active window alone, and what it looks like (artifacts/recording_control_panel*.png).
#include "../recording/RecordingTestSupport.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingControlView.h"
#include "recording/RecordingControlWindowManager.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QToolButton>

#include "X11TestSupport.h"

using x11test::artifact;
using x11test::waitUntil;

namespace {
QString activeWindow()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")});
    xdotool.waitForFinished();
    return QString::fromLatin1(xdotool.readAllStandardOutput()).trimmed();
}
}

TEST(RecordingControlPanelX11, StaysOutOfTheAreaAndNeverTakesTheFocus)
{
    Theme::install();
    Symbols::installIconTheme();
    RecordingHarness h(QSize(1280, 800), RecordingHarness::Time::manual); // the time shown moves with the test
    x11test::ForeignWindow editor("editor", "Editor", 4242);
    ASSERT_TRUE(editor.isValid());
    ASSERT_TRUE(x11test::xdotool({QStringLiteral("windowactivate"), QString::number(editor.window())}));
    ASSERT_TRUE(waitUntil([&] { return activeWindow() == QString::number(editor.window()); }));

    // An area right under the top centre: the panel goes just below it.
    h.start(ScreenRecordingService::AreaTarget {1, QRectF(440, 0, 400, 200), 1.0});
    RecordingControlPanel* panel = h.controlPanel().panel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(waitUntil([&] { return panel->isVisible(); }));
    EXPECT_EQ(panel->geometry(), QRect(515, 212, 250, 44));

    QToolButton* pause = panel->view()->pauseButton();
    const QPoint centre = pause->mapToGlobal(pause->rect().center());
    x11test::spin(200);
    ASSERT_TRUE(x11test::xdotool({QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()),
        QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return h.service->isPaused(); }));
    EXPECT_EQ(activeWindow(), QString::number(editor.window()));

    x11test::spin(200);
    EXPECT_TRUE(panel->grab().save(artifact(QStringLiteral("recording_control_panel_paused.png"))));
    h.service->resumeRecording();
    h.run(45); // 1.5 s of recording
    ASSERT_TRUE(waitUntil([&] { return panel->view()->timeLabel()->text() == QStringLiteral("00:01"); }));
    x11test::spin(100);
    EXPECT_TRUE(panel->grab().save(artifact(QStringLiteral("recording_control_panel.png"))));
    // As the screen shows it, on the display's own pixels.
    const QImage onScreen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(panel->geometry().adjusted(-8, -8, 8, 8));
    EXPECT_TRUE(onScreen.save(artifact(QStringLiteral("recording_control_panel_screen.png"))));
    h.stop();
    EXPECT_FALSE(h.controlPanel().panel());
}
