// SPDX-License-Identifier: MIT
// Work on several files at once: the OS layer's threads, behind one call
// that runs numbered items on a pool of them and hands each result back,
// in the items' order, on the calling thread. The layers above never see
// a thread, a lock or an #ifdef.
#pragma once

// How many threads the process may run at once: the processors its
// affinity allows, on Windows the active ones; at least 1.
int osProcessorCount();

// Items 0 to count - 1. `run` does an item's work, on any thread, into
// the slot given (slots are reused once an item is finished); `finish`
// takes its result on the calling thread, in the items' order, and
// returns false to stop: no item is started after that, and `discard`
// takes the result of each item run but not finished.
struct OsOrderedWork {
    void* context;
    void (*run)(void* context, int item, int slot);
    bool (*finish)(void* context, int item, int slot);
    void (*discard)(void* context, int item, int slot);
};

// Runs the items on `threads` threads, at most `slots` items ahead of the
// oldest not yet finished (slots >= threads). With one thread, or when no
// thread can be started, every item runs and finishes on the calling
// thread, one after the other.
void osRunInOrder(const OsOrderedWork& work, int count, int threads, int slots);
