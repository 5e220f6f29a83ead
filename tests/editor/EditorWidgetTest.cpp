// The editor's widgets under the offscreen platform: the tool bar's rules, the hex field, the
// floating text field, the Beautify options panel and the save paths.
#include "annotation/AnnotationDocument.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"
#include "editor/AnnotationEditorView.h"
#include "editor/AnnotationToolbarView.h"
#include "editor/AnnotationWindowManager.h"
#include "editor/BeautifyOptionsPanel.h"
#include "editor/ColorPopover.h"
#include "editor/FloatingTextField.h"
#include "editor/ImageDragSourceView.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"
#include "fakes/TestSupport.h"
#include "platform/NotificationCenter.h"
#include "store/ModelContext.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>
#include <sqlite3.h>

namespace {

QImage testImage(int w = 400, int h = 300)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor(200, 200, 200));
    return image;
}

QString artifact(const QString& name)
{
    const QString dir = qEnvironmentVariable("QUORVEL_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

void drawStroke(PaintEngine& engine, PaintTool tool, PaintPoint from, PaintPoint to, QSizeF canvas = QSizeF(400, 300))
{
    engine.setSelectedTool(tool);
    engine.startStroke(from, canvas);
    engine.continueStroke(to);
    engine.endStroke();
}

}

TEST(AnnotationToolbar, ControlsFollowStrokesSelectionAndTool)
{
    auto document = AnnotationDocument::create(testImage());
    PaintEngine& engine = document->engine();
    AnnotationToolbarView bar(engine);
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

TEST(AnnotationToolbar, HexFieldParsesOnReturnAndOnCloseOnlyWhenEdited)
{
    auto document = AnnotationDocument::create(testImage());
    PaintEngine& engine = document->engine();
    EXPECT_EQ(AnnotationToolbarView::hexString(engine.selectedColor()), QStringLiteral("#FF3B30"));
    EXPECT_EQ(AnnotationToolbarView::hexString(PaintColor(0.5, 1.2, -1, 1)), QStringLiteral("#80FF00"));
    AnnotationToolbarView bar(engine);
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
    FakePasteboard pasteboard;
    Pasteboard::setShared(&pasteboard);
    popover->copyHexToClipboard();
    EXPECT_EQ(
        pasteboard.data(QStringLiteral("public.utf8-plain-text"), 100).value_or(QByteArray()), QByteArray("#0000FF"));
    EXPECT_TRUE(popover->hexCopied());
    Pasteboard::setShared(nullptr);

    bar.openColorPopover();
    popover->grab().save(artifact(QStringLiteral("editor-color-popover.png")));
}

TEST(FloatingTextField, CommitsIntoItsOwnStrokeOnly)
{
    auto document = AnnotationDocument::create(testImage());
    PaintEngine& engine = document->engine();
    PaintCanvasView canvas(*document);
    canvas.resize(400, 300);
    FloatingTextField field(*document, canvas);
    canvas.show();

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

TEST(BeautifyOptionsPanel, ActionsEditTheConfigurationAndSaveDefaultsDebounced)
{
    FakePreferences preferences;
    auto document = AnnotationDocument::create(testImage(300, 200));
    BeautifyOptionsPanel panel(*document, &preferences);
    panel.resize(280, 640);
    panel.show();

    EXPECT_TRUE(panel.detailsArea()->isHidden());
    panel.enableSwitch()->click();
    EXPECT_TRUE(document->beautifyConfig().isEnabled);
    EXPECT_FALSE(panel.detailsArea()->isHidden());

    panel.setSolidColor(PaintColor(1, 0, 0, 1));
    panel.backgroundButton(0)->click();
    EXPECT_EQ(document->beautifyConfig().background, BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1.0)));
    panel.backgroundButton(1)->click();
    EXPECT_EQ(document->beautifyConfig().background.colors.size(), 2u);
    EXPECT_FALSE(panel.gradientColorControls()->isHidden());
    EXPECT_TRUE(panel.solidColorControl()->isHidden());

    // 1:1 on a 300 × 200 image crops the middle two thirds; Original removes the crop.
    panel.aspectChip(1)->click();
    ASSERT_TRUE(document->beautifyConfig().cropRect);
    EXPECT_NEAR(document->beautifyConfig().cropRect->x(), 1.0 / 6, 1e-9);
    EXPECT_NEAR(document->beautifyConfig().cropRect->width(), 2.0 / 3, 1e-9);
    panel.aspectChip(0)->click();
    EXPECT_FALSE(document->beautifyConfig().cropRect);
    EXPECT_EQ(document->beautifyConfig().aspectPreset, BeautifyAspectPreset::original);

    // A custom image must decode and stay within 50 MiB; a refusal is shown and changes nothing.
    const auto before = document->beautifyConfig().background;
    EXPECT_FALSE(panel.chooseCustomImage(QByteArray("not an image")));
    EXPECT_FALSE(panel.messageText().isEmpty());
    EXPECT_EQ(document->beautifyConfig().background, before);
    EXPECT_FALSE(panel.chooseCustomImage(QByteArray(BeautifyOptionsPanel::maximumCustomImageBytes + 1, 'x')));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    testImage(8, 8).save(&buffer, "PNG");
    EXPECT_TRUE(panel.chooseCustomImage(png));
    EXPECT_TRUE(panel.messageText().isEmpty());
    EXPECT_EQ(document->beautifyConfig().background.kind, BeautifyBackground::Kind::customImage);

    // The shadow slider goes with the check box; its strength stays in the configuration.
    panel.setShadowStrength(0.8);
    panel.setShadowEnabled(false);
    EXPECT_TRUE(panel.shadowSlider()->isHidden());
    panel.setShadowEnabled(true);
    EXPECT_DOUBLE_EQ(document->beautifyConfig().shadow.strength, 0.8);

    // A slider drag saves at most once per 300 ms, and the last value is always saved.
    panel.flushDefaults();
    const int writes = preferences.persistCount();
    for (int i = 1; i <= 20; ++i)
        panel.setPaddingFraction(0.01 * i);
    EXPECT_EQ(preferences.persistCount(), writes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return preferences.persistCount() > writes; }));
    EXPECT_EQ(preferences.persistCount(), writes + 1);
    EXPECT_NEAR(BeautifyConfig::fromJSON(preferences.dataForKey(QString::fromLatin1(BeautifyConfig::defaultsKey)))
                    ->paddingFraction,
        0.2, 1e-9);
    panel.setPaddingFraction(0.25);
    panel.flushDefaults();
    EXPECT_NEAR(BeautifyConfig::fromJSON(preferences.dataForKey(QString::fromLatin1(BeautifyConfig::defaultsKey)))
                    ->paddingFraction,
        0.25, 1e-9);

    panel.grab().save(artifact(QStringLiteral("editor-beautify-panel.png")));
}

