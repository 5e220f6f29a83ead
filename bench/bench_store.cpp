// The store under list-sized loads: inserting 10,000 entries of two representations (one save
// per entry, as the clipboard monitor does) and fetching the newest 500 list rows out of 10,000.
// Baselines in the same run: raw SQLite doing the same inserts (without sealing) and the same
// SELECT reading every column without building model objects. The aim for the fetch is < 20 ms.
#include "BenchSupport.h"
#include "platform/PasteboardTypes.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <sqlite3.h>
#include <string>

namespace {

constexpr int entryCount = 10000;
constexpr int listLimit = 500;
const QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

QString textFor(int i)
{
    return QStringLiteral("Clipboard entry number %1 with some ordinary text that a user copied from an editor").arg(i);
}

// Every tenth entry is an image entry with a 20 KB thumbnail, like a mixed history.
ClipItemPtr makeEntry(int i)
{
    const QString text = textFor(i);
    std::vector<ClipRepresentationPtr> representations {
        std::make_shared<ClipRepresentation>(PasteboardTypes::utf8PlainText, 100, text.toUtf8()),
        std::make_shared<ClipRepresentation>(PasteboardTypes::html, 400, ("<p><b>" + text + "</b></p>").toUtf8()),
    };
    std::optional<QByteArray> thumbnail;
    if (i % 10 == 0)
        thumbnail = QByteArray(20 * 1024, char(i));
    return std::make_shared<ClipItem>(start.addSecs(i), QStringLiteral("org.example.editor"), QStringLiteral("Editor"),
        false, text, std::move(representations), std::nullopt, std::nullopt, thumbnail.has_value(), false, 0,
        std::nullopt, std::nullopt, thumbnail, false, std::nullopt, false, std::nullopt);
}

void BM_StoreInsert10000(benchmark::State& state)
{
    benchCrypto();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        std::shared_ptr<ModelContainer> container = openStoreIn(dir);
        ModelContext& context = container->mainContext();
        state.ResumeTiming();
        for (int i = 0; i < entryCount; ++i) {
            context.insert(makeEntry(i));
            if (!context.save())
                state.SkipWithError("save failed");
        }
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
}

void BM_RawSQLiteInsert10000(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        std::shared_ptr<ModelContainer> container = openStoreIn(dir);
        sqlite3* db = nullptr;
        sqlite3_open(container->path().toUtf8().constData(), &db);
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        sqlite3_stmt* item = nullptr;
        sqlite3_stmt* representation = nullptr;
        sqlite3_prepare_v2(db,
            "INSERT INTO ClipItem (timestamp, appBundleID, appName, encryptedSearchIndex, searchPrefixHash, "
            "thumbnailData, "
            "cachedHasImage) VALUES (?, ?, ?, ?, ?, ?, ?)",
            -1, &item, nullptr);
        sqlite3_prepare_v2(db,
            "INSERT INTO ClipRepresentation (typeUTI, priority, encryptedData, clipItem) VALUES (?, ?, ?, ?)", -1,
            &representation, nullptr);
        const std::string hash(64, 'a');
        state.ResumeTiming();
        for (int i = 0; i < entryCount; ++i) {
            const QByteArray text = textFor(i).toUtf8();
            const QByteArray html = "<p><b>" + text + "</b></p>";
            const QByteArray thumbnail = i % 10 == 0 ? QByteArray(20 * 1024, char(i)) : QByteArray();
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            sqlite3_bind_int64(item, 1, start.addSecs(i).toMSecsSinceEpoch());
            sqlite3_bind_text(item, 2, "org.example.editor", -1, SQLITE_STATIC);
            sqlite3_bind_text(item, 3, "Editor", -1, SQLITE_STATIC);
            sqlite3_bind_blob(item, 4, text.constData(), text.size() + 28, SQLITE_TRANSIENT);
            sqlite3_bind_text(item, 5, hash.c_str(), 64, SQLITE_STATIC);
            if (thumbnail.isEmpty())
                sqlite3_bind_null(item, 6);
            else
                sqlite3_bind_blob(item, 6, thumbnail.constData(), thumbnail.size(), SQLITE_STATIC);
            sqlite3_bind_int(item, 7, thumbnail.isEmpty() ? 0 : 1);
            sqlite3_step(item);
            sqlite3_reset(item);
            const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
            for (const QByteArray& payload : {text, html}) {
                sqlite3_bind_text(representation, 1, "public.html", -1, SQLITE_STATIC);
                sqlite3_bind_int(representation, 2, 400);
                sqlite3_bind_blob(representation, 3, payload.constData(), payload.size(), SQLITE_STATIC);
                sqlite3_bind_int64(representation, 4, id);
                sqlite3_step(representation);
                sqlite3_reset(representation);
            }
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        state.PauseTiming();
        sqlite3_finalize(item);
        sqlite3_finalize(representation);
        sqlite3_close(db);
        container.reset();
        state.ResumeTiming();
    }
}

// One store of 10,000 entries shared by the fetch benchmarks.
struct FilledStore {
    FilledStore()
    {
        benchCrypto();
        container = openStoreIn(dir);
        ModelContext& context = container->mainContext();
        for (int i = 0; i < entryCount; ++i)
            context.insert(makeEntry(i));
        context.save();
    }
    QTemporaryDir dir;
    std::shared_ptr<ModelContainer> container;
};

FilledStore& filledStore()
{
    static FilledStore store;
    return store;
}

void BM_FetchNewest500(benchmark::State& state)
{
    ModelContext& context = filledStore().container->mainContext();
    FetchDescriptor newest;
    newest.limit = listLimit;
    for (auto _ : state) {
        std::vector<ClipItemPtr> items = context.fetchClipItems(newest);
        if (items.size() != size_t(listLimit))
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(items.data());
    }
}

void BM_RawSQLiteSelectNewest500(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open(filledStore().container->path().toUtf8().constData(), &db);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db,
        "SELECT id, timestamp, appBundleID, appName, isPinned, searchIndex, encryptedSearchIndex, searchPrefixHash, "
        "linkTitle, "
        "linkImageData, cachedHasImage, cachedHasFCPContent, cachedFCPClipCount, cachedFCPClipName, cachedFCPDuration, "
        "cachedIsFileCopy, cachedFileName, cachedIsVideo, cachedFileURL, thumbnailData FROM ClipItem "
        "ORDER BY timestamp DESC, id DESC LIMIT 500",
        -1, &select, nullptr);
    for (auto _ : state) {
        std::vector<std::vector<QByteArray>> rows;
        rows.reserve(listLimit);
        while (sqlite3_step(select) == SQLITE_ROW) {
            std::vector<QByteArray> row;
            row.reserve(20);
            for (int c = 0; c < 20; ++c) {
                const int length = sqlite3_column_bytes(select, c);
                row.emplace_back(static_cast<const char*>(sqlite3_column_blob(select, c)), length);
            }
            rows.push_back(std::move(row));
        }
        sqlite3_reset(select);
        benchmark::DoNotOptimize(rows.data());
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
}

BENCHMARK(BM_StoreInsert10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RawSQLiteInsert10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FetchNewest500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSQLiteSelectNewest500)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto report = [&](const char* name, const char* baseline, const char* what) {
        const auto ours = reporter.times.find(name);
        const auto raw = reporter.times.find(baseline);
        if (ours == reporter.times.end() || raw == reporter.times.end())
            return;
        std::printf("%s: %.2f ms (raw SQLite %.2f ms, ratio raw/store = %.3f)\n", what, ours->second, raw->second,
            raw->second / ours->second);
    };
    report("BM_StoreInsert10000/iterations:2", "BM_RawSQLiteInsert10000/iterations:2",
        "inserting 10,000 entries of two representations");
    report("BM_FetchNewest500", "BM_RawSQLiteSelectNewest500",
        "fetching the newest 500 list rows of 10,000 (aim < 20 ms)");
    benchmark::Shutdown();
    return 0;
}
