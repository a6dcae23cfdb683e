// The one pool of worker threads that objects and frames are analysed on: each worker steps
// with a scratch of its own, kept from one batch to the next.
#pragma once

#include "kontur.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace orvik {

class WorkerPool {
public:
    // `threads` workers (at least one), never more than a batch has items.
    explicit WorkerPool(int threads);

    // Calls work(i, scratch) once for every i below `count`, each worker taking the next item
    // not yet taken, and returns when all are done. The calling thread only waits, so the
    // engine binding it holds (the window's) stays as it is; `progress`, if set, hears on the
    // calling thread how many are done. Items must be independent: the order in which they
    // finish changes nothing in their results. `stopped`, if set, is asked on the calling
    // thread after each report and every 50 ms; once it says yes, no item is begun any more,
    // and run returns when those at work are done. Returns whether every item was done.
    bool run(std::size_t count, const std::function<void(std::size_t i, StepScratch&)>& work,
             const std::function<void(std::size_t done)>& progress = {},
             const std::function<bool()>& stopped = {});

private:
    std::vector<StepScratch> scratch_;
};

// For work that needs no scratch: calls work(i) once for every i below `count` on up to
// `threads` threads, the calling thread among them (alone for one item or one thread), and
// returns when all are done. An exception in an item stops the items not yet begun and is
// thrown again here.
void forEachItem(std::size_t count, int threads, const std::function<void(std::size_t i)>& work);

} // namespace orvik
