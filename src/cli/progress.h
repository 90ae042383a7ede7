// SPDX-License-Identifier: MIT
// The status line a long verifying run keeps on a terminal: how many files
// are done of how many, and how many bytes, on standard error, redrawn at
// most ten times a second once the run has gone on for a second, and
// erased before anything else is written.
#pragma once

#include <cstdint>

#include "platform/os.h"

// Starts the line for a run over `count` arguments (a walk among them when
// `walking`, whose files are not known ahead), when `on`: under /v, with
// standard error a terminal.
void startProgress(bool on, PathChar* const* args, int count, bool walking);

// The file `name` has been reported.
void progressReported(const PathChar* name);

// Redraws the line when it is due.
void progressTick();

// Erases the line for good.
void endProgress();
