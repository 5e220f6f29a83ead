#pragma once
// Pieces every benchmark needs: the reporter that keeps each run's time for the ratios printed at
// the end, the process's peak memory, a crypto service with its key ready, and a store in a
// temporary folder.
#include "fakes/FakeKeychain.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

// Console output as usual, keeping the time per iteration of every run for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// The highest resident set size of this process so far (ru_maxrss), in MiB.
inline double peakMemoryMiB()
{
    struct rusage usage { };
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One crypto service for the whole run, keyed from a fake keychain and installed as the shared
// one, through which the store seals and opens payloads.
inline ClipboardCryptoService& benchCrypto()
{
    static FakeKeychain keychain;
    static ClipboardCryptoService crypto(keychain);
    static const bool ready = [] {
        crypto.ensureKey();
        ClipboardCryptoService::setShared(&crypto);
        return true;
    }();
    (void)ready;
    return crypto;
}

// A new store file inside dir.
inline std::shared_ptr<ModelContainer> openStoreIn(const QTemporaryDir& dir)
{
    return ModelContainer::open(dir.filePath(QStringLiteral("Quorvel.store")), nullptr);
}
