#include "capture/AreaSelectionView.h"
#include "capture/CaptureOverlayWindowManager.h"
#include "capture/CaptureRig.h"
#include "capture/CaptureToolbarView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPushButton>
#include "CaptureTestScreens.h"

#include <gtest/gtest.h>

namespace {

CaptureScreen screen400x300()
{
    return CaptureScreens({testMonitor(1, {0, 0, 400, 300}, 1, true)}).screens().front();
}

QStringList activeButtons(const CaptureToolbarView& bar)
{
    QStringList active;
    for (const char* title : {"Area", "Fullscreen", "Window", "Scrolling", "Timer", "OCR", "Recording"})
        if (bar.button(QLatin1String(title))->isActive())
            active << QLatin1String(title);
    return active;
}

TEST(CaptureToolbarViewTest, ModeButtonsFollowTheManager)
{
    CaptureRig rig;
    CaptureOverlayWindowManager& manager = rig.overlay;
    CaptureToolbarView bar(&manager, manager.selection());
    EXPECT_EQ(activeButtons(bar), QStringList {"Area"});
    bar.button("OCR")->click();
    EXPECT_EQ(activeButtons(bar), QStringList {"OCR"});
    bar.button("Window")->click();
    EXPECT_EQ(activeButtons(bar), QStringList {"Window"});
    bar.button("Recording")->click(); // keeps window picking
    EXPECT_EQ(manager.selection().paradigm(), SelectionParadigm::windowPick);
    EXPECT_EQ(activeButtons(bar), QStringList {"Recording"});
}

TEST(CaptureToolbarViewTest, TimerListMarksTheChoiceAndClearsIt)
{
    CaptureRig rig;
    CaptureOverlayWindowManager& manager = rig.overlay;
    CaptureToolbarView bar(&manager, manager.selection());
    manager.selection().setTimerSeconds(5);
    EXPECT_TRUE(bar.button("Timer")->isActive());
    bar.showTimerList();
    ASSERT_TRUE(bar.timerList());
    const QList<QPushButton*> rows = bar.timerList()->findChildren<QPushButton*>();
    ASSERT_EQ(rows.size(), 4);
    QStringList titles, checked;
    for (QPushButton* row : rows) {
        titles << row->accessibleName();
        if (row->property("checkedChoice").toBool())
            checked << row->accessibleName();
    }
    EXPECT_EQ(titles, (QStringList {"Aus", "3 Sekunden", "5 Sekunden", "10 Sekunden"}));
    EXPECT_EQ(checked, QStringList {"5 Sekunden"});
    QPointer<QWidget> list = bar.timerList();
    rows.first()->click();
    QApplication::processEvents();
    EXPECT_EQ(manager.selection().timerSeconds(), std::nullopt);
    EXPECT_FALSE(bar.button("Timer")->isActive());
    EXPECT_TRUE(!list || !list->isVisible());
}

TEST(AreaSelectionViewTest, DimsAroundTheCutOutAndOutlinesIt)
{
    CaptureRig rig;
    CaptureOverlayWindowManager& manager = rig.overlay;
    AreaSelectionView view(&manager, manager.selection(), screen400x300());
    view.resize(400, 300);
    // A marquee from local (100, 50) to (300, 150): global y = 300 - local y.
    manager.selection().marqueeMouseDown({100, 250});
    manager.selection().dragChanged({300, 150});
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    view.render(&image);
    // Without a snapshot the window is clear: black at 35 % outside, nothing inside.
    EXPECT_EQ(qAlpha(image.pixel(20, 280)), int(0.35 * 255));
    EXPECT_EQ(qRed(image.pixel(20, 280)), 0);
    EXPECT_EQ(qAlpha(image.pixel(200, 100)), 0);
    EXPECT_GT(qRed(image.pixel(100, 100)), 150); // the white outline
}

// Pixels that differ from the plain dimming of an overlay without a snapshot or selection.
int decoratedPixels(AreaSelectionView& view)
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    view.render(&image);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) != int(0.35 * 255);
    return count;
}

TEST(AreaSelectionViewTest, AimIsHiddenWhileThePointerIsOffTheOverlayAndBackOnReturn)
{
    CaptureRig rig;
    CaptureOverlayWindowManager& manager = rig.overlay;
    AreaSelectionView view(&manager, manager.selection(), screen400x300());
    view.resize(400, 300);
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 150), QPointF(100, 150), Qt::NoButton, Qt::NoButton,
        Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    EXPECT_GT(decoratedPixels(view), 1000); // crosshair and read-out
    // Onto the tool bar (its own window): nothing drawn at the old place.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&view, &leave);
    EXPECT_EQ(manager.selection().cursorGlobalPosition(), std::nullopt);
    EXPECT_EQ(decoratedPixels(view), 0);
    QEnterEvent enter(QPointF(200, 100), QPointF(200, 100), QPointF(200, 100));
    QApplication::sendEvent(&view, &enter);
    EXPECT_EQ(manager.selection().cursorGlobalPosition(), (CapturePoint {200, 200}));
    EXPECT_GT(decoratedPixels(view), 1000);
}

TEST(AreaSelectionViewTest, AClickWithoutAMoveBeforeItPicksTheWindowUnderIt)
{
    CaptureRig rig;
    CaptureSelection& selection = rig.overlay.selection();
    AreaSelectionView view(&rig.overlay, selection, screen400x300());
    view.resize(400, 300);
    selection.beginSession(SelectionParadigm::windowPick, TerminalAction::screenshot, true); // reviewed: kept
    selection.setAvailableWindows({{7, {50, 100, 200, 150}}});
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, QPointF(100, 100), QPointF(100, 100), Qt::LeftButton,
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &click);
    }
    ASSERT_TRUE(selection.committedWindow());
    EXPECT_EQ(selection.committedWindow()->windowID, 7u);
}

TEST(AreaSelectionViewTest, LoupePatchStaysCentredAtTheImageEdges)
{
    QImage snapshot(40, 30, QImage::Format_RGB32);
    snapshot.fill(Qt::blue);
    snapshot.setPixel(0, 0, qRgb(255, 0, 0));
    const QImage patch = AreaSelectionView::loupePatch(snapshot, 0, 0);
    ASSERT_EQ(patch.size(), QSize(17, 17));
    EXPECT_EQ(patch.pixel(8, 8), qRgb(255, 0, 0) | 0xff000000); // the pointer's pixel in the middle
    EXPECT_EQ(qAlpha(patch.pixel(7, 7)), 0);                    // padding beyond the edge
    EXPECT_EQ(patch.pixel(16, 16), QColor(Qt::blue).rgb());
    EXPECT_TRUE(AreaSelectionView::loupePatch(snapshot, -30, -30).isNull());
}

}
