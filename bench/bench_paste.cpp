// Latency of the paste pipeline: from PasteService::paste() being called to the synthetic paste
// key being sent, for an entry of 10 sealed representations (about 150 KB), on fakes. The 100 ms
// settle and the 10 ms activation polls are waits on a virtual clock (ManualQueue), so they are
// excluded; what is measured is the work: opening the payloads, writing the clipboard, the trace
// lines (console and file), the activation and focus checks, the keystroke.
//
// Baselines from the same run: the raw Pasteboard::writeItems call with the same 10 payloads
// already opened, and opening the 10 payloads alone. Prints the ratios at the end.
#include "BenchSupport.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualQueue.h"
#include "platform/Console.h"
#include "platform/PasteboardTypes.h"
#include "store/ModelContext.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray payload(qsizetype size, char fill)
{
    return QByteArray(size, fill);
}

// Ten representations as a rich copy from an editor or a browser brings them.
ClipItemPtr tenRepresentationEntry()
{
    benchCrypto();
    const QString text = QString(2000, QLatin1Char('t'));
    std::vector<ClipRepresentationPtr> reps {
        std::make_shared<ClipRepresentation>(PasteboardTypes::utf8PlainText, 100, text.toUtf8()),
        std::make_shared<ClipRepresentation>(PasteboardTypes::plainText, 100, text.toUtf8()),
        std::make_shared<ClipRepresentation>(PasteboardTypes::html, 400, payload(8 * 1024, 'h')),
        std::make_shared<ClipRepresentation>(PasteboardTypes::rtf, 500, payload(8 * 1024, 'r')),
        std::make_shared<ClipRepresentation>(PasteboardTypes::png, 300, payload(96 * 1024, 'p')),
        std::make_shared<ClipRepresentation>(PasteboardTypes::jpeg, 300, payload(24 * 1024, 'j')),
        std::make_shared<ClipRepresentation>(PasteboardTypes::fileURL, 200, QByteArray("file:///tmp/bild.png")),
        std::make_shared<ClipRepresentation>(
            QStringLiteral("org.chromium.source-url"), 50, QByteArray("https://example.org/")),
        std::make_shared<ClipRepresentation>(QStringLiteral("com.adobe.pdf"), 800, payload(4 * 1024, 'a')),
        std::make_shared<ClipRepresentation>(QStringLiteral("org.example.custom"), 50, payload(512, 'c')),
    };
    auto entry = std::make_shared<ClipItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("org.example.editor"),
        QStringLiteral("Editor"), false, text, std::move(reps), std::nullopt, std::nullopt, true, false, 0,
        std::nullopt, std::nullopt, std::nullopt, false, std::nullopt, false, std::nullopt);
    // Stored, as every entry a paste gets: its payloads are sealed and opened by the paste.
    static const QTemporaryDir dir;
    static const std::shared_ptr<ModelContainer> store = openStoreIn(dir);
    store->mainContext().insert(entry);
    if (!store->mainContext().save())
        std::fprintf(stderr, "save failed\n");
    return entry;
}

struct Rig {
    Rig()
    {
        Console::setSink([](const QString&) {}); // keep the trace lines off the terminal
        workspace.running = {editor};
        service = std::make_unique<PasteService>(
            pasteboard, workspace, keys, queue, suspension, dir.filePath(QStringLiteral("tarrow_paste_debug.txt")));
        workspace.frontmost = editor;
        service->captureTargetApp();
        keys.onPaste = [this](const std::optional<RunningApplication>&) { keystrokeAt = Clock::now(); };
    }
    QTemporaryDir dir;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ManualQueue queue;
    ClipboardSuspension suspension;
    std::unique_ptr<PasteService> service;
    RunningApplication editor {QStringLiteral("org.example.editor"), QStringLiteral("Editor"), 1234, 77};
    Clock::time_point keystrokeAt;
};

void BM_PasteToKeystroke(benchmark::State& state)
{
    const ClipItemPtr entry = tenRepresentationEntry();
    Rig rig;
    for (auto _ : state) {
        // The user is in our panel; the editor is brought back by the paste.
        rig.workspace.frontmost = rig.workspace.current;
        const Clock::time_point start = Clock::now();
        rig.service->paste(entry, false);
        // The settle delay passes on the virtual clock.
        rig.queue.advance(PasteService::settleDelay);
        state.SetIterationTime(std::chrono::duration<double>(rig.keystrokeAt - start).count());
        rig.queue.advance(PasteService::pasteSuspension); // monitoring resumes before the next paste
    }
    if (rig.keys.pastes.size() != static_cast<qsizetype>(state.iterations()))
        state.SkipWithError("not every paste sent its keystroke");
}
BENCHMARK(BM_PasteToKeystroke)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_RawWriteItems(benchmark::State& state)
{
    const QList<Pasteboard::Item> items = PasteService::pasteboardItems(*tenRepresentationEntry(), false);
    FakePasteboard pasteboard;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(pasteboard.writeItems(items));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_Baseline_RawWriteItems)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Reference_OpenTenPayloads(benchmark::State& state)
{
    const ClipItemPtr entry = tenRepresentationEntry();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const QList<Pasteboard::Item> items = PasteService::pasteboardItems(*entry, false);
        benchmark::DoNotOptimize(items.size());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_Reference_OpenTenPayloads)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto find = [&](const char* name) {
        for (const auto& [key, value] : reporter.times)
            if (key.rfind(name, 0) == 0)
                return value;
        return 0.0;
    };
    const double paste = find("BM_PasteToKeystroke");
    const double raw = find("BM_Baseline_RawWriteItems");
    const double open = find("BM_Reference_OpenTenPayloads");
    if (paste > 0 && raw > 0)
        std::printf("paste to keystroke (settle excluded) / raw writeItems = %.1f\n", paste / raw);
    if (paste > 0 && open > 0)
        std::printf("paste to keystroke (settle excluded) / opening the 10 payloads = %.2f\n", paste / open);
    benchmark::Shutdown();
    return 0;
}
