// SPDX-License-Identifier: MIT
// The ordered pool, the same on every system: workers take the next item
// while it lies within the slots, the calling thread finishes the items in
// order as their work is done, and a stop or an interrupt ends the work in
// flight.
#include "platform/pool.h"

#include <atomic>
#include <cstdlib>

#include "platform/os.h"
#include "platform/pool_sync.h"

struct Pool {
    const OsOrderedWork* work;
    int slots;
    PoolSync* sync;
    // Guarded by the lock:
    int next;      // the next item to start
    int finished;  // items finished so far, in order
    bool ended;    // `next` made no item: there are `next` items in all
    bool stop;
    bool* done;  // by slot: its item's work is done
};

struct OsTurn {
    Pool* pool;
    int item;
};

namespace {

// Set when a finish stops the run; read by work in progress, between blocks.
std::atomic<bool> stopping{false};

// The run goes on; the lock is held.
bool going(const Pool* pool) {
    return !pool->stop && !osInterrupted();
}

void worker(void* argument) {
    auto* pool = static_cast<Pool*>(argument);
    for (;;) {
        poolLock(pool->sync);
        while (going(pool) && !pool->ended && pool->next - pool->finished >= pool->slots)
            poolWait(pool->sync);
        if (going(pool) && !pool->ended &&
            !pool->work->next(pool->work->context, pool->next, pool->next % pool->slots)) {
            pool->ended = true;
            poolWakeAll(pool->sync);
        }
        if (!going(pool) || pool->ended) {
            poolUnlock(pool->sync);
            return;
        }
        OsTurn turn{pool, pool->next++};
        poolUnlock(pool->sync);
        pool->work->run(pool->work->context, turn.item, turn.item % pool->slots, &turn);
        poolLock(pool->sync);
        pool->done[turn.item % pool->slots] = true;
        poolWakeAll(pool->sync);
        poolUnlock(pool->sync);
    }
}

// Takes each item's result in order; after a stop or an interrupt, the
// results of items started meanwhile are discarded once every worker has
// ended, which work in progress does at its next block.
void finishInOrder(Pool* pool, PoolThread** threads, int started) {
    for (int item = 0;; ++item) {
        int slot = item % pool->slots;
        poolLock(pool->sync);
        while (!pool->done[slot] && !(pool->ended && item >= pool->next) && !osInterrupted()) {
            poolWait(pool->sync);
            if (pool->work->waiting != nullptr) {
                poolUnlock(pool->sync);
                pool->work->waiting(pool->work->context);
                poolLock(pool->sync);
            }
        }
        if (!pool->done[slot] && pool->ended && item >= pool->next) {
            poolUnlock(pool->sync);
            break;
        }
        bool take = pool->done[slot] && !osInterrupted();
        pool->done[slot] = !take && pool->done[slot];
        poolUnlock(pool->sync);
        bool on = take && pool->work->finish(pool->work->context, item, slot);
        if (!on)
            stopping = true;
        poolLock(pool->sync);
        if (take)
            pool->finished = item + 1;
        pool->stop = !on;
        poolWakeAll(pool->sync);
        poolUnlock(pool->sync);
        if (!on)
            break;
    }
    for (int i = 0; i < started; ++i)
        poolThreadJoin(threads[i]);
    for (int item = pool->finished; item < pool->next; ++item)
        pool->work->discard(pool->work->context, item, item % pool->slots);
}

void runHere(const OsOrderedWork& work) {
    for (int item = 0; !osStopRequested() && work.next(work.context, item, 0); ++item) {
        work.run(work.context, item, 0, nullptr);
        if (!work.finish(work.context, item, 0)) {
            stopping = true;
            return;
        }
    }
}

}  // namespace

bool osAwaitTurn(OsTurn* turn) {
    if (turn == nullptr)
        return !osStopRequested();
    Pool* pool = turn->pool;
    poolLock(pool->sync);
    while (going(pool) && pool->finished < turn->item)
        poolWait(pool->sync);
    bool on = going(pool);
    poolUnlock(pool->sync);
    return on;
}

bool osStopRequested() {
    return stopping.load(std::memory_order_relaxed) || osInterrupted();
}

void osRunInOrder(const OsOrderedWork& work, int most, int threads, int slots) {
    stopping = false;
    threads = threads < most ? threads : most;
    threads = threads < OsMostThreads ? threads : OsMostThreads;
    slots = slots > threads ? slots : threads;
    Pool pool{&work, slots, threads > 1 ? poolSyncNew() : nullptr, 0, 0, false, false, nullptr};
    pool.done = pool.sync != nullptr ? static_cast<bool*>(std::calloc(static_cast<std::size_t>(slots), sizeof(bool)))
                                     : nullptr;
    PoolThread* started[OsMostThreads];
    int running = 0;
    for (; pool.done != nullptr && running < threads; ++running)
        if ((started[running] = poolThreadStart(worker, &pool)) == nullptr)
            break;
    if (running == 0)
        runHere(work);
    else
        finishInOrder(&pool, started, running);
    std::free(pool.done);
    if (pool.sync != nullptr)
        poolSyncFree(pool.sync);
}
