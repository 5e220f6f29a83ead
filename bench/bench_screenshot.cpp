// PNG encoding of real screens against Qt's PNG writer at its default level on the same pixels: a
// text desktop (xterm windows with ls and licence text, a Qt window with text), a photo-like
// wallpaper, a flat desktop and the desktop drawn in memory that earlier runs used, each grabbed
// from the X display. Then a 3840 x 2160 screenshot of the text desktop and of the drawn one from
// the screen to a stored record (grab, PNG, store) against Qt's default encode of the same pixels
// alone, its parts, and the longest gap of the main thread's event loop during a whole capture
// hand-off.
//
// The screens are real when $DISPLAY shows a screen of at least 3840 x 2160
// (QUORVEL_X11_SCREEN=3840x2160x24 scripts/with-x11 build/bench/bench_screenshot); otherwise the
// pixels are drawn in memory and the grabs come from an in-memory screen. With
// QUORVEL_BENCH_SCREENS=<folder> the screens are also written there as PNG files to look at.
#include "BenchSupport.h"
#include "capture/ScreenshotCaptureService.h"
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeScreenSource.h"
#include "fakes/FakeTextRecognizer.h"
#include "platform/Dispatch.h"
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
#include <QPlainTextEdit>
#include <QProcess>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>
#include <cmath>
#include <png.h>

namespace {

const QSize kSize(3840, 2160);

// What a 4K desktop looks like when drawn in memory: a wallpaper gradient, windows with title
// bars, lists of text and icons.
QImage drawnTextDesktop()
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
    return image;
}

