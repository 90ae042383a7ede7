// SPDX-License-Identifier: MIT
// Walking a folder named under /r: its entries in byte order of their
// names, depth first, a sub-folder walked where it falls in that order.
// What it yields is a title to report (a file named .wad, .tik or .tmd in
// any case, or a title folder) or a folder that cannot be read; every
// other entry is passed over and counted. Links to folders are never
// followed, so a walk cannot go round in a loop; memory holds the
// listings along the current path, never the tree.
#pragma once

#include <cstddef>

#include "platform/os.h"

// An entry kept: where its name starts in its level's names, and whether
// it is a folder (else a file to report).
struct WalkEntry {
    std::size_t name;
    bool folder;
};

// One folder of the current path: its entries kept, sorted.
struct WalkLevel {
    PathChar* path;        // the folder as it is shown (osAlloc)
    PathChar* names;       // the entries' names, each terminated, back to back (osAlloc)
    std::size_t used;      // of `names`
    std::size_t room;      // of `names`
    WalkEntry* entries;    // in byte order of their names, once listed (osAlloc)
    std::size_t count;
    std::size_t entryRoom;
    std::size_t next;      // the next entry to look at
};

struct Walk {
    WalkLevel* levels;  // osAlloc
    int depth;
    int room;
    unsigned skipped;  // entries passed over
};

enum class WalkStep { Title, Unreadable, End, NoMemory };

// Starts a walk over the folder `root` by listing it: Title when it was
// listed, Unreadable with the system's error in `*error`, or NoMemory.
WalkStep startWalk(Walk* walk, const PathChar* root, int* error);

// The next title below the root, or the next folder that cannot be read
// (its system error in `*error`), as a path made of the root and the
// names below it (osAlloc, the caller's to free) in `*path`; with
// NoMemory the path, when made, is the caller's too.
WalkStep nextInWalk(Walk* walk, PathChar** path, int* error);

void endWalk(Walk* walk);