TEST(AnnotationEditorView, SaveUpdatesInsertsAndReportsFailures)
{
    TempStore store;
    FakePasteboard pasteboard;
    Pasteboard::setShared(&pasteboard);
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
        AnnotationEditorView view(AnnotationDocument::create(testImage()), store.container);
        drawStroke(view.engine(), PaintTool::rectangle, {0.1, 0.1}, {0.6, 0.6});
        EXPECT_TRUE(save(view));
        EXPECT_TRUE(save(view));
        const auto items = context.fetchScreenshotItems();
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0]->captureKind, QStringLiteral("manual"));
        EXPECT_TRUE(items[0]->sourceImageData);
        EXPECT_EQ(StrokeJSON::decode(items[0]->strokesData.value_or(QByteArray()))->size(), 1u);
        EXPECT_EQ(saved, 2);

        // Copy writes the same export as PNG.
        bool copied = false;
        QObject::connect(&view, &AnnotationEditorView::copyFinished, &view, [&](bool ok) { copied = ok; });
        view.copyToClipboard();
        ASSERT_TRUE(QTest::qWaitFor([&] { return copied; }));
        EXPECT_TRUE(pasteboard.data(QStringLiteral("public.png"), 1 << 26));
    }

    // With a stored item: it is updated and keeps its kind and source.
    auto item = std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc().addDays(-1), QStringLiteral("area"),
        QByteArray("old"), QByteArray("source"), std::nullopt);
    context.insert(item);
    ASSERT_TRUE(context.save());
    {
        AnnotationEditorView view(AnnotationDocument::create(testImage(), item), store.container);
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
        AnnotationEditorView view(AnnotationDocument::create(testImage()), store.container);
        EXPECT_FALSE(save(view));
        EXPECT_TRUE(console.contains(QStringLiteral("Failed to save screenshot: ")));
        EXPECT_EQ(saved, before);
    }
    Pasteboard::setShared(nullptr);
}