// A photograph as PNG sees one: smooth shapes at several scales (random colours enlarged
// smoothly from coarse grids) under the fine grain of a camera sensor.
QImage photoLikeImage()
{
    QRandomGenerator random(7);
    QImage photo(kSize, QImage::Format_RGB32);
    photo.fill(Qt::black);
    const std::pair<int, int> octaves[] {{12, 110}, {48, 60}, {192, 30}, {768, 14}};
    std::vector<QImage> layers;
    for (const auto& [columns, amplitude] : octaves) {
        QImage grid(columns, columns * 9 / 16, QImage::Format_RGB32);
        for (int y = 0; y < grid.height(); ++y)
            for (int x = 0; x < grid.width(); ++x)
                grid.setPixel(x, y, random.generate());
        layers.push_back(grid.scaled(kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    for (int y = 0; y < kSize.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < kSize.width(); ++x) {
            int channel[3] {40, 40, 40};
            for (size_t i = 0; i < layers.size(); ++i) {
                const QRgb p = reinterpret_cast<const QRgb*>(layers[i].constScanLine(y))[x];
                const int amplitude = octaves[i].second;
                channel[0] += qRed(p) * amplitude / 255;
                channel[1] += qGreen(p) * amplitude / 255;
                channel[2] += qBlue(p) * amplitude / 255;
            }
            const int grain = int(random.bounded(9)) - 4;
            out[x] = qRgb(std::clamp(channel[0] + grain, 0, 255), std::clamp(channel[1] + grain, 0, 255),
                std::clamp(channel[2] + grain, 0, 255));
        }
    }
    return photo;
}

QImage flatImage()
{
    QImage flat(kSize, QImage::Format_RGB32);
    flat.fill(QColor(46, 52, 64));
    return flat;
}

X11ScreenSource& x11Screen()
{
    static X11ScreenSource x11;
    return x11;
}

bool hasBigX11Screen()
{
    static const bool big = [] {
        QRect all;
        for (const ScreenMonitor& monitor : x11Screen().monitors())
            all |= monitor.frame;
        return all.width() >= kSize.width() && all.height() >= kSize.height();
    }();
    return big;
}

void settle(int ms)
{
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A text desktop on the X display: four xterm windows (DejaVu Sans Mono, coloured ls output and
// licence text) and a Qt window with text, on the window manager's bare root. The xterms stay
// until the bench ends.
void showTextDesktop(std::vector<std::unique_ptr<QProcess>>& terminals, QTemporaryDir& dir)
{
    const char* commands[] {"ls -l --color=always /usr/bin | head -n 400",
        "cat /usr/share/common-licenses/GPL-3", "ls -la --color=always /usr/lib/x86_64-linux-gnu | head -n 400",
        "cat /usr/share/common-licenses/Apache-2.0"};
    const char* geometries[] {"150x62+0+0", "150x62+1930+0", "150x58+0+1120", "110x58+1930+1120"};
    for (int i = 0; i < 4; ++i) {
        const QString ready = dir.filePath(QStringLiteral("ready%1").arg(i));
        auto terminal = std::make_unique<QProcess>();
        terminal->start(QStringLiteral("xterm"),
            {QStringLiteral("-xrm"), QStringLiteral("*overrideRedirect: true"), QStringLiteral("-geometry"),
                QString::fromLatin1(geometries[i]), QStringLiteral("-fa"), QStringLiteral("DejaVu Sans Mono"),
                QStringLiteral("-fs"), QStringLiteral("13"), QStringLiteral("-e"), QStringLiteral("sh"),
                QStringLiteral("-c"),
                QStringLiteral("%1; touch %2; exec sleep 3600").arg(QString::fromLatin1(commands[i]), ready)});
        terminals.push_back(std::move(terminal));
    }
    static auto* editor = new QPlainTextEdit;
    editor->setWindowFlag(Qt::X11BypassWindowManagerHint);
    QFile licence(QStringLiteral("/usr/share/common-licenses/GPL-2"));
    editor->setPlainText(licence.open(QIODevice::ReadOnly) ? QString::fromUtf8(licence.readAll())
                                                           : QStringLiteral("GNU General Public License"));
    editor->setGeometry(2350, 1250, 1400, 850);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        bool all = true;
        for (int i = 0; i < 4; ++i)
            all = all && QFile::exists(dir.filePath(QStringLiteral("ready%1").arg(i)));
        if (all)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    editor->show();
    editor->raise();
    settle(500);
}

struct ContentScreen {
    std::string name;
    QImage pixels;
};

// A window over the whole screen that shows a picture above the text desktop.
QLabel& cover()
{
    static auto* label = [] {
        auto* window = new QLabel;
        window->setWindowFlag(Qt::X11BypassWindowManagerHint);
        window->setGeometry(QRect(QPoint(0, 0), kSize));
        return window;
    }();
    return *label;
}

void showCover(const QImage& picture)
{
    cover().setPixmap(QPixmap::fromImage(picture));
    cover().show();
    cover().raise();
    settle(500);
}

void hideCover()
{
    cover().hide();
    settle(300);
}

// The screens, grabbed from the X display when it is big enough, else drawn in memory: the text
// desktop, the photo, the flat desktop, and the desktop drawn in memory as an earlier version of
// this bench showed it. The text desktop is left on the display.
std::vector<ContentScreen> contentScreens(bool* real)
{
    *real = hasBigX11Screen();
    if (!*real)
        return {{"text", drawnTextDesktop()}, {"photo", photoLikeImage()}, {"flat", flatImage()},
            {"drawn", drawnTextDesktop()}};
    static QTemporaryDir dir;
    static std::vector<std::unique_ptr<QProcess>> terminals;
    showTextDesktop(terminals, dir);
    const QRect whole(QPoint(0, 0), kSize);
    std::vector<ContentScreen> screens {{"text", x11Screen().grabRect(whole)}};
    for (auto& [name, pixels] : {std::pair {"photo", photoLikeImage()}, std::pair {"flat", flatImage()},
             std::pair {"drawn", drawnTextDesktop()}}) {
        showCover(pixels);
        screens.push_back({name, x11Screen().grabRect(whole)});
    }
    hideCover();
    return screens;
}

std::vector<ContentScreen>& screens()
{
    static std::vector<ContentScreen> list;
    return list;
}

const QImage& textDesktop()
{
    return screens().front().pixels;
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

// The PNG encoders the choice was made from, on one screen.
void registerEncoders(const ContentScreen& screen)
{
    const QImage* pixels = &screen.pixels;
    const std::string prefix = "png/" + screen.name + "/";
    benchmark::RegisterBenchmark((prefix + "Qt default").c_str(), [pixels, prefix](benchmark::State& state) {
        for (auto _ : state)
            sizes()[prefix + "Qt default/iterations:3"] = qtPng(*pixels, -1).size();
    })->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark((prefix + "Qt level 1").c_str(), [pixels, prefix](benchmark::State& state) {
        for (auto _ : state)
            sizes()[prefix + "Qt level 1/iterations:3"] = qtPng(*pixels, 80).size();
    })->Unit(benchmark::kMillisecond)->Iterations(3);
    const ImageEncoding::PngOptions chosen;
    const ImageEncoding::PngOptions options[] {chosen, {1, PNG_FILTER_UP, 0}, {2, PNG_FILTER_UP, 0},
        {3, PNG_FILTER_UP, 0}, {1, PNG_FILTER_SUB, 0}, {2, PNG_FILTER_SUB, 0}, {2, PNG_FILTER_PAETH, 0},
        {3, PNG_FILTER_PAETH, 0}, {1, PNG_FILTER_UP, 3}, {2, PNG_FILTER_NONE, 0}, {4, PNG_FILTER_UP, 0},
        {6, PNG_ALL_FILTERS, 0}};
    bool first = true;
    for (const ImageEncoding::PngOptions& option : options) {
        const std::string name = prefix + (first ? "libpng chosen " : "libpng ") + std::to_string(option.level)
            + "/" + std::to_string(option.filters) + "/" + std::to_string(option.strategy);
        first = false;
        benchmark::RegisterBenchmark(name.c_str(), [pixels, option, name](benchmark::State& state) {
            for (auto _ : state)
                sizes()[name + "/iterations:3"] = ImageEncoding::png(*pixels, option)->size();
        })->Unit(benchmark::kMillisecond)->Iterations(3);
    }
}

// The screen to read: the X display when it is big enough (showing the text desktop), else an
// in-memory screen with the same pixels.
ScreenSource& screen(bool* real)
{
    static FakeScreenSource fake;
    *real = hasBigX11Screen();
    if (*real)
        return x11Screen();
    fake.screen = textDesktop();
    return fake;
}

// Grab, encode, store: the work of one capture up to its stored record, of the text desktop
// (argument 0) or of the drawn desktop (argument 1) on the screen.
void BM_CaptureToStoredItem(benchmark::State& state)
{
    const bool drawn = state.range(0) == 1;
    const ContentScreen& shown = screens()[drawn ? 3 : 0];
    static FakeScreenSource fake;
    ScreenSource* source = &fake;
    if (hasBigX11Screen()) {
        source = &x11Screen();
        if (drawn)
            showCover(shown.pixels);
        else
            hideCover();
    } else {
        fake.screen = shown.pixels;
    }
    QTemporaryDir dir;
    const std::shared_ptr<ModelContainer> container = openStoreIn(dir);
    NotificationCenter notifications;
    for (auto _ : state) {
        const QImage pixels = source->grabRect(QRect(QPoint(0, 0), kSize));
        const QByteArray png = *ImageEncoding::png(pixels);
        ScreenshotSaver::insert(container,
            std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"), png, png,
                std::nullopt),
            notifications);
        Background::waitForAll();
    }
    if (drawn)
        hideCover();
    state.SetLabel(std::string(hasBigX11Screen() ? "X11 grab of the " : "in-memory ") + shown.name + " desktop");
}

// The parts of a capture, for where its time goes: the grab alone, and storing a record of the
// text desktop's PNG.
void BM_Grab(benchmark::State& state)
{
    bool real = false;
    ScreenSource& source = screen(&real);
    for (auto _ : state)
        benchmark::DoNotOptimize(source.grabRect(QRect(QPoint(0, 0), kSize)));
    state.SetLabel(real ? "X11 grab" : "in-memory screen");
}

void BM_StoreRecord(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::shared_ptr<ModelContainer> container = openStoreIn(dir);
    NotificationCenter notifications;
    const QByteArray png = *ImageEncoding::png(textDesktop());
    for (auto _ : state) {
        ScreenshotSaver::insert(container,
            std::make_shared<ScreenshotItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("area"), png, png,
                std::nullopt),
            notifications);
        Background::waitForAll();
    }
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
    FakeTextRecognizer recognizer;
    ScreenshotCaptureService service(
        {source, pasteboard, recognizer, suspension, DispatchQueue::main(), [] { return quint64(0); }});
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

BENCHMARK(BM_Grab)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StoreRecord)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CaptureToStoredItem)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(0)->Arg(1);
BENCHMARK(BM_MainThreadGapDuringCapture)->Unit(benchmark::kMillisecond)->Iterations(3);

void printEncoderTable(const RatioReporter& reporter, const ContentScreen& screen)
{
    const std::string prefix = "png/" + screen.name + "/";
    const double qtTime = reporter.ms(prefix + "Qt default/iterations:3");
    const qsizetype qtSize = sizes()[prefix + "Qt default/iterations:3"];
    if (qtTime <= 0 || qtSize <= 0)
        return;
    std::printf("\n%-44s %10s %8s %10s %6s\n", (screen.name + " screen, 3840 x 2160").c_str(), "ms", "x Qt", "bytes",
        "x Qt");
    for (const auto& [name, time] : reporter.times) {
        if (name.rfind(prefix, 0) != 0)
            continue;
        const qsizetype size = sizes()[name];
        std::printf("%-44s %10.1f %8.3f %10lld %6.2f\n", name.substr(prefix.size()).c_str(), time, time / qtTime,
            static_cast<long long>(size), double(size) / double(qtSize));
    }
}

}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    bool real = false;
    screens() = contentScreens(&real);
    for (const ContentScreen& screen : screens()) {
        registerEncoders(screen);
        if (qEnvironmentVariableIsSet("QUORVEL_BENCH_SCREENS"))
            screen.pixels.save(qEnvironmentVariable("QUORVEL_BENCH_SCREENS") + "/" + QString::fromStdString(screen.name) + ".png");
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nscreens: %s\n", real ? "grabbed from the X display" : "drawn in memory (no 3840 x 2160 display)");
    for (const ContentScreen& screen : screens())
        printEncoderTable(reporter, screen);
    std::printf("\n");
    for (const auto& [argument, name] : {std::pair {0, "text"}, std::pair {1, "drawn"}}) {
        const double qt = reporter.ms("png/" + std::string(name) + "/Qt default/iterations:3");
        const double stored = reporter.ms("BM_CaptureToStoredItem/" + std::to_string(argument) + "/iterations:3");
        if (qt > 0 && stored > 0)
            std::printf("capture to stored item, %s desktop: %.1f ms, %.3f x Qt's default encode of its pixels\n",
                name, stored, stored / qt);
    }
    std::printf("aims: the chosen encoder at most 0.3 x Qt's time and 1.1 x its size on the text desktop; capture to "
                "stored item at most 0.4 x Qt's encode; main-thread gap under 50 ms\n");
    benchmark::Shutdown();
    return 0;
}
