#pragma once
// Pieces every benchmark needs: the reporter that keeps each run's time for the ratios printed at
// the end, the process's current and peak memory, a crypto service with its key ready, a store in a
// temporary folder and the entries that fill it.
#include "fakes/FakeKeychain.h"
#include "fakes/ResidentMemory.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
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

    // The time per iteration of a run, in its own unit; -1 when the run did not report.
    double ms(const std::string& name) const
    {
        const auto it = times.find(name);
        return it == times.end() ? -1.0 : it->second;
    }
};

// The highest resident set size of this process so far (ru_maxrss), in MiB.
inline double peakMemoryMiB()
{
    struct rusage usage { };
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One crypto service for the whole run, keyed from a fake keychain, through which the bench stores
// seal and open payloads.
inline ClipboardCryptoService& benchCrypto()
{
    static FakeKeychain keychain;
    static ClipboardCryptoService crypto(keychain);
    static const bool ready = crypto.ensureKey();
    (void)ready;
    return crypto;
}

// A new store file inside dir, sealed with the bench's key.
inline std::shared_ptr<ModelContainer> openStoreIn(const QTemporaryDir& dir)
{
    std::shared_ptr<ModelContainer> container = ModelContainer::open(dir.filePath(QStringLiteral("Quorvel.store")), nullptr);
    if (container)
        container->setSealer(benchCrypto());
    return container;
}

// Inserts the i-th entry of a bench store: a text entry, or an image entry holding imageBytes as its
// PNG and thumbnail as its preview; copied from one of appCount apps, one second after the one
// before. Saves every 250 entries.
inline void insertBenchEntry(ModelContext& context, int i, int appCount, const QString& text, bool image,
    const QByteArray& imageBytes, std::optional<QByteArray> thumbnail)
{
    static const QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    std::vector<ClipRepresentationPtr> representations {image
            ? std::make_shared<ClipRepresentation>(QStringLiteral("public.png"), 900, imageBytes)
            : std::make_shared<ClipRepresentation>(QStringLiteral("public.utf8-plain-text"), 100, text.toUtf8())};
    context.insert(std::make_shared<ClipItem>(start.addSecs(i), QStringLiteral("org.example.app%1").arg(i % appCount),
        QStringLiteral("App %1").arg(i % appCount), false, text, std::move(representations), std::nullopt, std::nullopt,
        image, false, 0, std::nullopt, std::nullopt, std::move(thumbnail), false, std::nullopt, false, std::nullopt));
    if (i % 250 == 249 && !context.save())
        std::fprintf(stderr, "save failed\n");
}

// A PNG of w x h in one colour with a line of varying colours every sixth row, so that encoding
// and decoding do real work.
inline QByteArray patternedPng(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    for (int y = 0; y < h; y += 6)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) % 255, (y * 3) % 255, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Fills a bench store with `count` entries from nine apps: texts of 200 to 2,000 characters, and
// every fifth a 1200 x 750 PNG image with a 400 x 250 thumbnail.
inline void insertHistoryEntries(ModelContext& context, int count)
{
    std::vector<QByteArray> thumbnails;
    std::vector<QByteArray> images;
    for (int i = 0; i < 16; ++i) {
        const QColor color = QColor::fromHsv(i * 22, 160, 200);
        thumbnails.push_back(patternedPng(400, 250, color));
        images.push_back(patternedPng(1200, 750, color));
    }
    QRandomGenerator random(7);
    const QString words = QStringLiteral("alpha beta gamma delta invoice meeting notes draft review Grüße Straße ");
    for (int i = 0; i < count; ++i) {
        const bool image = i % 5 == 0;
        QString text;
        if (!image) {
            const int length = 200 + int(random.bounded(1800));
            while (text.size() < length)
                text += words.mid(int(random.bounded(40)), 30);
        }
        insertBenchEntry(context, i, 9, text, image, images[size_t(i % 16)],
            image ? std::optional<QByteArray>(thumbnails[size_t(i % 16)]) : std::nullopt);
    }
}
