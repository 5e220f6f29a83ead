#include "history/ClipQueryService.h"

#include "platform/Console.h"
#include "store/ModelContext.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Below this many sealed bytes the snapshots are built in place: starting threads would cost more.
constexpr qsizetype parallelThreshold = 512 * 1024;
constexpr unsigned maxWorkers = 4;

qsizetype sealedSize(const ClipItem& item)
{
    return item.encryptedSearchIndex ? item.encryptedSearchIndex->size() : item.legacySearchIndex.size();
}

unsigned workerCount()
{
    return std::min(maxWorkers, std::max(1u, std::thread::hardware_concurrency()));
}

// Builds view models on worker threads from entries handed in one by one (in list order). Once
// enough sealed text has come in, workers start and take entries as they arrive, so opening seals
// overlaps with reading the rows that follow. The entries are only read while workers run.
class SnapshotPipeline {
public:
    ~SnapshotPipeline() { finish(); }

    void add(const ClipItemPtr& item)
    {
        {
            std::lock_guard lock(m_mutex);
            m_items.push_back(item);
            m_models.emplace_back();
        }
        m_pendingBytes += sealedSize(*item);
        if (m_workers.empty() && m_pendingBytes >= parallelThreshold && workerCount() > 1) {
            for (unsigned w = 0; w < workerCount(); ++w)
                m_workers.emplace_back([this] { work(); });
        }
        m_wake.notify_one();
    }

    // Waits for the workers (or builds in place when none started) and gives the list in order.
    std::vector<ClipItemViewModelPtr> finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_workers.clear(); // joins
        for (size_t i = m_next; i < m_items.size(); ++i)
            m_models[i] = std::make_shared<ClipItemViewModel>(m_items[i]);
        m_next = m_items.size();
        return std::move(m_models);
    }

private:
    void work()
    {
        for (;;) {
            size_t index;
            ClipItemPtr item;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_next < m_items.size() || m_done; });
                if (m_next >= m_items.size())
                    return;
                index = m_next++;
                item = m_items[index];
            }
            ClipItemViewModelPtr model = std::make_shared<ClipItemViewModel>(item);
            std::lock_guard lock(m_mutex);
            m_models[index] = std::move(model);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<ClipItemPtr> m_items;           // guarded by m_mutex
    std::vector<ClipItemViewModelPtr> m_models; // guarded by m_mutex while workers run
    size_t m_next = 0;                          // guarded by m_mutex
    bool m_done = false;                        // guarded by m_mutex
    qsizetype m_pendingBytes = 0;
    std::vector<std::jthread> m_workers;
};

}

std::vector<ClipItemViewModelPtr> ClipQueryService::makeViewModels(const std::vector<ClipItemPtr>& items)
{
    SnapshotPipeline pipeline;
    for (const ClipItemPtr& item : items)
        pipeline.add(item);
    return pipeline.finish();
}

std::vector<ClipItemViewModelPtr> ClipQueryService::fetchRecentViewModels(ModelContext& context, int limit)
{
    FetchDescriptor descriptor;
    descriptor.sortBy = QStringLiteral("timestamp");
    descriptor.ascending = false;
    descriptor.limit = std::max(0, limit);
    QString error;
    SnapshotPipeline pipeline;
    const std::vector<ClipItemPtr> items = context.fetchClipItems(
        descriptor, &error, [&](const ClipItemPtr& item) { pipeline.add(item); });
    std::vector<ClipItemViewModelPtr> models = pipeline.finish();
    if (items.empty() && !error.isEmpty()) {
        Console::log(QStringLiteral("Failed to fetch clip items: ") + error);
        return {};
    }
    return models;
}
