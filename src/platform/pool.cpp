// SPDX-License-Identifier: MIT
// The ordered pool, the same on every system: workers take the next item
// while it lies within the slots, the calling thread finishes the items in
// order as their work is done.
#include "platform/pool.h"

#include <cstdlib>

#include "platform/pool_sync.h"

namespace {

constexpr int MostThreads = 256;

struct Pool {
    const OsOrderedWork* work;
    int count;
    int slots;
    PoolSync* sync;
    // Guarded by the lock:
    int next;      // the next item to start
    int finished;  // items finished so far, in order
    bool stop;
    bool* done;  // by slot: its item's work is done
};

void worker(void* argument) {
    auto* pool = static_cast<Pool*>(argument);
    for (;;) {
        poolLock(pool->sync);
        while (!pool->stop && pool->next < pool->count && pool->next - pool->finished >= pool->slots)
            poolWait(pool->sync);
        if (pool->stop || pool->next >= pool->count) {
            poolUnlock(pool->sync);
            return;
        }
        int item = pool->next++;
        poolUnlock(pool->sync);
        pool->work->run(pool->work->context, item, item % pool->slots);
        poolLock(pool->sync);
        pool->done[item % pool->slots] = true;
        poolWakeAll(pool->sync);
        poolUnlock(pool->sync);
    }
}

// Takes each item's result in order; after a stop, the results of items
// started meanwhile are discarded once every worker has ended.
void finishInOrder(Pool* pool, PoolThread** threads, int started) {
    int item = 0;
    for (bool going = true; going && item < pool->count; ++item) {
        int slot = item % pool->slots;
        poolLock(pool->sync);
        while (!pool->done[slot])
            poolWait(pool->sync);
        pool->done[slot] = false;
        poolUnlock(pool->sync);
        going = pool->work->finish(pool->work->context, item, slot);
        poolLock(pool->sync);
        pool->finished = item + 1;
        pool->stop = !going;
        poolWakeAll(pool->sync);
        poolUnlock(pool->sync);
    }
    for (int i = 0; i < started; ++i)
        poolThreadJoin(threads[i]);
    for (; item < pool->next; ++item)
        pool->work->discard(pool->work->context, item, item % pool->slots);
}

void runHere(const OsOrderedWork& work, int count) {
    for (int item = 0; item < count; ++item) {
        work.run(work.context, item, 0);
        if (!work.finish(work.context, item, 0))
            return;
    }
}

}  // namespace

void osRunInOrder(const OsOrderedWork& work, int count, int threads, int slots) {
    threads = threads < count ? threads : count;
    threads = threads < MostThreads ? threads : MostThreads;
    slots = slots > threads ? slots : threads;
    Pool pool{&work, count, slots, threads > 1 ? poolSyncNew() : nullptr, 0, 0, false, nullptr};
    pool.done = pool.sync != nullptr ? static_cast<bool*>(std::calloc(static_cast<std::size_t>(slots), sizeof(bool)))
                                     : nullptr;
    PoolThread* started[MostThreads];
    int running = 0;
    for (; pool.done != nullptr && running < threads; ++running)
        if ((started[running] = poolThreadStart(worker, &pool)) == nullptr)
            break;
    if (running == 0)
        runHere(work, count);
    else
        finishInOrder(&pool, started, running);
    std::free(pool.done);
    if (pool.sync != nullptr)
        poolSyncFree(pool.sync);
}
