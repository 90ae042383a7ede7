// SPDX-License-Identifier: MIT
// The run driver: options, help text, the file loop, error messages and
// the exit code.
#pragma once

#include "platform/os.h"
#include "titlefiles/loader.h"

// Runs the tool once over argv; returns the process exit code. Options in
// argv are blanked in place. `expanded`, when given, marks the arguments
// the entry code made from wildcard patterns: file names, never options.
int runMain(int argc, PathChar** argv, const bool* expanded = nullptr);

// Why a file could not be reported, or, under /v, the verdict on one that was.
struct LoadFailure {
    LoadCause cause;
    int osError;
    Verdict verdict;
    char reason[OsCryptoReasonRoom];  // the cryptography library's, when it failed
};

// Loads currentFileName (verifying it under /v), decodes it and renders it
// in the output form the options chose; releases what it loaded. Prints
// nothing on failure, but says why in `*failure` when given, and there
// too the verdict on a file reported under /v.
LoadStatus loadAndReport(LoadFailure* failure = nullptr);

// The same for a title loaded already, with the status its load returned:
// renders it (and releases it) or says why it failed.
LoadStatus reportLoaded(LoadedTitle* title, LoadStatus status, LoadFailure* failure);
