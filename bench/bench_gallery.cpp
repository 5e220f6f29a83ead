// The gallery window over a store of 1,000 screenshots of 3840 x 2160 (each with its untouched
// copy, as captures are stored) and 3 recordings. Measured on the offscreen platform: from
// showScreenshots() to the window painted once (a grab of the whole window), and to the window
// painted again with the pictures of the visible cards decoded; the resident memory with the
// window open. Baseline in the same run: decoding one of the stored PNGs at full size, which every
// card would cost if pictures were read on the main thread.
// Aims: under 200 ms to the first frame; under 200 MB resident with the window open.
#include "BenchSupport.h"
#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "editor/AnnotationWindowManager.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/FakeWorkspace.h"
#include "gallery/GalleryModel.h"
#include "gallery/ScreenshotsGridView.h"
#include "gallery/ScreenshotsWindowManager.h"
#include "gallery/ThumbnailLoader.h"
#include "platform/ImageEncoding.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QWidget>
#include <cstdio>
#include <malloc.h>

namespace {

constexpr int screenshotCount = 1000;
constexpr int distinctPictures = 4;

// A 4K screenshot-like picture: a desktop with a photo-like gradient and noise, a window with a
// title bar, a sidebar and many lines of real text.
QImage picture(int variant)
{
    QImage image(3840, 2160, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 3840, 2160);
    sky.setColorAt(0, QColor::fromHsv((variant * 70) % 360, 120, 200));
    sky.setColorAt(1, QColor::fromHsv((variant * 70 + 140) % 360, 160, 90));
    p.fillRect(image.rect(), sky);
    QRandomGenerator noise(quint32(variant + 1));
    for (int i = 0; i < 40000; ++i)
        p.fillRect(QRect(noise.bounded(3840), noise.bounded(2160), 3, 3), QColor::fromRgb(noise.generate() | 0xff000000));
    const QRect window(300, 200, 3240, 1760);
    p.fillRect(window, QColor(248, 248, 250));
    p.fillRect(QRect(window.topLeft(), QSize(window.width(), 90)), QColor(226, 228, 234));
    p.fillRect(QRect(window.left(), window.top() + 90, 520, window.height() - 90), QColor(238, 240, 244));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    p.setFont(font);
    p.setPen(QColor(40, 44, 52));
    for (int line = 0; line < 48; ++line) {
        p.drawText(QPoint(window.left() + 580, window.top() + 150 + line * 34),
            QStringLiteral("Line %1 of the report %2: revenue, costs and the open questions of the review meeting.")
                .arg(line + 1)
                .arg(variant));
    }
    return image;
}

struct FilledStore {
    QTemporaryDir dir;
    std::shared_ptr<ModelContainer> container;
    double pngMiB = 0;
    QByteArray sample;
    FilledStore()
    {
        container = openStoreIn(dir);
        std::vector<QByteArray> pngs;
        for (int i = 0; i < distinctPictures; ++i)
            pngs.push_back(ImageEncoding::png(picture(i)).value_or(QByteArray()));
        sample = pngs[0];
        ModelContext& context = container->mainContext();
        const QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < screenshotCount; ++i) {
            const QByteArray& bytes = pngs[size_t(i % distinctPictures)];
            pngMiB += double(bytes.size()) / (1024 * 1024);
            context.insert(std::make_shared<ScreenshotItem>(
                start.addSecs(i * 60), QStringLiteral("area"), bytes, bytes, std::nullopt));
            if (i % 50 == 49)
                context.save();
        }
        for (int i = 0; i < 3; ++i)
            context.insert(std::make_shared<RecordingItem>(start.addSecs(i * 90), QStringLiteral("display"),
                QStringLiteral("r%1.mov").arg(i), 12, 1000, false, std::nullopt));
        context.save();
    }
};

FilledStore& filledStore()
{
    static FilledStore store;
    return store;
}

