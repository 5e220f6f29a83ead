// The annotation editor window on a real X server: tools chosen by clicks, strokes drawn with
// xdotool, a text typed into the field, Copy read back by xclip, Save read back from the store,
// and Beautify changing the exported size. Pictures of both modes go to the artifacts.
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationPainter.h"
#include "annotation/BeautifyGeometry.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationEditorView.h"
#include "editor/AnnotationToolbarView.h"
#include "editor/AnnotationWindowManager.h"
#include "editor/BeautifyOptionsPanel.h"
#include "editor/ColorPopover.h"
#include "editor/FloatingTextField.h"
#include "fakes/FakePreferences.h"
#include "platform/NotificationCenter.h"
#include "platform/linux/X11Pasteboard.h"
#include "store/ModelContext.h"
#include "store/ScreenshotItem.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using x11test::artifact;
using x11test::spin;
using x11test::waitUntil;
using x11test::xdotool;

namespace {

// A light screenshot-like picture: a window with a title bar and a few text lines.
QImage screenshot()
{
    QImage image(1100, 560, QImage::Format_ARGB32);
    image.fill(QColor(236, 238, 242));
    QPainter p(&image);
    p.fillRect(QRect(60, 50, 980, 460), Qt::white);
    p.fillRect(QRect(60, 50, 980, 44), QColor(210, 214, 222));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(i == 0 ? 255 : 200, i == 1 ? 190 : 120, 90));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPoint(86 + i * 22, 72), 7, 7);
    }
    p.setPen(QColor(70, 74, 84));
    QFont font;
    font.setPixelSize(18);
    p.setFont(font);
    const char* lines[] = {"Quarterly report – draft", "Revenue grew in every region except the north.",
        "Open questions for the review meeting:", "1. Who owns the migration?", "2. When does the beta start?"};
    for (int i = 0; i < 5; ++i)
        p.drawText(QPoint(100, 150 + i * 48), QString::fromUtf8(lines[i]));
    p.fillRect(QRect(700, 140, 280, 180), QColor(120, 170, 230));
    return image;
}

QPoint globalCentre(QWidget* widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

bool clickAt(QPoint at)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
        QStringLiteral("click"), QStringLiteral("1")});
}

// A drag through a few points with the button held.
void dragThrough(const QList<QPoint>& points)
{
    xdotool({QStringLiteral("mousemove"), QString::number(points.first().x()), QString::number(points.first().y())});
    spin(60);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    spin(60);
    for (const QPoint& p : points.mid(1)) {
        xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
        spin(40);
    }
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    spin(120);
}

// The clipboard's image/png as another client (xclip) reads it.
QImage readClipboardPNG()
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
        {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), QStringLiteral("image/png"),
            QStringLiteral("-o")});
    // Our own process serves the selection, so the event loop must keep running meanwhile.
    waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 15000);
    QImage image;
    image.loadFromData(xclip.readAllStandardOutput(), "PNG");
    return image;
}

bool near(QColor a, QColor b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Pixels of the canvas on screen that differ by more than rounding from the whole scene drawn at
// once, as the canvas drew it before it kept layers.
int differingFromDrawnAtOnce(PaintCanvasView* canvas, AnnotationDocument& document)
{
    const QPoint origin = canvas->mapToGlobal(QPoint(0, 0));
    const QImage shown = canvas->screen()
                             ->grabWindow(0, origin.x(), origin.y(), canvas->width(), canvas->height())
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    QImage expected(canvas->size() * canvas->devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    expected.setDevicePixelRatio(canvas->devicePixelRatioF());
    expected.fill(Theme::annotationBase());
    {
        QPainter painter(&expected);
        painter.translate(canvas->canvasRectInView().topLeft());
        painter.scale(canvas->viewScale(), canvas->viewScale());
        painter.setClipRect(QRectF(QPointF(0, 0), document.canvasSize()));
        AnnotationPainter::paint(painter, document.scene(document.sourceBitmap()));
    }
    expected = expected.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < std::min(shown.height(), expected.height()); ++y)
        for (int x = 0; x < std::min(shown.width(), expected.width()); ++x)
            count += !near(shown.pixelColor(x, y), expected.pixelColor(x, y), 2);
    return count;
}

void saveWindowPicture(QWidget* window, const QString& name)
{
    QScreen* screen = window->screen();
    const QRect frame = window->frameGeometry();
    QPixmap picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (picture.isNull())
        picture = window->grab();
    picture.save(artifact(name));
}

}

