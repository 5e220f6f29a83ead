// The history under hostile stored data. (1) Quick look of a 20 MB unbroken stored text (sealed,
// fetched as the panel would), from the call to the window painted, against a 1 KB text in the
// same run; aim: under 200 ms. (2) The history panel shown and painted with 20,000 saved filters in
// the preferences against none, over a store of 200 entries; aim: at most 20 ms more.
#include "BenchSupport.h"
#include "app/AppDelegate.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePermissions.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualQueue.h"
#include "history/QuickLookPanelManager.h"
#include "history/SavedAppFilters.h"
#include "history/WindowManager.h"
#include "platform/Background.h"
#include "platform/NotificationCenter.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <cstdio>

namespace {

struct Store {
    QTemporaryDir dir;
    QTemporaryDir quickLookDir;
    std::shared_ptr<ModelContainer> container; // the panel's: 200 short texts
    std::shared_ptr<ModelContainer> quickLookContainer;
    ClipItemPtr hugeText;
    ClipItemPtr smallText;
    Store()
    {
        benchCrypto();
        container = openStoreIn(dir);
        ModelContext& context = container->mainContext();
        for (int i = 0; i < 200; ++i)
            insertBenchEntry(context, i, 9, QStringLiteral("entry %1 with a few words of text").arg(i), false, {}, {});
        context.save();
        {
            const std::shared_ptr<ModelContainer> writer = openStoreIn(quickLookDir);
            insertBenchEntry(writer->mainContext(), 0, 1, QString(1024, QLatin1Char('s')), false, {}, {});
            insertBenchEntry(writer->mainContext(), 1, 1, QString(20 << 20, QLatin1Char('x')), false, {}, {});
            writer->mainContext().save();
        }
        // Fetched back, so that the text is opened from its seal as in the program.
        quickLookContainer = openStoreIn(quickLookDir);
        FetchDescriptor newestTwo;
        newestTwo.limit = 2;
        const std::vector<ClipItemPtr> newest = quickLookContainer->mainContext().fetchClipItems(newestTwo);
        hugeText = newest.at(0);
        smallText = newest.at(1);
    }
};

Store& store()
{
    static Store s;
    return s;
}

void openQuickLook(QuickLookPanelManager& quickLook, const ClipItemPtr& item)
{
    quickLook.showQuickLook(item);
    const QPixmap painted = quickLook.quickLookPanel()->grab();
    benchmark::DoNotOptimize(painted);
}

void quickLookBench(benchmark::State& state, const ClipItemPtr& item)
{
    FakePasteboard pasteboard;
    QuickLookPanelManager quickLook(pasteboard);
    for (auto _ : state) {
        openQuickLook(quickLook, item);
        state.PauseTiming();
        quickLook.hideQuickLook();
        Background::waitForAll();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_QuickLookOf1KBText(benchmark::State& state)
{
    quickLookBench(state, store().smallText);
}
BENCHMARK(BM_QuickLookOf1KBText)->Unit(benchmark::kMillisecond);

void BM_QuickLookOf20MBUnbrokenText(benchmark::State& state)
{
    quickLookBench(state, store().hugeText);
}
BENCHMARK(BM_QuickLookOf20MBUnbrokenText)->Unit(benchmark::kMillisecond)->Iterations(5);

void panelBench(benchmark::State& state, int savedFilters)
{
    FakePreferences prefs;
    prefs.registerDefaults(AppDelegate::registeredDefaults());
    prefs.set(QStringLiteral("showAsRightPanel"), false);
    QByteArray json = "[";
    for (int i = 0; i < savedFilters; ++i)
        json += QStringLiteral(R"(%1["org.example.saved%2","Saved %2"])").arg(i ? "," : "").arg(i).toUtf8();
    prefs.set(SavedAppFilters::preferenceKey, json + "]");
    NotificationCenter notifications;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ManualQueue queue;
    ClipboardSuspension suspension;
    QTemporaryDir traceDir;
    FakePermissions permissions;
    Permissions::setShared(&permissions);
    PasteService paste {pasteboard, workspace, keys, queue, suspension, traceDir.filePath(QStringLiteral("trace"))};
    QuickLookPanelManager quickLook {pasteboard};
    WindowManager windows {{paste, notifications, prefs, &quickLook, nullptr, &permissions}};
    windows.setModelContainer(store().container);
    for (auto _ : state) {
        windows.showHistoryWindow();
        const QPixmap painted = windows.historyPanel()->grab();
        benchmark::DoNotOptimize(painted);
        state.PauseTiming();
        windows.hideHistoryWindow();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    Permissions::setShared(nullptr);
}

void BM_PanelOpenNoSavedFilters(benchmark::State& state)
{
    panelBench(state, 0);
}
BENCHMARK(BM_PanelOpenNoSavedFilters)->Unit(benchmark::kMillisecond);

void BM_PanelOpen20000SavedFilters(benchmark::State& state)
{
    panelBench(state, 20000);
}
BENCHMARK(BM_PanelOpen20000SavedFilters)->Unit(benchmark::kMillisecond);

}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Theme::install();
    Symbols::installIconTheme();
    store();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto time = [&](const char* name) { return reporter.times.count(name) ? reporter.times[name] : 0.0; };
    std::printf("\nQuick look of a 20 MB unbroken text: %.1f ms (1 KB text: %.1f ms; aim under 200 ms)\n",
        time("BM_QuickLookOf20MBUnbrokenText/iterations:5"), time("BM_QuickLookOf1KBText"));
    std::printf("Panel open with 20,000 saved filters: %.1f ms, without: %.1f ms, delay %.1f ms (aim at most 20 ms)\n",
        time("BM_PanelOpen20000SavedFilters"), time("BM_PanelOpenNoSavedFilters"),
        time("BM_PanelOpen20000SavedFilters") - time("BM_PanelOpenNoSavedFilters"));
    benchmark::Shutdown();
    return 0;
}