// The gallery's services, on fakes.
struct GalleryBench {
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeFileRevealer revealer;
    ClipboardSuspension suspension;
    FakePreferences preferences;
    FakeTextRecognizer recognizer;
    AnnotationWindowManager editors {{{preferences, pasteboard, suspension, {}}, nullptr}};
    ThumbnailLoader thumbnails;
    ScreenshotsWindowManager windows {
        Gallery::Needs {editors, suspension, pasteboard, recognizer, revealer, workspace, thumbnails}};
};

GalleryBench& gallery()
{
    static GalleryBench* made = new GalleryBench;
    return *made;
}

QWidget* openAndPaint()
{
    gallery().windows.showScreenshots();
    QWidget* window = gallery().windows.window();
    const QPixmap painted = window->grab();
    benchmark::DoNotOptimize(painted);
    return window;
}

void closeWindow()
{
    if (QWidget* window = gallery().windows.window())
        window->close();
    gallery().thumbnails.waitUntilIdle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);
}

double g_coldMs = 0;
double g_rssStore = 0;
double g_rssOpen = 0;
size_t g_cards = 0;
int g_pictures = 0;
QSize g_pictureSize;

void BM_DecodeOneStoredPNG(benchmark::State& state)
{
    for (auto _ : state) {
        QImage image;
        image.loadFromData(filledStore().sample, "PNG");
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_DecodeOneStoredPNG)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenToFirstFrame(benchmark::State& state)
{
    for (auto _ : state) {
        openAndPaint();
        state.PauseTiming();
        closeWindow();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_OpenToVisiblePictures(benchmark::State& state)
{
    for (auto _ : state) {
        QWidget* window = openAndPaint();
        gallery().thumbnails.waitUntilIdle();
        const QPixmap painted = window->grab();
        benchmark::DoNotOptimize(painted);
        state.PauseTiming();
        g_rssOpen = std::max(g_rssOpen, residentMiB());
        auto* grid = window->findChild<ScreenshotsGridView*>();
        g_cards = grid->items().size();
        g_pictures = 0;
        for (int row = 0; row < grid->model()->rowCount(); ++row) {
            const QImage& picture = grid->model()->picture(row)->image();
            if (!picture.isNull()) {
                ++g_pictures;
                g_pictureSize = picture.size();
            }
        }
        closeWindow();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenToVisiblePictures)->Unit(benchmark::kMillisecond)->Iterations(10);

}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Theme::install();
    Symbols::installIconTheme();
    gallery().windows.setModelContainer(filledStore().container);
    malloc_trim(0);
    g_rssStore = residentMiB();
    {
        QElapsedTimer timer;
        timer.start();
        openAndPaint();
        g_coldMs = double(timer.nsecsElapsed()) / 1e6;
        closeWindow();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Runs are named with their iteration count ("BM_X/iterations:5").
    const auto time = [&](const std::string& name) {
        for (const auto& [run, value] : reporter.times) {
            if (run == name || run.rfind(name + "/", 0) == 0)
                return value;
        }
        return 0.0;
    };
    std::printf("\nScreenshots stored: %d of 3840 x 2160 (%.0f MiB of PNG, twice: shown and untouched); "
                "cards listed: %zu\n",
        screenshotCount, filledStore().pngMiB, g_cards);
    std::printf("First open (cold), showScreenshots() to painted: %.1f ms\n", g_coldMs);
    if (time("BM_DecodeOneStoredPNG") > 0)
        std::printf("Open to first frame vs one full-size decode: %.2fx; to visible pictures: %.2fx\n",
            time("BM_OpenToFirstFrame") / time("BM_DecodeOneStoredPNG"),
            time("BM_OpenToVisiblePictures") / time("BM_DecodeOneStoredPNG"));
    std::printf("Pictures decoded: %d, each %d x %d (a full one is 3840 x 2160)\n", g_pictures,
        g_pictureSize.width(), g_pictureSize.height());
    std::printf("Resident memory: %.1f MiB with the store open, %.1f MiB with the window open (peak %.1f MiB)\n",
        g_rssStore, g_rssOpen, peakMemoryMiB());
    benchmark::Shutdown();
    return 0;
}
