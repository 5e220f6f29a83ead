// Capture throughput of the clipboard monitor: from a change seen to its entry saved (the 0.4 s
// debounce and the 0.5 s poll run on a virtual clock, so they cost nothing here) for a 1 KB text
// and a 5 MB PNG, and the ingestion of 10,000 entries of 50 KB with the process's peak memory.
// Each is reported as a ratio against a baseline measured in the same run: sealing the same bytes
// and inserting them into a bare SQLite table (WAL, synchronous NORMAL like the store), one
// transaction per entry.
#include "BenchSupport.h"
#include "clipboard/ClipboardService.h"
#include "fakes/ClipboardServiceFakes.h"
#include "fakes/FakePasteboard.h"
#include "platform/Console.h"
#include "platform/NotificationNames.h"
#include "platform/PasteboardTypes.h"
#include "platform/linux/MimeTypeMapping.h"
#include "platform/linux/QtLinkMetadataProvider.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <sqlite3.h>

namespace {

const QString textType = PasteboardTypes::utf8PlainText;
const QString pngType = PasteboardTypes::png;

QByteArray noisePNG(qint64 approximateBytes)
{
    const int side = static_cast<int>(std::sqrt(static_cast<double>(approximateBytes) / 4.0));
    QImage image(side, side, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = random.generate();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png", 100);
    return bytes;
}

QByteArray uniqueText(qint64 bytes, qint64 serial)
{
    QByteArray text = "entry " + QByteArray::number(serial) + " ";
    text += QByteArray(bytes - text.size(), 'x');
    return text;
}

// The monitor with fakes around it and a real store in a temporary folder.
class Harness : public ClipboardServiceFakes {
public:
    Harness()
        : crypto(keychain)
        , service(pasteboard, workspace, preferences, center, crypto, links, queue, main, suspension)
    {
        crypto.ensureKey();
        container = openStoreIn(dir);
        container->setSealer(crypto); // the store opens what the monitor sealed
        preferences.registerDefaults(
            {{"maxHistoryItems", 0}, {"rejectDuplicates", true}, {"downloadLinkPreviews", false}});
        workspace.frontmost = RunningApplication {QStringLiteral("org.example.Editor"), QStringLiteral("Editor")};
        service.setModelContainer(container);
        service.setShouldAnnounceNewItems([] { return true; });
        center.observe(NotificationNames::clipboardItemAdded, nullptr, [this](const QVariantMap&) { ++saved; });
        service.startMonitoring();
        run(10);
    }

    // One copy, from the change to its saved entry.
    void capture(const QList<Pasteboard::Item>& items)
    {
        const int target = saved + 1;
        pasteboard.setContent(items);
        while (saved < target)
            run(100);
    }

    void run(int ms)
    {
        queue.advance(ms);
        drain();
    }

    QTemporaryDir dir;
    FakeKeychain keychain;
    ClipboardCryptoService crypto;
    std::shared_ptr<ModelContainer> container;
    FakePasteboard pasteboard;
    ClipboardService service;
    int saved = 0;
};

// The baseline: seal the bytes and insert them into a bare table, one transaction each.
class Baseline {
public:
    Baseline()
        : crypto(keychain)
    {
        crypto.ensureKey();
        sqlite3_open(QFile::encodeName(dir.path() + "/baseline.sqlite").constData(), &db);
        sqlite3_exec(db,
            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; CREATE TABLE item (id INTEGER PRIMARY KEY, payload "
            "BLOB);",
            nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db, "INSERT INTO item (payload) VALUES (?)", -1, &insert, nullptr);
    }
    ~Baseline()
    {
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }
    void store(const QByteArray& plain)
    {
        const std::optional<QByteArray> sealed = crypto.encrypt(plain);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_blob(insert, 1, sealed->constData(), static_cast<int>(sealed->size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }

private:
    QTemporaryDir dir;
    FakeKeychain keychain;
    ClipboardCryptoService crypto;
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
};

void BM_Baseline_Text1KB(benchmark::State& state)
{
    Baseline baseline;
    qint64 serial = 0;
    for (auto _ : state)
        baseline.store(uniqueText(1024, ++serial));
}

void BM_Capture_Text1KB(benchmark::State& state)
{
    Harness harness;
    qint64 serial = 0;
    for (auto _ : state)
        harness.capture({{textType, uniqueText(1024, ++serial)}});
}

const QByteArray& png5MB()
{
    static const QByteArray bytes = noisePNG(5 * 1024 * 1024);
    return bytes;
}

// Bytes after the end chunk make each copy distinct without touching the image.
QByteArray distinctPNG(qint64 serial)
{
    return png5MB() + QByteArray::number(serial);
}

void BM_Baseline_PNG5MB(benchmark::State& state)
{
    Baseline baseline;
    qint64 serial = 0;
    for (auto _ : state)
        baseline.store(distinctPNG(++serial));
    state.counters["bytes"] = static_cast<double>(png5MB().size());
}

void BM_Capture_PNG5MB(benchmark::State& state)
{
    Harness harness;
    qint64 serial = 0;
    for (auto _ : state)
        harness.capture({{pngType, distinctPNG(++serial)}});
    state.counters["bytes"] = static_cast<double>(png5MB().size());
}

constexpr int ingestCount = 10000;
constexpr qint64 ingestBytes = 50 * 1024;

void BM_Baseline_Ingest10000x50KB(benchmark::State& state)
{
    for (auto _ : state) {
        Baseline baseline;
        for (int i = 0; i < ingestCount; ++i)
            baseline.store(uniqueText(ingestBytes, i));
    }
}

void BM_Capture_Ingest10000x50KB(benchmark::State& state)
{
    for (auto _ : state) {
        Harness harness;
        for (int i = 0; i < ingestCount; ++i)
            harness.capture({{textType, uniqueText(ingestBytes, i)}});
        state.PauseTiming();
        state.counters["peakRSS_MiB"] = peakMemoryMiB();
        state.counters["entries"] = static_cast<double>(harness.container->mainContext().fetchClipItemCount());
        state.ResumeTiming();
    }
}

// A link preview's page of 200 KB (scripts, comments, inline SVG, the metadata near the end).
const QByteArray& linkPage()
{
    static const QByteArray page = [] {
        QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">";
        for (int i = 0; html.size() < 200 * 1024; ++i) {
            html += "<script>var x" + QByteArray::number(i)
                + " = '<title>no</title>' > 1;</script>"
                  "<!-- <meta property=\"og:title\" content=\"no\"> -->"
                  "<div class=\"a\" data-x=\"1 > 0\"><p>Caf&eacute; text &amp; more text "
                + QByteArray::number(i) + "</p><svg><title>icon</title><path d=\"M0 0\"/></svg></div>";
        }
        html += "<title>The &eacute;t&eacute; page</title><meta property=\"og:image\" content=\"/cover.png\">"
                "</head><body></body></html>";
        return html;
    }();
    return page;
}

// Baseline: one pass over the same bytes looking for the title tag.
void BM_Baseline_LinkPageScan(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(linkPage().indexOf("<title>The"));
}

void BM_LinkPage_Parse(benchmark::State& state)
{
    const QUrl base(QStringLiteral("https://example.com/a"));
    for (auto _ : state)
        benchmark::DoNotOptimize(QtLinkMetadataProvider::parseHTML(linkPage(), base).title);
}

// Telling the image type of a copied generic image (done for each write of "public.image").
void BM_SniffImage(benchmark::State& state)
{
    const QByteArray bytes = QByteArray("GIF89a", 6) + QByteArray(4096, '\x01');
    for (auto _ : state)
        benchmark::DoNotOptimize(MimeTypeMapping::sniffImageMime(bytes));
}

BENCHMARK(BM_Baseline_LinkPageScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinkPage_Parse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SniffImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_Text1KB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Capture_Text1KB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_PNG5MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Capture_PNG5MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_Ingest10000x50KB)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Capture_Ingest10000x50KB)->Unit(benchmark::kMillisecond)->Iterations(1);

// Console output plus, at the end, the ratios of each capture to its baseline and the peak memory.
class CaptureRatioReporter : public RatioReporter {
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const std::pair<const char*, const char*> pairs[] = {
            {"BM_LinkPage_Parse", "BM_Baseline_LinkPageScan"},
            {"BM_Capture_Text1KB", "BM_Baseline_Text1KB"},
            {"BM_Capture_PNG5MB", "BM_Baseline_PNG5MB"},
            {"BM_Capture_Ingest10000x50KB/iterations:1", "BM_Baseline_Ingest10000x50KB/iterations:1"},
        };
        for (const auto& [capture, baseline] : pairs) {
            const auto c = times.find(capture);
            const auto b = times.find(baseline);
            if (c != times.end() && b != times.end() && b->second > 0)
                std::printf("ratio %s / %s = %.2f\n", capture, baseline, c->second / b->second);
        }
        std::printf("process peak memory (ru_maxrss): %.1f MiB\n", peakMemoryMiB());
    }
};

}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Console::setSink([](const QString&) {});
    benchmark::Initialize(&argc, argv);
    CaptureRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
