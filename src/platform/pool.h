// SPDX-License-Identifier: MIT
// Work on several files at once: the OS layer's threads, behind one call
// that runs numbered items on a pool of them and hands each result back,
// in the items' order, on the calling thread. The layers above never see
// a thread, a lock or an #ifdef.
#pragma once

// The most threads a run starts, whatever it asks for.
inline constexpr int OsMostThreads = 256;

// How many threads the process may run at once: the processors its
// affinity allows, on Windows the active ones; at least 1.
int osProcessorCount();

// An item's place in the order, handed to its work: an item that may only
// be worked on once every earlier one is finished (a stream, which must
// not be read beside another, nor before the run knows it goes on) waits
// for its turn with osAwaitTurn. Null on the calling thread, where every
// item's turn has come when it runs.
struct OsTurn;

// Waits until every item before this one is finished. False when the run
// is stopping instead: its work should end at once.
bool osAwaitTurn(OsTurn* turn);

// Whether the run is stopping: a `finish` returned false, or an interrupt
// came (osInterrupted). Work in progress looks at it between blocks.
bool osStopRequested();

// Items 0, 1, ... for as long as `next` makes one ready: it is asked for
// each item in order, one at a time, on any thread, and puts what the item
// is into its slot. `run` does an item's work, on any thread, into the
// slot given (slots are reused once an item is finished); `finish`
// takes its result on the calling thread, in the items' order, and
// returns false to stop: no item is started after that, work in progress
// sees osStopRequested, and `discard` takes the result of each item run
// but not finished. An interrupt stops the run the same way, before the
// next `finish`.
struct OsOrderedWork {
    void* context;
    bool (*next)(void* context, int item, int slot);
    void (*run)(void* context, int item, int slot, OsTurn* turn);
    bool (*finish)(void* context, int item, int slot);
    void (*discard)(void* context, int item, int slot);
    // Called on the calling thread every moment it waits for an item's
    // work (null: nothing to do then).
    void (*waiting)(void* context);
};

// Runs the items on `threads` threads (at most OsMostThreads, and no more
// than the `most` items there can be), at most `slots` items ahead of the
// oldest not yet finished (slots >= threads). With one thread, or when no
// thread can be started, every item runs and finishes on the calling
// thread, one after the other.
void osRunInOrder(const OsOrderedWork& work, int most, int threads, int slots);
