// The annotation editor on a 3840 × 2160 image: from present() to the first painted frame, and a
// pen stroke of 200 points (time per move event, the repaint included). Baselines measured in the
// same run: drawing the image scaled to the canvas once, and one plain repaint of the canvas.
#include "BenchSupport.h"
#include "annotation/PaintCanvasView.h"
#include "annotation/PaintEngine.h"
#include "editor/AnnotationEditorView.h"
#include "editor/AnnotationWindowManager.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
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

void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
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
    AnnotationWindowManager& manager = AnnotationWindowManager::shared();
    manager.setModelContainer(benchStore());
    for (auto _ : state) {
        manager.present(image4K(), nullptr, nullptr);
        QWidget* window = manager.window();
        window->repaint();
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
        AnnotationWindowManager::shared().setModelContainer(benchStore());
        AnnotationWindowManager::shared().present(image4K(), nullptr, nullptr);
        view = AnnotationWindowManager::shared().editorView();
        canvas = view->canvas();
        view->engine().setSelectedTool(PaintTool::pen);
        QCoreApplication::processEvents();
        canvas->repaint();
    }
    ~DrawingEditor() { AnnotationWindowManager::shared().closeWindow(); }
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
    return 0;
}