// The editor's window manager over the real clipboard and a store of its own.
class AnnotationEditorWindow : public ::testing::Test {
protected:
    AnnotationEditorWindow()
    {
        Theme::install();
        Symbols::installIconTheme();
        Preferences::setShared(&preferences);
        Pasteboard::setShared(&pasteboard);
        manager.setModelContainer(store.container);
    }
    ~AnnotationEditorWindow() override { Pasteboard::setShared(nullptr); }

    static inline FakePreferences preferences {QVariantMap {}};
    X11Pasteboard pasteboard;
    TempStore store;
    ClipboardSuspension suspension;
    AnnotationWindowManager manager {{{preferences, pasteboard, suspension, {}}, nullptr}};
};

TEST_F(AnnotationEditorWindow, DrawTypeCopySaveAndBeautifyEndToEnd)
{
    int savedNotifications = 0;
    QObject receiver;
    NotificationCenter::shared().observe(
        QStringLiteral("screenshotSaved"), &receiver, [&](const QVariantMap&) { ++savedNotifications; });

    const QImage image = screenshot();
    manager.present(image, nullptr, nullptr);
    QWidget* window = manager.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Annotate Screenshot"));
    // The window fits the 1280-wide display.
    EXPECT_LE(window->minimumWidth(), 1280);
    AnnotationEditorView* view = manager.editorView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(
        waitUntil([&] { return window->isVisible() && view->canvas()->isVisible() && view->canvas()->width() > 100; }));
    spin(500);
    PaintEngine& engine = view->engine();
    PaintCanvasView* canvas = view->canvas();
    AnnotationToolbarView* bar = view->toolbar();
    auto canvasToGlobal = [&](QPointF canvasPoint) {
        return canvas->mapToGlobal(canvas->viewPointFromCanvas(canvasPoint).toPoint());
    };

    // Rectangle in blue, chosen from the colour popover.
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::rectangle))));
    ASSERT_TRUE(waitUntil([&] { return engine.selectedTool() == PaintTool::rectangle; }));
    ASSERT_TRUE(clickAt(globalCentre(bar->colorSwatch())));
    ASSERT_TRUE(waitUntil([&] { return bar->colorPopover()->isVisible(); }));
    spin(200);
    saveWindowPicture(window, QStringLiteral("editor-x11-color-popover.png"));
    ASSERT_TRUE(clickAt(globalCentre(bar->colorPopover()->presetButton(5))));
    ASSERT_TRUE(waitUntil([&] { return engine.selectedColor() == AnnotationToolbarView::presetColors()[5]; }));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitUntil([&] { return !bar->colorPopover()->isVisible(); }));
    dragThrough({canvasToGlobal({690, 130}), canvasToGlobal({800, 220}), canvasToGlobal({990, 330})});
    ASSERT_TRUE(waitUntil([&] { return engine.strokes().size() == 1; }));

    // An arrow in the same blue.
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::arrow))));
    dragThrough({canvasToGlobal({560, 470}), canvasToGlobal({620, 420}), canvasToGlobal({680, 340})});
    ASSERT_TRUE(waitUntil([&] { return engine.strokes().size() == 2; }));

    // A click on an empty place with the select tool drops the selection; then the pen in red.
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::select))));
    ASSERT_TRUE(clickAt(canvasToGlobal({30, 30})));
    ASSERT_TRUE(waitUntil([&] { return !engine.selectedStrokeID(); }));
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::pen))));
    ASSERT_TRUE(clickAt(globalCentre(bar->colorSwatch())));
    ASSERT_TRUE(waitUntil([&] { return bar->colorPopover()->isVisible(); }));
    ASSERT_TRUE(clickAt(globalCentre(bar->colorPopover()->presetButton(0))));
    ASSERT_TRUE(waitUntil([&] { return engine.selectedColor() == AnnotationToolbarView::presetColors()[0]; }));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitUntil([&] { return !bar->colorPopover()->isVisible(); }));
    dragThrough({canvasToGlobal({150, 420}), canvasToGlobal({250, 420}), canvasToGlobal({350, 420}),
        canvasToGlobal({450, 420})});
    ASSERT_TRUE(waitUntil([&] { return engine.strokes().size() == 3; }));
    EXPECT_EQ(engine.strokes()[1].color, AnnotationToolbarView::presetColors()[5]);

    // A text typed into the floating field, committed with Return.
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::text))));
    ASSERT_TRUE(clickAt(canvasToGlobal({300, 480})));
    ASSERT_TRUE(waitUntil([&] { return view->textField()->isVisible() && view->textField()->editor()->hasFocus(); }));
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("Bitte pruefen")});
    ASSERT_TRUE(waitUntil([&] { return view->textField()->text() == QStringLiteral("Bitte pruefen"); }));
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(waitUntil([&] { return !engine.pendingTextEditID(); }));
    ASSERT_EQ(engine.strokes().size(), 4u);
    EXPECT_EQ(engine.strokes().back().text, QStringLiteral("Bitte pruefen"));
    // The editor stays open: Return went to the field, not to Done.
    EXPECT_TRUE(window->isVisible());

    // A number badge with a caption.
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::numberBadge))));
    ASSERT_TRUE(clickAt(canvasToGlobal({640, 230})));
    ASSERT_TRUE(waitUntil([&] { return view->textField()->isVisible() && view->textField()->editor()->hasFocus(); }));
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("Diagramm")});
    ASSERT_TRUE(waitUntil([&] { return view->textField()->text() == QStringLiteral("Diagramm"); }));
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(waitUntil([&] { return !engine.pendingTextEditID(); }));
    ASSERT_EQ(engine.strokes().size(), 5u);

    // Hover a tool to show its pill, and take the picture of the drawing mode.
    xdotool({QStringLiteral("mousemove"), QString::number(globalCentre(bar->toolButton(PaintTool::highlighter)).x()),
        QString::number(globalCentre(bar->toolButton(PaintTool::highlighter)).y())});
    ASSERT_TRUE(waitUntil([&] { return bar->visibleTooltipPill() != nullptr; }));
    EXPECT_EQ(bar->visibleTooltipPill()->text(), PaintTool(PaintTool::highlighter).tooltipDescription());
    spin(200);
    saveWindowPicture(window, QStringLiteral("editor-x11-drawing.png"));

    // Copy: another client reads the PNG with the strokes' colours at their places.
    bool copied = false;
    QObject::connect(view, &AnnotationEditorView::copyFinished, view, [&](bool ok) { copied = ok; });
    ASSERT_TRUE(clickAt(globalCentre(view->copyButton())));
    ASSERT_TRUE(waitUntil([&] { return copied; }, 15000));
    const QImage copiedImage = readClipboardPNG();
    ASSERT_EQ(copiedImage.size(), image.size());
    EXPECT_TRUE(near(copiedImage.pixelColor(300, 420), QColor(255, 59, 48)))
        << copiedImage.pixelColor(300, 420).name().toStdString();
    EXPECT_TRUE(near(copiedImage.pixelColor(690, 250), QColor(0, 122, 255)))
        << copiedImage.pixelColor(690, 250).name().toStdString();
    EXPECT_TRUE(near(copiedImage.pixelColor(30, 30), QColor(236, 238, 242), 3));

    // Save: a "manual" screenshot whose image and strokes come back unchanged.
    bool saved = false;
    QObject::connect(view, &AnnotationEditorView::saveFinished, view, [&](bool ok) { saved = ok; });
    ASSERT_TRUE(clickAt(globalCentre(view->saveButton())));
    ASSERT_TRUE(waitUntil([&] { return saved; }, 15000));
    EXPECT_EQ(savedNotifications, 1);
    const auto items = store.container->mainContext().fetchScreenshotItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->captureKind, QStringLiteral("manual"));
    QImage stored;
    ASSERT_TRUE(stored.loadFromData(items[0]->pngData, "PNG"));
    EXPECT_EQ(stored.convertToFormat(QImage::Format_ARGB32), copiedImage.convertToFormat(QImage::Format_ARGB32));
    const auto strokes = StrokeJSON::decode(items[0]->strokesData.value_or(QByteArray()));
    ASSERT_TRUE(strokes);
    EXPECT_EQ(*strokes, engine.strokes());
    auto reopened = AnnotationDocument::create(image, items[0]);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->engine().strokes(), engine.strokes());

    // The eyedropper picks the screen pixel under the next click (a flat area of the image).
    ASSERT_TRUE(clickAt(globalCentre(bar->colorSwatch())));
    ASSERT_TRUE(waitUntil([&] { return bar->colorPopover()->isVisible(); }));
    ASSERT_TRUE(clickAt(globalCentre(bar->colorPopover()->eyedropperButton())));
    spin(300);
    ASSERT_TRUE(clickAt(canvasToGlobal({840, 230})));
    ASSERT_TRUE(waitUntil([&] { return near(engine.selectedColor().toQColor(), QColor(120, 170, 230), 3); }))
        << engine.selectedColor().toQColor().name().toStdString();
    ASSERT_TRUE(waitUntil([&] { return bar->colorPopover()->isVisible(); }));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitUntil([&] { return !bar->colorPopover()->isVisible(); }));

    // Beautify: the mode by click, the frame switched on in the panel, a gradient background.
    ASSERT_TRUE(clickAt(globalCentre(bar->beautifyButton())));
    ASSERT_TRUE(waitUntil([&] { return view->isPreviewShown() && view->beautifyPanel()->isVisible(); }));
    spin(200);
    ASSERT_TRUE(clickAt(globalCentre(view->beautifyPanel()->enableSwitch())));
    ASSERT_TRUE(waitUntil([&] { return view->document().beautifyConfig().isEnabled; }));
    spin(200);
    ASSERT_TRUE(clickAt(globalCentre(view->beautifyPanel()->backgroundButton(1))));
    ASSERT_TRUE(waitUntil(
        [&] { return view->document().beautifyConfig().background.kind == BeautifyBackground::Kind::gradient; }));
    spin(400);
    saveWindowPicture(window, QStringLiteral("editor-x11-beautify.png"));

    copied = false;
    ASSERT_TRUE(clickAt(globalCentre(view->copyButton())));
    ASSERT_TRUE(waitUntil([&] { return copied; }, 15000));
    const QImage framed = readClipboardPNG();
    const auto layout = BeautifyGeometry::frameLayout(image.size(), view->document().beautifyConfig());
    ASSERT_TRUE(layout);
    EXPECT_EQ(framed.size(), layout->canvasSize);
    EXPECT_GT(framed.width(), image.width());

    // Done closes the window.
    ASSERT_TRUE(clickAt(globalCentre(view->doneButton())));
    ASSERT_TRUE(waitUntil([&] { return manager.window() == nullptr; }));
}

