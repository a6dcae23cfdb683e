// Worker threads over a batch of independent items, with progress on the calling thread.
#include "document/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace orvik {

WorkerPool::WorkerPool(int threads) : scratch_(static_cast<std::size_t>(std::max(threads, 1))) {}

bool WorkerPool::run(std::size_t count, const std::function<void(std::size_t, StepScratch&)>& work,
                     const std::function<void(std::size_t)>& progress,
                     const std::function<bool()>& stopped) {
    if (count == 0) return true;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    const auto worker = [&](StepScratch& scratch) {
        for (std::size_t i = next++; i < count && !stop; i = next++) {
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
    if (!progress && !stopped) return true; // the threads join as the pool goes
    std::unique_lock lock(mutex);
    for (std::size_t reported = 0; reported < count && !stop;) {
        if (stopped)
            finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done > reported; });
        else
            finished.wait(lock, [&] { return done > reported; });
        const bool more = done > reported;
        reported = done;
        lock.unlock();
        if (more && progress) progress(reported);
        if (stopped && reported < count && stopped()) stop = true;
        lock.lock();
    }
    lock.unlock();
    pool.clear(); // the workers at work finish their item
    return done == count;
}

void forEachItem(std::size_t count, int threads, const std::function<void(std::size_t)>& work) {
    const std::size_t workers = std::min(count, static_cast<std::size_t>(std::max(threads, 1)));
    if (workers <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            work(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::exception_ptr failure; // the first item that threw (no memory)
    const auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
                next = count;
            }
        }
    };
    {
        std::vector<std::jthread> pool;
        for (std::size_t w = 1; w < workers; ++w)
            pool.emplace_back(worker);
        worker();
    } // the other threads join here
    if (failure) std::rethrow_exception(failure);
}

} // namespace orvik
