// SPDX-License-Identifier: MIT
// Loading a title by the name it was given: a file, standard input ("-"),
// or a folder holding a title's files; under /v, verified too.
#pragma once

#include "platform/os.h"
#include "platform/pool.h"
#include "titlefiles/failure.h"
#include "titlefiles/keyset.h"
#include "titlefiles/loader.h"

// Loads `name` into `title` (zero it first). With `keys`, the title is
// verified too. A stream (standard input, a FIFO, a device) is read only
// in its `turn` (null: now). Every file is closed on return; on failure
// every buffer is released already, and the failure says why.
Failure loadTitle(LoadedTitle* title, const PathChar* name, const KeySet* keys = nullptr, OsTurn* turn = nullptr);

// Releases what a successful loadTitle holds. Safe on a failed or zeroed one.
void releaseTitle(LoadedTitle* title);
