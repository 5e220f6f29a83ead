// The annotation editor on a 3840 × 2160 image: from present() to the first painted frame, and a
// pen stroke of 200 points (time per move event, the repaint included). Then an 800 × 450 image
// shown at full size with a stored pen stroke of 100,000 points: opening to the first frame (and
// its parts, reading the JSON and stroking the line) and until the strokes are shown, a move event
// of a new stroke with the repaint under the pointer, a whole new stroke, a full repaint of the
// canvas, and new canvas sizes that keep or change the picture's scale. Baselines measured in the
// same run: drawing the image scaled to the canvas once, one plain repaint of the canvas, the long
// stroke stroked as one outline, as every repaint once drew it, and the whole picture drawn from
// scratch, as every new stroke and every new size once drew it.
#include "BenchSupport.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationPainter.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "annotation/StrokeJSON.h"
#include "annotation/StrokeRenderer.h"
#include "store/ScreenshotItem.h"
#include "editor/AnnotationEditorView.h"
#include "editor/AnnotationWindowManager.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QImage& image4K()
{
    static const QImage image = [] {
        QImage img(3840, 2160, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        QLinearGradient g(0, 0, 3840, 2160);
        g.setColorAt(0, QColor(230, 235, 245));
        g.setColorAt(1, QColor(90, 110, 150));
        p.fillRect(img.rect(), g);
        for (int i = 0; i < 60; ++i)
            p.fillRect(QRect(100 + (i % 10) * 360, 100 + (i / 10) * 330, 300, 40), QColor(40, 40, 40, 120));
        return img;
    }();
    return image;
}

std::shared_ptr<ModelContainer> benchStore()
{
    static QTemporaryDir dir;
    static std::shared_ptr<ModelContainer> store = [] {
        benchCrypto();
        return openStoreIn(dir);
    }();
    return store;
}

// The editor windows of the run, over fakes of what the program gives them; no text lines are
// looked for.
AnnotationWindowManager& benchEditors()
{
    static FakePreferences preferences;
    static FakePasteboard pasteboard;
    static ClipboardSuspension suspension;
    static AnnotationWindowManager manager({{preferences, pasteboard, suspension, {}}, nullptr});
    return manager;
}

void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Notes that a widget received a paint event.
struct PaintSeen : QObject {
    bool eventFilter(QObject*, QEvent* event) override
    {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
    bool painted = false;
};

// Opens the editor and returns once its canvas has painted: the window is exposed by a queued
// event (a repaint() right after show() paints nothing), so events run until the canvas painted.
// With `strokesShown`, also until the canvas's layers hold every stroke.
void presentAndWaitForFirstFrame(const QImage& image, std::shared_ptr<ScreenshotItem> item, bool strokesShown = false)
{
    AnnotationWindowManager& manager = benchEditors();
    manager.present(image, std::move(item), nullptr);
    PaintSeen seen;
    PaintCanvasView* canvas = manager.editorView()->canvas();
    canvas->installEventFilter(&seen);
    QDeadlineTimer deadline(120000);
    while (!seen.painted && !deadline.hasExpired())
        QCoreApplication::processEvents();
    while (strokesShown && canvas->isDrawingLayersInBackground() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    canvas->removeEventFilter(&seen);
}

void BM_FirstFrameBaseline_ScaledDraw(benchmark::State& state)
{
    QImage target(1280, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&target);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(0, 0, 1066, 600), image4K());
    }
}
BENCHMARK(BM_FirstFrameBaseline_ScaledDraw)->Unit(benchmark::kMillisecond);

void BM_PresentToFirstFrame(benchmark::State& state)
{
    AnnotationWindowManager& manager = benchEditors();
    manager.setModelContainer(benchStore());
    for (auto _ : state) {
        presentAndWaitForFirstFrame(image4K(), nullptr);
        state.PauseTiming();
        // The frame really showed the image: the canvas was laid out before it was painted.
        state.counters["canvasWidth"] = manager.editorView()->canvas()->canvasRectInView().width();
        manager.closeWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PresentToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10);

struct DrawingEditor {
    DrawingEditor()
    {
        benchEditors().setModelContainer(benchStore());
        benchEditors().present(image4K(), nullptr, nullptr);
        view = benchEditors().editorView();
        canvas = view->canvas();
        view->engine().setSelectedTool(PaintTool::pen);
        QCoreApplication::processEvents();
        canvas->repaint();
    }
    ~DrawingEditor() { benchEditors().closeWindow(); }
    AnnotationEditorView* view = nullptr;
    PaintCanvasView* canvas = nullptr;
};

void BM_MoveBaseline_PlainRepaint(benchmark::State& state)
{
    DrawingEditor editor;
    for (auto _ : state)
        editor.canvas->repaint();
}
BENCHMARK(BM_MoveBaseline_PlainRepaint)->Unit(benchmark::kMicrosecond);

// One iteration is one stroke of 200 move events; the figure is divided by 200 in the summary.
void BM_PenStroke200Moves(benchmark::State& state)
{
    DrawingEditor editor;
    const QRectF area = editor.canvas->canvasRectInView();
    for (auto _ : state) {
        const QPointF start = area.topLeft() + QPointF(40, 40);
        sendMouse(editor.canvas, QEvent::MouseButtonPress, start, Qt::LeftButton);
        for (int i = 1; i <= 200; ++i) {
            const QPointF at = start + QPointF(i * (area.width() - 80) / 200.0, std::sin(i / 10.0) * 80 + 100);
            sendMouse(editor.canvas, QEvent::MouseMove, at, Qt::LeftButton);
            editor.canvas->repaint();
        }
        sendMouse(editor.canvas, QEvent::MouseButtonRelease, start, Qt::NoButton);
        state.PauseTiming();
        editor.view->engine().undo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PenStroke200Moves)->Unit(benchmark::kMillisecond)->Iterations(10);

constexpr int kLongStrokePoints = 100000;

// A screenshot of a window, shown at full size in the editor, whose stored annotation is one pen
// stroke of 100,000 points: a scribble that wanders over the image and crosses itself, as a long
// drawing session leaves it (steps of up to 3.5 points, like pointer moves).
const QImage& windowShot()
{
    static const QImage image = image4K().scaled(800, 450, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

std::shared_ptr<ScreenshotItem> longStrokeItem()
{
    static const std::shared_ptr<ScreenshotItem> item = [] {
        PaintStroke stroke;
        stroke.id = QUuid::createUuid();
        stroke.tool = PaintTool::pen;
        stroke.color = PaintColor {1.0, 0.23, 0.19, 1.0};
        stroke.lineWidth = 3;
        stroke.points.reserve(kLongStrokePoints);
        quint32 seed = 12345;
        const auto step = [&] {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) / double(1u << 24) * 7.0 - 3.5;
        };
        double x = 400, y = 225;
        for (int i = 0; i < kLongStrokePoints; ++i) {
            x = std::clamp(x + step(), 10.0, 790.0);
            y = std::clamp(y + step(), 10.0, 440.0);
            stroke.points.emplace_back(x / 800, y / 450, 1.0);
        }
        return std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("window"), QByteArray(),
            std::nullopt, StrokeJSON::encode({stroke}));
    }();
    return item;
}

// Baseline: the long stroke stroked as one outline over the image, as every repaint of the canvas
// used to draw it.
void BM_LongStrokeBaseline_OneOutline(benchmark::State& state)
{
    const PaintStroke stroke = StrokeJSON::decode(*longStrokeItem()->strokesData)->front();
    std::vector<QPointF> points;
    for (const PaintPoint& point : stroke.points)
        points.emplace_back(point.x * 800, point.y * 450);
    QPen pen(StrokeRenderer::strokeColor(stroke));
    pen.setWidthF(stroke.lineWidth);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    QImage target = windowShot().copy();
    for (auto _ : state) {
        QPainter p(&target);
        p.setRenderHint(QPainter::Antialiasing);
        p.strokePath(StrokeRenderer::polylinePath(points), pen);
    }
}
BENCHMARK(BM_LongStrokeBaseline_OneOutline)->Unit(benchmark::kMillisecond)->Iterations(3);

// Part of the first frame: reading the stored stroke back from its JSON.
void BM_LongStrokeDecode(benchmark::State& state)
{
    const QByteArray data = *longStrokeItem()->strokesData;
    for (auto _ : state)
        benchmark::DoNotOptimize(StrokeJSON::decode(data));
}
BENCHMARK(BM_LongStrokeDecode)->Unit(benchmark::kMillisecond)->Iterations(3);

// Part of the first frame: drawing the stroke the way the canvas now does.
void BM_LongStrokeRender(benchmark::State& state)
{
    const PaintStroke stroke = StrokeJSON::decode(*longStrokeItem()->strokesData)->front();
    QImage target = windowShot().copy();
    for (auto _ : state) {
        QPainter p(&target);
        StrokeRenderer::renderStroke(p, stroke, QSizeF(800, 450), false);
    }
}
BENCHMARK(BM_LongStrokeRender)->Unit(benchmark::kMillisecond)->Iterations(3);

// Baseline: the whole picture drawn from scratch at the canvas's size (image, strokes), as the
// canvas once did for every new stroke and every new size.
void BM_LongStrokeBaseline_FullDraw(benchmark::State& state)
{
    const std::unique_ptr<AnnotationDocument> document = AnnotationDocument::create(windowShot(), longStrokeItem());
    QImage layer(800, 450, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&layer);
        AnnotationPainter::paint(p, document->scene(document->sourceBitmap()));
    }
}
BENCHMARK(BM_LongStrokeBaseline_FullDraw)->Unit(benchmark::kMillisecond)->Iterations(5);

// Only present() itself: reading the stored strokes and building the window.
void BM_LongStrokePresentCall(benchmark::State& state)
{
    AnnotationWindowManager& manager = benchEditors();
    manager.setModelContainer(benchStore());
    for (auto _ : state) {
        manager.present(windowShot(), longStrokeItem(), nullptr);
        state.PauseTiming();
        manager.closeWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LongStrokePresentCall)->Unit(benchmark::kMillisecond)->Iterations(3);

// From present() until the canvas shows every stroke.
void BM_LongStrokePresentToStrokesShown(benchmark::State& state)
{
    AnnotationWindowManager& manager = benchEditors();
    manager.setModelContainer(benchStore());
    for (auto _ : state) {
        presentAndWaitForFirstFrame(windowShot(), longStrokeItem(), true);
        state.PauseTiming();
        manager.closeWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LongStrokePresentToStrokesShown)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LongStrokePresentToFirstFrame(benchmark::State& state)
{
    AnnotationWindowManager& manager = benchEditors();
    manager.setModelContainer(benchStore());
    const std::shared_ptr<ScreenshotItem> item = longStrokeItem();
    for (auto _ : state) {
        presentAndWaitForFirstFrame(windowShot(), item);
        state.PauseTiming();
        state.counters["strokes"] = double(manager.editorView()->engine().strokes().size());
        state.counters["viewScale"] = manager.editorView()->canvas()->viewScale();
        // The frame really showed the strokes: the canvas drew its layers.
        state.counters["layersDrawn"] = manager.editorView()->canvas()->layerRenderCount();
        manager.closeWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LongStrokePresentToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(3);

struct LongStrokeEditor {
    LongStrokeEditor()
    {
        benchEditors().setModelContainer(benchStore());
        benchEditors().present(windowShot(), longStrokeItem(), nullptr);
        view = benchEditors().editorView();
        canvas = view->canvas();
        view->engine().setSelectedTool(PaintTool::pen);
        QCoreApplication::processEvents();
        canvas->repaint();
        waitForLayers();
    }
    ~LongStrokeEditor() { benchEditors().closeWindow(); }
    // Until a drawing of the layers on the worker pool has ended and its layer is painted.
    void waitForLayers()
    {
        QDeadlineTimer deadline(120000);
        while (canvas->isDrawingLayersInBackground() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        canvas->repaint();
    }
    AnnotationEditorView* view = nullptr;
    PaintCanvasView* canvas = nullptr;
};

// One iteration is one move event of a new pen stroke drawn over the long one, with the repaint
// it asks for (the pending paint events are delivered as the event loop would).
void BM_LongStrokeMoveUnderPointer(benchmark::State& state)
{
    LongStrokeEditor editor;
    const QRectF area = editor.canvas->canvasRectInView();
    const QPointF start = area.topLeft() + QPointF(40, 40);
    sendMouse(editor.canvas, QEvent::MouseButtonPress, start, Qt::LeftButton);
    QCoreApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        ++i;
        const QPointF at = start + QPointF(std::fmod(i * 3.0, area.width() - 80), std::sin(i / 10.0) * 80 + 100);
        sendMouse(editor.canvas, QEvent::MouseMove, at, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    sendMouse(editor.canvas, QEvent::MouseButtonRelease, start, Qt::NoButton);
}
BENCHMARK(BM_LongStrokeMoveUnderPointer)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_LongStrokeFullRepaint(benchmark::State& state)
{
    LongStrokeEditor editor;
    for (auto _ : state)
        editor.canvas->repaint();
}
BENCHMARK(BM_LongStrokeFullRepaint)->Unit(benchmark::kMillisecond)->Iterations(20);

// One iteration is a whole new pen stroke of 20 moves over the long one, every event delivered
// and painted, up to the repaint after the stroke is finished.
void BM_LongStrokeNewStroke(benchmark::State& state)
{
    LongStrokeEditor editor;
    const QRectF area = editor.canvas->canvasRectInView();
    int n = 0;
    for (auto _ : state) {
        const QPointF start = area.topLeft() + QPointF(40 + (n++ % 20) * 30, 60);
        sendMouse(editor.canvas, QEvent::MouseButtonPress, start, Qt::LeftButton);
        for (int i = 1; i <= 20; ++i) {
            sendMouse(editor.canvas, QEvent::MouseMove, start + QPointF(i * 3, i * 15), Qt::LeftButton);
            QCoreApplication::processEvents();
        }
        sendMouse(editor.canvas, QEvent::MouseButtonRelease, start + QPointF(60, 300), Qt::NoButton);
        QCoreApplication::processEvents();
        editor.canvas->repaint();
    }
    state.counters["layersDrawn"] = editor.canvas->layerRenderCount();
}
BENCHMARK(BM_LongStrokeNewStroke)->Unit(benchmark::kMillisecond)->Iterations(20);

// One iteration is a new canvas size at which the picture stays at full size, and its repaint.
void BM_LongStrokeResizeKeepingScale(benchmark::State& state)
{
    LongStrokeEditor editor;
    int n = 0;
    for (auto _ : state) {
        editor.canvas->resize(n % 2 ? QSize(1000, 500) : QSize(1040, 520));
        ++n;
        editor.canvas->repaint();
    }
    state.counters["viewScale"] = editor.canvas->viewScale();
}
BENCHMARK(BM_LongStrokeResizeKeepingScale)->Unit(benchmark::kMillisecond)->Iterations(20);

// One iteration is a new canvas size that shrinks the picture to a new scale: its repaint on the
// main thread (the older layer stretched) and, with `untilDrawn`, until the new layer is painted.
void longStrokeResizeNewScale(benchmark::State& state, bool untilDrawn)
{
    LongStrokeEditor editor;
    int n = 0;
    for (auto _ : state) {
        editor.canvas->resize(n % 2 ? QSize(600, 340) : QSize(700, 400));
        ++n;
        editor.canvas->repaint();
        if (!untilDrawn)
            state.PauseTiming();
        editor.waitForLayers();
        if (!untilDrawn)
            state.ResumeTiming();
    }
    state.counters["viewScale"] = editor.canvas->viewScale();
}
void BM_LongStrokeResizeNewScale(benchmark::State& state)
{
    longStrokeResizeNewScale(state, false);
}
BENCHMARK(BM_LongStrokeResizeNewScale)->Unit(benchmark::kMillisecond)->Iterations(10);
void BM_LongStrokeResizeNewScaleUntilDrawn(benchmark::State& state)
{
    longStrokeResizeNewScale(state, true);
}
BENCHMARK(BM_LongStrokeResizeNewScaleUntilDrawn)->Unit(benchmark::kMillisecond)->Iterations(10);

}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto time = [&](const std::string& name) {
        const auto it = reporter.times.find(name);
        return it == reporter.times.end() ? -1.0 : it->second;
    };
    // Adjusted real times are in the unit each benchmark declared.
    const double firstFrame = time("BM_PresentToFirstFrame/iterations:10");
    const double scaled = time("BM_FirstFrameBaseline_ScaledDraw");
    const double stroke = time("BM_PenStroke200Moves/iterations:10");
    const double repaint = time("BM_MoveBaseline_PlainRepaint");
    std::printf("\n3840 x 2160 image\n");
    if (firstFrame > 0 && scaled > 0)
        std::printf("present to first frame      %8.1f ms  = %5.1f x scaled draw of the image (aim: under 150 ms)\n",
            firstFrame, firstFrame / scaled);
    if (stroke > 0 && repaint > 0)
        std::printf("pen move event (with paint) %8.2f ms  = %5.1f x plain canvas repaint (aim: under 4 ms)\n",
            stroke / 200.0, (stroke / 200.0) / (repaint / 1000.0));
    const double longFirstFrame = time("BM_LongStrokePresentToFirstFrame/iterations:3");
    const double longMove = time("BM_LongStrokeMoveUnderPointer/iterations:200");
    const double longRepaint = time("BM_LongStrokeFullRepaint/iterations:20");
    std::printf("\n800 x 450 image shown at full size, with a stored pen stroke of %d points\n", kLongStrokePoints);
    const double oneOutline = time("BM_LongStrokeBaseline_OneOutline/iterations:3");
    if (oneOutline > 0)
        std::printf("stroked as one outline      %8.1f ms  (what every repaint used to cost)\n", oneOutline);
    if (longFirstFrame > 0 && oneOutline > 0)
        std::printf("present to first frame      %8.1f ms  = %5.2f x one outline (aim: under 300 ms)\n", longFirstFrame,
            longFirstFrame / oneOutline);
    const double decode = time("BM_LongStrokeDecode/iterations:3");
    const double render = time("BM_LongStrokeRender/iterations:3");
    if (decode > 0 && render > 0)
        std::printf("  of which reading JSON     %8.1f ms, stroking %.1f ms = %5.2f x one outline\n", decode, render,
            render / oneOutline);
    if (longMove > 0 && oneOutline > 0)
        std::printf("move event under pointer    %8.2f ms  = %5.3f x one outline (aim: under 16 ms)\n", longMove,
            longMove / oneOutline);
    if (longRepaint > 0 && repaint > 0)
        std::printf("full canvas repaint         %8.2f ms  = %5.1f x plain canvas repaint without strokes\n",
            longRepaint, longRepaint / (repaint / 1000.0));
    const double fullDraw = time("BM_LongStrokeBaseline_FullDraw/iterations:5");
    if (fullDraw <= 0)
        return 0;
    std::printf("picture drawn from scratch  %8.1f ms  (what every new stroke and new size used to cost)\n", fullDraw);
    const auto against = [&](const char* what, const std::string& name, const char* aim) {
        const double t = time(name);
        if (t > 0)
            std::printf("%-27s %8.2f ms  = %5.3f x drawn from scratch%s\n", what, t, t / fullDraw, aim);
    };
    against("present() call", "BM_LongStrokePresentCall/iterations:3", "");
    against("present to strokes shown", "BM_LongStrokePresentToStrokesShown/iterations:3", "");
    against("new stroke of 20 moves", "BM_LongStrokeNewStroke/iterations:20", " (aim: under 100 ms)");
    against("resize keeping the scale", "BM_LongStrokeResizeKeepingScale/iterations:20", " (aim: under 100 ms)");
    against("resize to a new scale", "BM_LongStrokeResizeNewScale/iterations:10", " (aim: under 100 ms)");
    against("  until drawn in the pool", "BM_LongStrokeResizeNewScaleUntilDrawn/iterations:10", "");
    return 0;
}
