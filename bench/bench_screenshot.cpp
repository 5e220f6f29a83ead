// A 3840 x 2160 screenshot from the screen to a stored record (grab, PNG, store) against Qt's PNG
// writer at its default level on the same pixels, plus the encoders the choice was made from (Qt
// at a low level, libpng at several zlib levels, filters and strategies) with their file sizes,
// and the longest gap of the main thread's event loop during a whole capture hand-off.
//
// The grab is a real one when $DISPLAY shows a screen of at least 3840 x 2160
// (QUORVEL_X11_SCREEN=3840x2160x24 scripts/with-x11 build/bench/bench_screenshot); otherwise the
// pixels come from an in-memory screen.
#include "BenchSupport.h"
#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeScreenSource.h"
#include "platform/Background.h"
#include "platform/ImageEncoding.h"
#include "platform/NotificationCenter.h"
#include "platform/linux/X11ScreenSource.h"
#include "store/ScreenshotSaver.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <png.h>

namespace {

const QSize kSize(3840, 2160);

// What a 4K desktop looks like: a wallpaper gradient, windows with title bars, lists of text, a
// photo-like area and icons.
QImage screenshotLikeImage()
{
    QImage image(kSize, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient wallpaper(0, 0, kSize.width(), kSize.height());
    wallpaper.setColorAt(0, QColor(40, 70, 120));
    wallpaper.setColorAt(1, QColor(150, 80, 110));
    painter.fillRect(image.rect(), wallpaper);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(26);
    painter.setFont(font);
    const QRect windows[] = {QRect(120, 100, 1900, 1300), QRect(1700, 500, 1900, 1400), QRect(300, 1300, 1200, 780)};
    int seed = 1;
    for (const QRect& window : windows) {
        painter.fillRect(window, QColor(250, 250, 250));
        painter.fillRect(QRect(window.topLeft(), QSize(window.width(), 56)), QColor(225, 225, 228));
        painter.setPen(QColor(40, 40, 40));
        for (int line = 0; line * 40 + 110 < window.height(); ++line) {
            const QString text = QStringLiteral("Row %1 · Dokument_%2.pdf · modified 2026-12-%3 · %4 KB · Übersicht")
                                     .arg(line)
                                     .arg(line * seed)
                                     .arg(line % 28 + 1)
                                     .arg(line * 37 % 900);
            painter.drawText(window.x() + 30, window.y() + 100 + line * 40, text);
            if (line % 3 == 0)
                painter.fillRect(window.x() + window.width() - 220, window.y() + 80 + line * 40, 28, 28,
                    QColor::fromHsv((line * 40) % 360, 160, 220));
        }
        ++seed;
    }
    // A photo-like area: smooth colour with fine noise.
    QRandomGenerator random(11);
    for (int y = 900; y < 1400; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 2000; x < 3300; ++x) {
            const int n = int(random.bounded(12));
            row[x] = qRgb((x / 6 + n) & 0xff, (y / 3 + n) & 0xff, ((x + y) / 9 + n) & 0xff);
        }
    }
    return image;
}

const QImage& sharedPixels()
{
    static const QImage image = screenshotLikeImage();
    return image;
}

QByteArray qtPng(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (quality >= 0)
        writer.setQuality(quality); // Qt's zlib level is (100 - quality) * 9 / 91
    writer.write(image);
    return bytes;
}

std::map<std::string, qsizetype>& sizes()
{
    static std::map<std::string, qsizetype> map;
    return map;
}

void BM_QtPngDefault(benchmark::State& state)
{
    for (auto _ : state)
        sizes()["BM_QtPngDefault/iterations:3"] = qtPng(sharedPixels(), -1).size();
}

void BM_QtPngLevel1(benchmark::State& state)
{
    for (auto _ : state)
        sizes()["BM_QtPngLevel1/iterations:3"] = qtPng(sharedPixels(), 80).size();
}

void BM_LibPng(benchmark::State& state)
{
    ImageEncoding::PngOptions options;
    options.level = int(state.range(0));
    options.filters = int(state.range(1));
    options.strategy = int(state.range(2));
    const std::string name = "BM_LibPng/" + std::to_string(options.level) + "/" + std::to_string(options.filters) + "/"
        + std::to_string(options.strategy) + "/iterations:3";
    for (auto _ : state)
        sizes()[name] = ImageEncoding::png(sharedPixels(), options)->size();
}

// The screen to read: a real one when the display is big enough.
ScreenSource& screen(bool* real)
{
    static X11ScreenSource x11;
    static FakeScreenSource fake;
    static const bool useX11 = [] {
        const QList<ScreenMonitor> monitors = x11.monitors();
        QRect all;
        for (const ScreenMonitor& monitor : monitors)
            all |= monitor.frame;
        return all.width() >= kSize.width() && all.height() >= kSize.height();
    }();
    if (!useX11) {
        fake.screen = sharedPixels();
    } else {
        // The real screen shows the same desktop as the encoders' image.
        static QLabel* desktop = [] {
            auto* label = new QLabel;
            label->setWindowFlag(Qt::X11BypassWindowManagerHint);
            label->setPixmap(QPixmap::fromImage(sharedPixels()));
            label->setGeometry(QRect(QPoint(0, 0), kSize));
            label->show();
            QElapsedTimer shown;
            shown.start();
            while (shown.elapsed() < 500)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return label;
        }();
        (void)desktop;
    }
    *real = useX11;
    return useX11 ? static_cast<ScreenSource&>(x11) : fake;
}

// Grab, encode, store: the work of one capture up to its stored record.
void BM_CaptureToStoredItem(benchmark::State& state)
{
    bool real = false;
    ScreenSource& source = screen(&real);
    QTemporaryDir dir;
    const std::shared_ptr<ModelContainer> container = openStoreIn(dir);
    NotificationCenter notifications;
    for (auto _ : state) {
        const QImage pixels = source.grabRect(QRect(QPoint(0, 0), kSize));
        const QByteArray png = *ImageEncoding::png(pixels);
        ScreenshotSaver::insert(container,
            std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"), png, png,
                std::nullopt),
            notifications);
        Background::waitForAll();
        sizes()["BM_CaptureToStoredItem/iterations:3"] = png.size();
    }
    state.SetLabel(real ? "X11 grab" : "in-memory screen");
}

