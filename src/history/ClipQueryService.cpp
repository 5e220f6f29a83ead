#include "history/ClipQueryService.h"

#include "platform/Background.h"
#include "platform/Console.h"
#include "store/ModelContext.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// Below this many sealed bytes the snapshots are built in place: handing work out would cost more.
constexpr qsizetype parallelThreshold = 512 * 1024;
constexpr int maxHelpers = 3;

qsizetype sealedSize(const ClipItem& item)
{
    return item.encryptedSearchIndex ? item.encryptedSearchIndex->size() : item.legacySearchIndex.size();
}

int helperCount()
{
    return std::min(maxHelpers, std::max(0, Background::pool().maxThreadCount() - 1));
}

// Builds view models from entries handed in one by one (in list order). Once enough sealed text
// has come in, helpers on the shared pool take entries as they arrive, so opening seals overlaps
// with reading the rows that follow; at the end the caller builds what is left itself and waits
// for the helpers still at work. A helper the pool starts late finds nothing left and returns.
class SnapshotPipeline {
public:
    void add(const ClipItemPtr& item)
    {
        {
            std::lock_guard lock(m_state->mutex);
            m_state->items.push_back(item);
            m_state->models.emplace_back();
        }
        m_pendingBytes += sealedSize(*item);
        if (!m_helpersStarted && m_pendingBytes >= parallelThreshold) {
            m_helpersStarted = true;
            for (int h = 0; h < helperCount(); ++h)
                Background::run([state = m_state] { state->help(); });
        }
        m_state->wake.notify_one();
    }

    std::vector<ClipItemViewModelPtr> finish()
    {
        State& state = *m_state;
        std::unique_lock lock(state.mutex);
        state.done = true;
        state.wake.notify_all();
        while (state.next < state.items.size()) {
            const size_t index = state.next++;
            const ClipItemPtr item = state.items[index];
            lock.unlock();
            ClipItemViewModelPtr model = std::make_shared<ClipItemViewModel>(item);
            lock.lock();
            state.models[index] = std::move(model);
        }
        state.idle.wait(lock, [&] { return state.running == 0; });
        return std::move(state.models);
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        std::vector<ClipItemPtr> items;           // guarded by mutex
        std::vector<ClipItemViewModelPtr> models; // guarded by mutex
        size_t next = 0;                          // guarded by mutex
        bool done = false;                        // guarded by mutex
        int running = 0;                          // guarded by mutex

        void help()
        {
            std::unique_lock lock(mutex);
            if (done && next >= items.size())
                return;
            ++running;
            for (;;) {
                wake.wait(lock, [&] { return next < items.size() || done; });
                if (next >= items.size())
                    break;
                const size_t index = next++;
                const ClipItemPtr item = items[index];
                lock.unlock();
                ClipItemViewModelPtr model = std::make_shared<ClipItemViewModel>(item);
                lock.lock();
                models[index] = std::move(model);
            }
            --running;
            idle.notify_all();
        }
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
    qsizetype m_pendingBytes = 0;
    bool m_helpersStarted = false;
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
