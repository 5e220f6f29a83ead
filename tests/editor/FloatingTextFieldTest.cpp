// The floating text field over a canvas: it commits into its own stroke only, and its resize
// handle takes only mouse events.
#include "EditorTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "editor/FloatingTextField.h"
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A field over a 400 × 300 canvas of a fresh document, shown.
struct FieldFixture {
    std::unique_ptr<AnnotationDocument> document = AnnotationDocument::create(testImage());
    PaintEngine& engine = document->engine();
    PaintCanvasView canvas {*document};
    FloatingTextField field {*document, canvas};
    FieldFixture()
    {
        canvas.resize(400, 300);
        canvas.show();
    }
};

}

TEST(FloatingTextField, CommitsIntoItsOwnStrokeOnly)
{
    FieldFixture f;
    PaintEngine& engine = f.engine;
    PaintCanvasView& canvas = f.canvas;
    FloatingTextField& field = f.field;

    // A new text opens a single-line field centred on the click, focused on the next turn.
    drawStroke(engine, PaintTool::text, {0.5, 0.5}, {0.5, 0.5});
    ASSERT_TRUE(engine.pendingTextEditID());
    const QUuid first = *engine.pendingTextEditID();
    EXPECT_EQ(field.strokeID(), first);
    EXPECT_FALSE(field.isMultiLine());
    const QPoint centre = field.editor()->mapTo(&canvas, field.editor()->rect().center());
    EXPECT_NEAR(centre.x(), 200, 1);
    EXPECT_NEAR(centre.y(), 150, 1);
    field.setText(QStringLiteral("Erster"));

    // The canvas starting another stroke lets the field commit first, into its own stroke.
    QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(100, 100));
    const auto second = engine.pendingTextEditID();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, first);
    auto textOf = [&](const QUuid& id) {
        for (const auto& s : engine.strokes())
            if (s.id == id)
                return s.text.value_or(QString());
        return QStringLiteral("<gone>");
    };
    EXPECT_EQ(textOf(first), QStringLiteral("Erster"));
    EXPECT_EQ(field.strokeID(), second);

    // The resize handle makes a box of 220 × 70 plus the drag, never below 90 × 32.
    field.resizeBoxBy(QSizeF(30, 10));
    EXPECT_TRUE(field.isMultiLine());
    EXPECT_EQ(field.boxSize(), QSizeF(250, 80));
    field.resizeBoxBy(QSizeF(-500, -500));
    EXPECT_EQ(field.boxSize(), QSizeF(90, 32));
    field.endBoxResize();
    field.resizeBoxBy(QSizeF(10, 0));
    EXPECT_EQ(field.boxSize(), QSizeF(100, 32));
    field.setText(QStringLiteral("Zwei\nZeilen"));
    field.commit();
    EXPECT_FALSE(engine.pendingTextEditID());
    EXPECT_EQ(textOf(*second), QStringLiteral("Zwei\nZeilen"));
    const PaintStroke boxed = *std::find_if(
        engine.strokes().begin(), engine.strokes().end(), [&](auto& s) { return s.id == *second; });
    ASSERT_EQ(boxed.points.size(), 2u);

    // Re-editing the box: a multi-line field over the stored box; committing keeps the box.
    engine.beginEditingExistingText(*second);
    EXPECT_TRUE(field.isMultiLine());
    EXPECT_EQ(field.text(), QStringLiteral("Zwei\nZeilen"));
    field.setText(QStringLiteral("Neu"));
    field.commit();
    const PaintStroke edited = *std::find_if(
        engine.strokes().begin(), engine.strokes().end(), [&](auto& s) { return s.id == *second; });
    EXPECT_EQ(edited.points, boxed.points);
    EXPECT_EQ(edited.text, QStringLiteral("Neu"));

    // When the engine moved on to another text, a late commit does not write into it.
    engine.beginEditingExistingText(first);
    field.setText(QStringLiteral("Verirrt"));
    engine.beginEditingExistingText(*second);
    EXPECT_EQ(field.strokeID(), second);
    EXPECT_EQ(textOf(first), QStringLiteral("Erster"));
}

TEST(FloatingTextField, TheResizeHandleTakesOnlyMouseEvents)
{
    FieldFixture f;
    PaintEngine& engine = f.engine;
    FloatingTextField& field = f.field;
    drawStroke(engine, PaintTool::text, {0.5, 0.5}, {0.5, 0.5});
    ASSERT_TRUE(field.resizeHandle());

    // Events of other kinds reach the handle unread (they were once read as mouse events).
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(field.resizeHandle(), &enter);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(field.resizeHandle(), &key);
    EXPECT_FALSE(field.boxSize());

    // A drag of the handle still makes the box.
    QTest::mousePress(field.resizeHandle(), Qt::LeftButton, {}, QPoint(2, 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(32, 12), field.resizeHandle()->mapToGlobal(QPointF(32, 12)),
        Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(field.resizeHandle(), &move);
    QTest::mouseRelease(field.resizeHandle(), Qt::LeftButton, {}, QPoint(32, 12));
    ASSERT_TRUE(field.boxSize());
    EXPECT_EQ(*field.boxSize(), QSizeF(250, 80));
}
