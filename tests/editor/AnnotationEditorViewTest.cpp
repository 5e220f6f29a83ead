// The editor view offscreen: Save updates, inserts and reports failures in the editor; modes,
// Return, the drag handle's export and eraser sampling.
#include "EditorTestSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/StrokeJSON.h"
#include "annotation/PaintCanvasView.h"
#include "editor/AnnotationEditorView.h"
#include "editor/BeautifyOptionsPanel.h"
#include "editor/ImageDragSourceView.h"
#include "fakes/FakePasteboard.h"
#include "platform/NotificationCenter.h"
#include "fakes/TestSupport.h"
#include "store/ModelContext.h"
#include <QLabel>
#include <QPushButton>
#include <QAbstractButton>
#include <QTest>
#include <sqlite3.h>
#include <gtest/gtest.h>

TEST(AnnotationEditorView, SaveUpdatesInsertsAndReportsFailures)
{
    TempStore store;
    EditorFakes editor;
    FakePasteboard& pasteboard = editor.pasteboard;
    ModelContext& context = store.container->mainContext();
    int saved = 0;
    QObject receiver;
    NotificationCenter::shared().observe(
        QStringLiteral("screenshotSaved"), &receiver, [&](const QVariantMap&) { ++saved; });

    auto save = [&](AnnotationEditorView& view) {
        bool done = false, stored = false;
        QObject::connect(&view, &AnnotationEditorView::saveFinished, &view, [&](bool ok) {
            done = true;
            stored = ok;
        });
        view.saveToScreenshots();
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }));
        return stored;
    };

    // Without an item: every Save inserts a "manual" screenshot with its source image.
    {
        AnnotationEditorView view(AnnotationDocument::create(testImage()), store.container, editor.needs());
        drawStroke(view.engine(), PaintTool::rectangle, {0.1, 0.1}, {0.6, 0.6});
        EXPECT_TRUE(save(view));
        EXPECT_TRUE(save(view));
        const auto items = context.fetchScreenshotItems();
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0]->captureKind, QStringLiteral("manual"));
        EXPECT_TRUE(items[0]->sourceImageData);
        EXPECT_EQ(StrokeJSON::decode(items[0]->strokesData.value_or(QByteArray()))->size(), 1u);
        EXPECT_EQ(saved, 2);

        // Copy writes the same export as PNG, with the clipboard monitor held off for it.
        bool copied = false;
        QObject::connect(&view, &AnnotationEditorView::copyFinished, &view, [&](bool ok) { copied = ok; });
        view.copyToClipboard();
        ASSERT_TRUE(QTest::qWaitFor([&] { return copied; }));
        EXPECT_TRUE(pasteboard.data(QStringLiteral("public.png"), 1 << 26));
        EXPECT_TRUE(editor.suspension.isSuspended());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !editor.suspension.isSuspended(); }, 2000));
    }

    // With a stored item: it is updated and keeps its kind and source.
    auto item = std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc().addDays(-1), QStringLiteral("area"),
        QByteArray("old"), QByteArray("source"), std::nullopt);
    context.insert(item);
    ASSERT_TRUE(context.save());
    {
        AnnotationEditorView view(AnnotationDocument::create(testImage(), item), store.container, editor.needs());
        drawStroke(view.engine(), PaintTool::pen, {0.2, 0.2}, {0.3, 0.8});
        EXPECT_TRUE(save(view));
        const auto reread = context.screenshotItem(item->persistentID);
        ASSERT_TRUE(reread);
        EXPECT_EQ(reread->captureKind, QStringLiteral("area"));
        EXPECT_EQ(reread->sourceImageData, QByteArray("source"));
        EXPECT_NE(reread->pngData, QByteArray("old"));
        EXPECT_EQ(context.fetchScreenshotItems().size(), 3u);

        // Deleted meanwhile: a new "manual" item instead of updating nothing.
        context.remove(reread);
        ASSERT_TRUE(context.save());
        EXPECT_TRUE(save(view));
        const auto items = context.fetchScreenshotItems();
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0]->captureKind, QStringLiteral("manual"));
    }

    // A store that refuses the write: the message, and no notification.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(context.path().toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                      "CREATE TRIGGER refuse BEFORE INSERT ON ScreenshotItem BEGIN SELECT RAISE(ABORT, 'refused'); END",
                      nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
        ConsoleCapture console;
        const int before = saved;
        AnnotationEditorView view(AnnotationDocument::create(testImage()), store.container, editor.needs());
        bool closed = false;
        QObject::connect(&view, &AnnotationEditorView::closeRequested, &view, [&] { closed = true; });
        EXPECT_TRUE(view.saveStatus()->isHidden());
        EXPECT_FALSE(save(view));
        EXPECT_TRUE(console.contains(QStringLiteral("Failed to save screenshot: ")));
        EXPECT_EQ(saved, before);

        // The editor says so and stays open at the first Done; the second Done closes it.
        EXPECT_FALSE(view.saveStatus()->isHidden());
        EXPECT_TRUE(view.saveStatus()->text().startsWith(QStringLiteral("Failed to save screenshot")));
        view.doneButton()->click();
        EXPECT_FALSE(closed);
        EXPECT_TRUE(view.saveStatus()->text().contains(QStringLiteral("Not saved")));
        view.doneButton()->click();
        EXPECT_TRUE(closed);
    }
}

TEST(AnnotationEditorView, ModesReturnDragAndEraserSampling)
{
    TempStore store;
    EditorFakes editor;
    AnnotationEditorView view(AnnotationDocument::create(testImage(2880, 1800)), store.container, editor.needs());
    view.resize(1340, 700);
    view.show();

    // Beautify mode shows the preview and its panel; feedback mode closes it again.
    view.toggleBeautify();
    EXPECT_TRUE(view.isPreviewShown());
    EXPECT_FALSE(view.beautifyPanel()->isHidden());
    view.toggleFeedback();
    EXPECT_FALSE(view.isBeautifyShown());
    EXPECT_FALSE(view.isPreviewShown());
    EXPECT_TRUE(view.beautifyPanel()->isHidden());
    view.toggleFeedback();

    // Return with the focus on the canvas is Done.
    bool closed = false;
    QObject::connect(&view, &AnnotationEditorView::closeRequested, &view, [&] { closed = true; });
    QTest::keyClick(view.canvas(), Qt::Key_Return);
    EXPECT_TRUE(closed);

    // Eraser sampling: inside the image the pixel's colour, outside none.
    const QImage image = testImage(10, 10);
    EXPECT_TRUE(AnnotationEditorView::sampleBackgroundColor(QPointF(5, 5), image, QSizeF(10, 10)));
    EXPECT_FALSE(AnnotationEditorView::sampleBackgroundColor(QPointF(10, 5), image, QSizeF(10, 10)));
    EXPECT_FALSE(AnnotationEditorView::sampleBackgroundColor(QPointF(5, 5), image, QSizeF(0, 10)));

    // Drag Me hands out the export: its PNG is encoded on the pool while the drag runs.
    std::optional<QImage> dragged;
    view.dragHandle()->setDragRunner([&](ImageDragSourceView&, const ImageDragSourceView::Rendered& rendered) {
        const std::optional<QByteArray> png = rendered.data.get();
        dragged = png ? QImage::fromData(*png, "PNG") : QImage();
    });
    QTest::mousePress(view.dragHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(view.dragHandle(), QPoint(30, 10));
    QTest::mouseRelease(view.dragHandle(), Qt::LeftButton, {}, QPoint(30, 10));
    ASSERT_TRUE(dragged);
    EXPECT_EQ(dragged->size(), QSize(2880, 1800));
}

