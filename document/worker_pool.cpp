// Worker threads over a batch of independent items, with progress on the calling thread.
#include "document/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvik {

WorkerPool::WorkerPool(int threads) : scratch_(static_cast<std::size_t>(std::max(threads, 1))) {}

void WorkerPool::run(std::size_t count, const std::function<void(std::size_t, StepScratch&)>& work,
                     const std::function<void(std::size_t)>& progress) {
    if (count == 0) return;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    const auto worker = [&](StepScratch& scratch) {
        for (std::size_t i = next++; i < count; i = next++) {
            work(i, scratch);
            const std::lock_guard lock(mutex);
            ++done;
            finished.notify_one();
        }
    };
    const std::size_t workers = std::min(scratch_.size(), count);
    std::vector<std::jthread> pool;
    for (std::size_t w = 0; w < workers; ++w)
        pool.emplace_back(worker, std::ref(scratch_[w]));
    if (!progress) return; // the threads join as the pool goes
    std::unique_lock lock(mutex);
    for (std::size_t reported = 0; reported < count;) {
        finished.wait(lock, [&] { return done > reported; });
        reported = done;
        lock.unlock();
        progress(reported);
        lock.lock();
    }
}

} // namespace orvik
