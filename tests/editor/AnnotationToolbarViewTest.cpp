// The tool bar offscreen: its controls follow the engine, and the tool-tip pill.
#include "EditorTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintEngine.h"
#include "editor/AnnotationToolbarView.h"
#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QtMath>
#include <gtest/gtest.h>

TEST(AnnotationToolbar, ControlsFollowStrokesSelectionAndTool)
{
    auto document = AnnotationDocument::create(testImage());
    PaintEngine& engine = document->engine();
    FakePasteboard pasteboard;
    AnnotationToolbarView bar(engine, pasteboard);
    bar.resize(1020, 50);
    bar.show();

    // Seventeen tools in the editor's order, each with its German explanation.
    ASSERT_EQ(AnnotationToolbarView::editorToolOrder().size(), 17u);
    for (PaintTool tool : AnnotationToolbarView::editorToolOrder())
        EXPECT_EQ(AnnotationToolbarView::tooltipOf(bar.toolButton(tool)), tool.tooltipDescription());
    EXPECT_EQ(AnnotationToolbarView::editorToolOrder()[2].rawValue(), QStringLiteral("highlighter"));
    bar.toolButton(PaintTool::rectangle)->click();
    EXPECT_EQ(engine.selectedTool(), PaintTool::rectangle);

    // No strokes: undo and clear disabled, no delete button.
    EXPECT_FALSE(bar.undoButton()->isEnabled());
    EXPECT_FALSE(bar.clearButton()->isEnabled());
    EXPECT_TRUE(bar.deleteButton()->isHidden());
    drawStroke(engine, PaintTool::blur, {0.1, 0.1}, {0.5, 0.5});
    EXPECT_TRUE(bar.undoButton()->isEnabled());
    EXPECT_TRUE(bar.clearButton()->isEnabled());

    // The number toggle belongs to the label tool only.
    EXPECT_TRUE(bar.numberToggle()->isHidden());
    bar.toolButton(PaintTool::label)->click();
    EXPECT_FALSE(bar.numberToggle()->isHidden());
    bar.numberToggle()->click();
    EXPECT_TRUE(engine.includeNumberInLabel());

    // Selecting the blur stroke makes the slider its strength (4 ... 30) and shows delete.
    bar.toolButton(PaintTool::select)->click();
    engine.startStroke({0.3, 0.3}, QSizeF(400, 300));
    engine.endStroke();
    ASSERT_TRUE(engine.selectedStrokeID());
    EXPECT_TRUE(bar.numberToggle()->isHidden());
    EXPECT_FALSE(bar.deleteButton()->isHidden());
    EXPECT_EQ(AnnotationToolbarView::sliderContext(engine), AnnotationToolbarView::SliderContext::effectAmount);
    EXPECT_EQ(AnnotationToolbarView::tooltipOf(bar.sizeSlider()), QStringLiteral("Stärke"));
    bar.setSliderValue(30);
    EXPECT_DOUBLE_EQ(engine.effectAmount(), 30);
    EXPECT_EQ(engine.strokes().front().effectAmount.value_or(0), 30);

    bar.deleteButton()->click();
    EXPECT_TRUE(engine.strokes().empty());
    EXPECT_TRUE(bar.deleteButton()->isHidden());
    // No selection: the slider follows the tool and only sets the value for new strokes.
    bar.toolButton(PaintTool::text)->click();
    EXPECT_EQ(AnnotationToolbarView::tooltipOf(bar.sizeSlider()), QStringLiteral("Schriftgröße"));
    bar.toolButton(PaintTool::numberBadge)->click();
    EXPECT_EQ(AnnotationToolbarView::sliderSpec(AnnotationToolbarView::sliderContext(engine)).maximum, 48);
    bar.toolButton(PaintTool::pen)->click();
    bar.setSliderValue(12);
    EXPECT_DOUBLE_EQ(engine.lineWidth(), 12);
}

TEST(AnnotationToolbar, TooltipPillIsTheTextPlusSixteenAndStaysSixPointsInside)
{
    auto document = AnnotationDocument::create(testImage());
    QWidget host;
    FakePasteboard pasteboard;
    AnnotationToolbarView bar(document->engine(), pasteboard, &host);
    host.resize(1020, 200);
    bar.resize(1020, 50);
    host.show();

    auto hover = [&](QWidget* control) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(control, &enter);
        EXPECT_TRUE(QTest::qWaitFor([&] { return bar.visibleTooltipPill() != nullptr; }, 2000));
        return bar.visibleTooltipPill();
    };
    QFont font;
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    const QFontMetricsF metrics(font);

    // The first control sits at the bar's left end: the pill is clamped to start 6 points in.
    QAbstractButton* first = bar.toolButton(AnnotationToolbarView::editorToolOrder().front());
    QLabel* pill = hover(first);
    ASSERT_TRUE(pill);
    const QString text = AnnotationToolbarView::tooltipOf(first);
    EXPECT_EQ(pill->text(), text);
    EXPECT_EQ(pill->width(), qCeil(metrics.horizontalAdvance(text)) + 16);
    EXPECT_EQ(pill->mapTo(&host, QPoint(0, 0)).x() - bar.mapTo(&host, QPoint(0, 0)).x(), 6);
    EXPECT_EQ(pill->height(), qCeil(metrics.height()) + 10);

    // A control in the middle: the pill is centred under it, 20 points below its bottom.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(first, &leave);
    EXPECT_FALSE(bar.visibleTooltipPill());
    QWidget* middle = bar.toolButton(AnnotationToolbarView::editorToolOrder()[8]);
    pill = hover(middle);
    ASSERT_TRUE(pill);
    const QRect anchor(middle->mapTo(&host, QPoint(0, 0)), middle->size());
    const QRect shown(pill->mapTo(&host, QPoint(0, 0)), pill->size());
    EXPECT_NEAR(shown.center().x(), anchor.center().x(), 1);
    EXPECT_NEAR(shown.center().y(), anchor.bottom() + 20, 1);
}
