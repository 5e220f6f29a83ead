#include "RecordingTestSupport.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingControlView.h"
#include "recording/RecordingControlWindowManager.h"

#include <QLabel>
#include <QToolButton>

TEST(RecordingControlView, TimeIsMinutesAndSeconds)
{
    EXPECT_EQ(RecordingControlView::formatElapsed(0), QStringLiteral("00:00"));
    EXPECT_EQ(RecordingControlView::formatElapsed(65.9), QStringLiteral("01:05"));
    EXPECT_EQ(RecordingControlView::formatElapsed(3600), QStringLiteral("60:00"));
    EXPECT_EQ(RecordingControlView::formatElapsed(6000), QStringLiteral("100:00"));
}

TEST(RecordingControlView, ButtonsFollowAndDriveTheService)
{
    // On the manual clock: the time shown moves only when the test moves it.
    RecordingHarness h(QSize(320, 240), RecordingHarness::Time::manual);
    h.start();
    RecordingControlPanel* panel = h.controlPanel().panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    RecordingControlView* view = panel->view();
    QLabel* time = view->timeLabel();
    EXPECT_GE(time->width(), time->fontMetrics().horizontalAdvance(QStringLiteral("100:00")));
    EXPECT_EQ(view->pauseButton()->toolTip(), QStringLiteral("Pausieren"));
    EXPECT_EQ(view->stopButton()->toolTip(), QStringLiteral("Aufnahme stoppen"));

    // A second show keeps the one panel.
    h.controlPanel().show(h.screen.monitors(), QRect(0, 0, 10, 10));
    EXPECT_EQ(h.controlPanel().panel(), panel);

    view->pauseButton()->click();
    EXPECT_TRUE(h.service->isPaused());
    EXPECT_EQ(view->pauseButton()->toolTip(), QStringLiteral("Fortsetzen"));
    view->pauseButton()->click();
    EXPECT_FALSE(h.service->isPaused());
    h.run(45); // 1.5 s of recording
    EXPECT_TRUE(QTest::qWaitFor([&] { return time->text() == QStringLiteral("00:01"); }, 30000))
        << time->text().toStdString();

    QSignalSpy stopped(h.service.get(), &ScreenRecordingService::stopped);
    view->stopButton()->click();
    EXPECT_FALSE(h.service->isRecording());
    ASSERT_TRUE(stopped.wait(30000));
}