TEST_F(AnnotationEditorWindow, PressesInTheMarginBesideThePictureDrawNothing)
{
    manager.present(screenshot(), nullptr, nullptr);
    QWidget* window = manager.window();
    AnnotationEditorView* view = manager.editorView();
    ASSERT_TRUE(window && view);
    PaintCanvasView* canvas = view->canvas();
    ASSERT_TRUE(waitUntil([&] { return window->isVisible() && canvas->isVisible() && canvas->width() > 100; }, 20000));
    spin(300);
    PaintEngine& engine = view->engine();
    AnnotationToolbarView* bar = view->toolbar();
    const QRectF picture = canvas->canvasRectInView();
    ASSERT_GT(picture.left(), 40) << "the picture has a margin beside it";
    const auto viewToGlobal = [&](QPointF at) { return canvas->mapToGlobal(at.toPoint()); };
    const auto canvasToGlobal = [&](QPointF at) { return viewToGlobal(canvas->viewPointFromCanvas(at)); };
    const double margin = picture.left() / 2;
    const auto chooseTool = [&](PaintTool tool) {
        return clickAt(globalCentre(bar->toolButton(tool)))
            && waitUntil([&] { return engine.selectedTool() == tool; }, 20000);
    };

    // A pen drag from the margin onto the picture, a badge and a text clicked in the margin, undo.
    ASSERT_TRUE(chooseTool(PaintTool::pen));
    dragThrough({viewToGlobal({margin, picture.top() + 100}), viewToGlobal({margin, picture.top() + 200}),
        canvasToGlobal({200, 250})});
    ASSERT_TRUE(chooseTool(PaintTool::numberBadge));
    ASSERT_TRUE(clickAt(viewToGlobal({margin, picture.top() + 300})));
    ASSERT_TRUE(chooseTool(PaintTool::text));
    ASSERT_TRUE(clickAt(viewToGlobal({margin, picture.top() + 350})));
    ASSERT_TRUE(clickAt(globalCentre(bar->undoButton())));

    // A pen drag that starts on the picture and leaves it to the left still draws.
    ASSERT_TRUE(chooseTool(PaintTool::pen));
    dragThrough({canvasToGlobal({240, 330}), canvasToGlobal({120, 345}), canvasToGlobal({30, 360}),
        viewToGlobal({margin, picture.top() + 370})});
    ASSERT_TRUE(waitUntil([&] { return !engine.strokes().empty(); }, 20000));
    spin(200);
    ASSERT_EQ(engine.strokes().size(), 1u) << "the margin made strokes";
    EXPECT_EQ(engine.strokes().front().tool, PaintTool::pen);
    EXPECT_LT(engine.strokes().front().points.back().x, 0);
    EXPECT_FALSE(view->textField()->isVisible());
    saveWindowPicture(window, QStringLiteral("editor-x11-margin.png"));

    // Undo takes that stroke: nothing unseen lies above it.
    ASSERT_TRUE(clickAt(globalCentre(bar->undoButton())));
    ASSERT_TRUE(waitUntil([&] { return engine.strokes().empty(); }, 20000));
    manager.closeWindow();
}

