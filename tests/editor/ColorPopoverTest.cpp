// The colour popover of the tool bar: the hex field parses on Return and on closing only when
// edited, and the copy button writes the hex text.
#include "EditorTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintEngine.h"
#include "editor/AnnotationToolbarView.h"
#include "editor/ColorPopover.h"
#include "fakes/FakePasteboard.h"
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

TEST(ColorPopover, HexFieldParsesOnReturnAndOnCloseOnlyWhenEdited)
{
    auto document = AnnotationDocument::create(testImage());
    PaintEngine& engine = document->engine();
    EXPECT_EQ(engine.selectedColor().hexString(), QStringLiteral("#FF3B30"));
    FakePasteboard pasteboard;
    AnnotationToolbarView bar(engine, pasteboard);
    bar.show();
    ColorPopover* popover = bar.colorPopover();
    bar.openColorPopover();
    EXPECT_EQ(popover->hexField()->text(), QStringLiteral("FF3B30"));

    for (const QString& text : {QStringLiteral("00ff00"), QStringLiteral("#00FF00"), QStringLiteral("  00ff00 ")}) {
        engine.setSelectedColor(PaintColor(1, 0, 0, 1));
        popover->hexField()->setText(text);
        popover->submitHexField();
        EXPECT_EQ(engine.selectedColor(), PaintColor(0, 1, 0, 1)) << text.toStdString();
    }
    for (const QString& text : {QStringLiteral("12ab"), QStringLiteral("GGGGGG")}) {
        popover->hexField()->setText(text);
        popover->submitHexField();
        EXPECT_EQ(engine.selectedColor(), PaintColor(0, 1, 0, 1));
        EXPECT_EQ(popover->hexField()->text(), text);
    }

    // Closing without typing leaves a half-transparent colour and a selected stroke alone.
    const PaintColor translucent(0.2, 0.4, 0.6, 0.5);
    engine.setSelectedColor(translucent);
    popover->hide();
    EXPECT_EQ(engine.selectedColor(), translucent);
    // Typed and closed: the typed colour with the current opacity, also on the selection.
    drawStroke(engine, PaintTool::rectangle, {0.1, 0.1}, {0.4, 0.4});
    engine.setSelectedTool(PaintTool::select);
    engine.startStroke({0.1, 0.25}, QSizeF(400, 300));
    engine.endStroke();
    ASSERT_TRUE(engine.selectedStrokeID());
    bar.openColorPopover();
    QTest::keyClicks(popover->hexField(), QStringLiteral("0000FF"));
    popover->hexField()->setText(QStringLiteral("0000FF"));
    popover->hide();
    EXPECT_EQ(engine.selectedColor(), PaintColor(0, 0, 1, 0.5));
    EXPECT_EQ(engine.strokes().front().color, PaintColor(0, 0, 1, 0.5));

    // The copy button writes the colour's hex form as plain text.
    popover->copyHexToClipboard();
    EXPECT_EQ(
        pasteboard.data(QStringLiteral("public.utf8-plain-text"), 100).value_or(QByteArray()), QByteArray("#0000FF"));
    EXPECT_TRUE(popover->hexCopied());

    bar.openColorPopover();
    popover->grab().save(artifact(QStringLiteral("editor-color-popover.png")));
}
