#pragma once
// Splits a job over a few threads of the shared pool, for the image work of the annotation layers.
#include "platform/Background.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

// Runs body(begin, end) over [0, count) in contiguous chunks on up to four threads of the shared
// pool, the calling one included; small jobs (count × work per item below 2^18) stay on the calling
// thread. Chunks are claimed from a counter: the caller works through whatever the pool has not
// started, so it never waits for a task still queued (also when it runs on the pool itself).
template <typename Body> inline void parallelFor(int count, std::size_t workPerItem, const Body& body)
{
    const int cores = std::max(1, QThread::idealThreadCount());
    int threads = std::min({4, cores, count});
    if (static_cast<std::size_t>(count) * workPerItem < (std::size_t(1) << 18))
        threads = 1;
    if (threads <= 1) {
        if (count > 0)
            body(0, count);
        return;
    }
    struct Shared {
        std::atomic<int> next {0};
        std::atomic<int> done {0};
        std::mutex mutex;
        std::condition_variable finished;
    };
    const int chunk = (count + threads - 1) / threads;
    const int chunks = (count + chunk - 1) / chunk;
    auto shared = std::make_shared<Shared>();
    // Tasks that start after the last chunk was claimed find nothing to do; they hold the state
    // but never touch `body`, which lives only until this call returns.
    auto work = [shared, chunks, chunk, count](const Body* run) {
        for (int i = shared->next++; i < chunks; i = shared->next++) {
            (*run)(i * chunk, std::min(count, (i + 1) * chunk));
            if (++shared->done == chunks) {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->finished.notify_all();
            }
        }
    };
    for (int t = 1; t < threads; ++t)
        Background::run([work, &body] { work(&body); });
    work(&body);
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->finished.wait(lock, [&] { return shared->done.load() == chunks; });
}