// A whole capture through the service (grab, encode, clipboard, handler storing the record) while
// a 1 ms timer on the main thread measures the longest time the event loop was held up.
void BM_MainThreadGapDuringCapture(benchmark::State& state)
{
    bool real = false;
    ScreenSource& source = screen(&real);
    FakePasteboard pasteboard;
    ClipboardSuspension suspension;
    QTemporaryDir dir;
    const std::shared_ptr<ModelContainer> container = openStoreIn(dir);
    NotificationCenter notifications;
    ScreenshotCaptureService service({&source, &pasteboard, nullptr, &suspension, nullptr, [] { return quint64(0); }});
    int stored = 0;
    QObject observer;
    notifications.observe(QStringLiteral("screenshotSaved"), &observer, [&](const QVariantMap&) { ++stored; });
    service.onCapture = [&](const CaptureResult& result) {
        ScreenshotSaver::insert(container,
            std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"), result.pngData,
                result.pngData, std::nullopt),
            notifications);
    };
    double longest = 0;
    const quint32 display = source.monitors().value(0).displayID;
    for (auto _ : state) {
        const int target = stored + 1;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        ticker.start();
        service.grabAreaImage(display, QRectF(QPointF(0, 0), QSizeF(kSize)), 1.0, nullptr, [&](QImage image) {
            service.finish(image, QRectF(QPointF(0, 0), QSizeF(kSize)), display, CaptureKind::area);
        });
        while (stored < target)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    state.counters["longest_gap_ms"] = longest;
    state.SetLabel(real ? "X11 grab" : "in-memory screen");
}

BENCHMARK(BM_QtPngDefault)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QtPngLevel1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LibPng)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Args({1, PNG_FILTER_UP, 0})
    ->Args({2, PNG_FILTER_UP, 0})
    ->Args({3, PNG_FILTER_UP, 0})
    ->Args({1, PNG_FILTER_SUB, 0})
    ->Args({2, PNG_FILTER_SUB, 0})
    ->Args({1, PNG_FILTER_NONE, 0})
    ->Args({1, PNG_FILTER_PAETH, 0})
    ->Args({1, PNG_FILTER_UP, 3})
    ->Args({6, PNG_ALL_FILTERS, 0});
BENCHMARK(BM_CaptureToStoredItem)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MainThreadGapDuringCapture)->Unit(benchmark::kMillisecond)->Iterations(3);

}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto qt = reporter.times.find("BM_QtPngDefault/iterations:3");
    if (qt != reporter.times.end()) {
        const qsizetype qtSize = sizes()["BM_QtPngDefault/iterations:3"];
        std::printf("\n%-52s %10s %8s %10s %6s\n", "3840 x 2160 screenshot", "ms", "x Qt", "bytes", "x Qt");
        for (const auto& [name, time] : reporter.times) {
            const qsizetype size = sizes()[name];
            std::printf("%-52s %10.1f %8.3f %10lld %6.2f\n", name.c_str(), time, time / qt->second,
                static_cast<long long>(size), qtSize ? double(size) / double(qtSize) : 0.0);
        }
        std::printf("aims: the encoder at most 0.333 x Qt's time and 1.3 x its size; capture to stored item at "
                    "most 0.5 x Qt's time; main-thread gap under 50 ms\n");
    }
    benchmark::Shutdown();
    return 0;
}
