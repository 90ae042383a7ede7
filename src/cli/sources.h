// SPDX-License-Identifier: MIT
// The files a run reports, in order: each argument as it stands and,
// under /r, what the walk over a folder among them yields in its place.
#pragma once

#include "cli/walk.h"
#include "platform/os.h"
#include "titlefiles/failure.h"

// One file of the run, or the failure of a walk in its place.
struct FileItem {
    const PathChar* name;  // as it is shown: the argument, or a path the walk made
    PathChar* owned;       // that path (osAlloc), when it is one
    Failure failure;       // a folder that could not be walked, or one without a title
    int osError;
};

struct FileSource {
    PathChar** args;
    int count;
    int next;        // the next argument
    bool walks;      // /r: folders that are no title folders are walked
    bool verifying;  // /v: a walk that finds no title is a failure
    bool walking;
    Walk walk;
    const PathChar* walked;  // the argument being walked
    unsigned yielded;        // items the walk has given
    unsigned walkedFolders;  // arguments walked
    unsigned skipped;        // entries the walks passed over
};

void startFileSource(FileSource* source, PathChar** args, int count, bool walks, bool verifying);

// The next file into `item`, whose previous path it frees; false when
// there are no more.
bool nextFileItem(FileSource* source, FileItem* item);

void releaseFileItem(FileItem* item);
void endFileSource(FileSource* source);