// A stored scribble of 30,000 points over a blur and under a spotlight's veil: drawn once on the
// worker pool when the editor opens, a new stroke drawn over the layers as they are, and the
// canvas on screen looks like the whole scene drawn at once at every step.
TEST_F(AnnotationEditorWindow, ALongStoredStrokeIsDrawnOnceAndLooksTheSame)
{

    PaintStroke scribble;
    scribble.id = QUuid::createUuid();
    scribble.color = PaintColor(0.9, 0.1, 0.5, 1);
    scribble.lineWidth = 3;
    quint32 seed = 99;
    double x = 0.75, y = 0.5;
    for (int i = 0; i < 30000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        x = std::clamp(x + (double(seed >> 24) / 255.0 - 0.5) * 0.008, 0.55, 0.95);
        y = std::clamp(y + (double((seed >> 16) & 0xff) / 255.0 - 0.5) * 0.012, 0.2, 0.9);
        scribble.points.emplace_back(x, y);
    }
    PaintStroke blur;
    blur.id = QUuid::createUuid();
    blur.tool = PaintTool::blur;
    blur.effectAmount = 8;
    blur.points = {{0.08, 0.2}, {0.5, 0.5}};
    PaintStroke spotlight = blur;
    spotlight.id = QUuid::createUuid();
    spotlight.tool = PaintTool::spotlight;
    spotlight.points = {{0.05, 0.05}, {0.97, 0.95}};
    // The pointer away from the window, so that no tool's help pill lies over the canvas.
    xdotool({QStringLiteral("mousemove"), QStringLiteral("1275"), QStringLiteral("795")});
    const auto item = std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"),
        QByteArray(), std::nullopt, StrokeJSON::encode({blur, spotlight, scribble}));
    manager.present(screenshot(), item, nullptr);
    QWidget* window = manager.window();
    AnnotationEditorView* view = manager.editorView();
    ASSERT_TRUE(window && view);
    PaintCanvasView* canvas = view->canvas();
    PaintEngine& engine = view->engine();
    ASSERT_EQ(engine.strokes().size(), 3u);
    ASSERT_TRUE(waitUntil(
        [&] {
            return window->isVisible() && canvas->width() > 100 && canvas->layerRenderCount() > 0
                && !canvas->isDrawingLayersInBackground();
        },
        30000));
    spin(400);
    EXPECT_EQ(differingFromDrawnAtOnce(canvas, view->document()), 0);
    const int drawn = canvas->layerRenderCount();

    // A pen stroke across the blur and the scribble, then a click beside the spotlight drops its marks.
    AnnotationToolbarView* bar = view->toolbar();
    const auto canvasToGlobal = [&](QPointF at) {
        return canvas->mapToGlobal(canvas->viewPointFromCanvas(at).toPoint());
    };
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::pen))));
    ASSERT_TRUE(waitUntil([&] { return engine.selectedTool() == PaintTool::pen; }, 20000));
    dragThrough({canvasToGlobal({150, 200}), canvasToGlobal({450, 260}), canvasToGlobal({750, 300}),
        canvasToGlobal({950, 380})});
    ASSERT_TRUE(waitUntil([&] { return engine.strokes().size() == 4u; }, 20000));
    ASSERT_TRUE(clickAt(globalCentre(bar->toolButton(PaintTool::select))));
    ASSERT_TRUE(clickAt(canvasToGlobal({300, 550})));
    ASSERT_TRUE(waitUntil([&] { return !engine.selectedStrokeID(); }, 20000));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("1275"), QStringLiteral("795")});
    spin(400);
    EXPECT_EQ(canvas->layerRenderCount(), drawn) << "the finished strokes were drawn again";
    EXPECT_EQ(differingFromDrawnAtOnce(canvas, view->document()), 0);
    saveWindowPicture(window, QStringLiteral("editor-x11-long-stroke.png"));
    manager.closeWindow();
}
