#include "history/ClipQueryService.h"

#include "platform/Console.h"
#include "store/ModelContext.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Below this many sealed bytes the snapshots are built in place: starting threads would cost more.
constexpr qsizetype parallelThreshold = 512 * 1024;
constexpr unsigned maxWorkers = 4;

}

std::vector<ClipItemViewModelPtr> ClipQueryService::makeViewModels(const std::vector<ClipItemPtr>& items)
{
    qsizetype sealedBytes = 0;
    for (const ClipItemPtr& item : items)
        sealedBytes += item->encryptedSearchIndex ? item->encryptedSearchIndex->size() : item->legacySearchIndex.size();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers = std::min({maxWorkers, cores, unsigned(items.size())});
    if (sealedBytes < parallelThreshold || workers < 2)
        return toViewModels(items);

    // The entries are only read while the workers run; the caller waits for all of them.
    std::vector<ClipItemViewModelPtr> models(items.size());
    std::atomic<size_t> next {0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < items.size();)
            models[i] = std::make_shared<ClipItemViewModel>(items[i]);
    };
    std::vector<std::jthread> threads;
    threads.reserve(workers);
    for (unsigned w = 0; w < workers; ++w)
        threads.emplace_back(work);
    threads.clear(); // joins
    return models;
}

std::vector<ClipItemViewModelPtr> ClipQueryService::fetchRecentViewModels(ModelContext& context, int limit)
{
    FetchDescriptor descriptor;
    descriptor.sortBy = QStringLiteral("timestamp");
    descriptor.ascending = false;
    descriptor.limit = std::max(0, limit);
    QString error;
    const std::vector<ClipItemPtr> items = context.fetchClipItems(descriptor, &error);
    if (items.empty() && !error.isEmpty()) {
        Console::log(QStringLiteral("Failed to fetch clip items: ") + error);
        return {};
    }
    return makeViewModels(items);
}
