// The tool tips of the recording panel's and the scrolling strip's buttons on a real display.
// Both panels never become the active window (the program being recorded or captured keeps the
// keyboard), and a tool tip still shows when the pointer rests on one of their buttons.
#include "../recording/RecordingTestSupport.h"
#include "capture/ScrollingCaptureControlWindowManager.h"
#include "capture/ScrollingCaptureService.h"
#include "platform/linux/X11ScreenSource.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingControlView.h"
#include "recording/RecordingControlWindowManager.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QToolButton>
#include <QToolTip>

#include "X11TestSupport.h"

using namespace x11test;

namespace {

QWidget* shownToolTip()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return widget;
    return nullptr;
}

// Rests the pointer on the button until its tip shows; writes the panel with its tip as the
// screen shows them.
bool toolTipShows(QWidget* button, const QString& text, const QString& picture)
{
    xdotool({"mousemove", "5", "5"});
    spin(100);
    const QPoint centre = button->mapToGlobal(button->rect().center());
    xdotool({"mousemove", QString::number(centre.x() - 1), QString::number(centre.y())});
    spin(30);
    xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())});
    if (!waitUntil([&] { return shownToolTip() && QToolTip::text() == text; }, 20000))
        return false;
    spin(100);
    X11ScreenSource screen;
    const QRect area = button->window()->frameGeometry().united(shownToolTip()->frameGeometry()).adjusted(-8, -8, 8, 8);
    screen.grabRect(area).save(artifact(picture));
    return true;
}

}

TEST(PanelToolTipsX11, TheRecordingPanelAndTheScrollingStripShowTheirButtonsTips)
{
    Theme::install();
    Symbols::installIconTheme();
    ForeignWindow editor("editor", "Editor", 4242);
    ASSERT_TRUE(editor.isValid());
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QString::number(editor.window())}));

    RecordingHarness h(QSize(1280, 800));
    h.start(ScreenRecordingService::AreaTarget {1, QRectF(440, 0, 400, 200), 1.0});
    RecordingControlPanel* panel = h.controlPanel().panel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(waitUntil([&] { return panel->isVisible(); }, 20000));
    EXPECT_TRUE(toolTipShows(panel->view()->stopButton(), QStringLiteral("Aufnahme stoppen"),
        QStringLiteral("recording_control_panel_tooltip.png")));
    EXPECT_TRUE(toolTipShows(panel->view()->pauseButton(), QStringLiteral("Pausieren"),
        QStringLiteral("recording_control_panel_pause_tooltip.png")));
    EXPECT_FALSE(panel->isActiveWindow());
    h.stop();

    ScrollingCaptureService service({}, ScrollingCaptureService::Timing {});
    ScrollingCaptureControlWindowManager strip(service);
    strip.show();
    ASSERT_TRUE(waitUntil([&] { return strip.panel() && strip.panel()->isVisible(); }, 20000));
    QToolButton* cancel = nullptr;
    for (QToolButton* button : strip.panel()->findChildren<QToolButton*>())
        if (button->toolTip() == QStringLiteral("Abbrechen"))
            cancel = button;
    ASSERT_TRUE(cancel);
    EXPECT_TRUE(
        toolTipShows(cancel, QStringLiteral("Abbrechen"), QStringLiteral("scrolling_capture_strip_tooltip.png")));
    EXPECT_FALSE(strip.panel()->isActiveWindow());
}