TEST(AnnotationEditorView, ModesFitAndDragRules)
{
    TempStore store;
    AnnotationEditorView view(AnnotationDocument::create(testImage(2880, 1800)), store.container);
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

    // Drag Me: 4 points is no drag, just over 4 is; a failed render is tried once per press.
    ImageDragSourceView* handle = view.dragHandle();
    int renders = 0, drags = 0, taps = 0;
    bool fail = true;
    handle->setRenderImage([&]() -> std::optional<ImageDragSourceView::Rendered> {
        ++renders;
        if (fail)
            return std::nullopt;
        return ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage());
    });
    handle->setDragRunner([&](ImageDragSourceView&, const ImageDragSourceView::Rendered& rendered) {
        ++drags;
        EXPECT_EQ(rendered.data.get(), QByteArray("png"));
    });
    handle->setOnTap([&] { ++taps; });
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(handle, QPoint(14, 10));
    EXPECT_EQ(renders, 0);
    QTest::mouseMove(handle, QPoint(15, 10));
    QTest::mouseMove(handle, QPoint(20, 10));
    EXPECT_EQ(renders, 1);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(taps, 1);
    fail = false;
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(handle, QPoint(20, 10));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(taps, 1);

    // The drag file lands in the cache folder, which is emptied at start.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    std::unique_ptr<QMimeData> mime(
        ImageDragSourceView::makeMimeData(ImageDragSourceView::Rendered::ready(QByteArray("png"), QImage())));
    EXPECT_EQ(mime->data(QStringLiteral("image/png")), QByteArray("png"));
    ASSERT_EQ(mime->urls().size(), 1);
    EXPECT_TRUE(mime->data(QStringLiteral("text/uri-list")).startsWith("file://"));
    const QString file = mime->urls().front().toLocalFile();
    EXPECT_TRUE(file.startsWith(cache.path() + QStringLiteral("/Quorvel/drag/")));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("png"));
    written.close();
    ImageDragSourceView::clearDragCache();
    EXPECT_FALSE(QFile::exists(file));
    qunsetenv("XDG_CACHE_HOME");
}

TEST(AnnotationWindowManager, PresentReplacesTheOpenWindowAndReportsBadInput)
{
    AnnotationWindowManager& manager = AnnotationWindowManager::shared();
    ConsoleCapture console;
    manager.setModelContainer({});
    manager.present(testImage(), nullptr, nullptr);
    EXPECT_TRUE(console.contains(QStringLiteral("AnnotationWindowManager: ModelContainer not configured")));
    EXPECT_FALSE(manager.window());

    TempStore store;
    manager.setModelContainer(store.container);
    manager.present(testImage(), nullptr, nullptr);
    QPointer<QWidget> first = manager.window();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Annotate Screenshot"));
    EXPECT_LE(first->minimumWidth(), 1340);
    EXPECT_EQ(first->minimumHeight(), 480);

    // A null image leaves the open editor as it is.
    manager.present(QImage(), nullptr, nullptr);
    EXPECT_TRUE(console.contains(QStringLiteral("AnnotationWindowManager: failed to create document from image")));
    EXPECT_EQ(manager.window(), first);

    // A second image replaces the first window; Done closes the second.
    manager.present(testImage(200, 100), nullptr, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    ASSERT_TRUE(manager.editorView());
    EXPECT_EQ(manager.editorView()->document().canvasSize(), QSizeF(200, 100));
    manager.editorView()->done();
    EXPECT_FALSE(manager.window());
}
