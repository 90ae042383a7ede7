// SPDX-License-Identifier: MIT
// The run driver: options, help text, the file loop, error messages and
// the exit code.
#pragma once

#include "platform/os.h"
#include "titlefiles/facts.h"
#include "titlefiles/failure.h"
#include "titlefiles/loader.h"

// Runs the tool once over argv; returns the process exit code. Options in
// argv are blanked in place. `expanded`, when given, marks the arguments
// the entry code made from wildcard patterns: file names, never options.
int runMain(int argc, PathChar** argv, const bool* expanded = nullptr);

// Whether the options ask for folders to be walked (/r), so that the entry
// code lets a wildcard match folders too.
bool walksFolders(int argc, PathChar* const* argv);

// Why a file could not be reported, or, under /v, the verdict on one that was.
struct LoadFailure {
    Failure failure;
    int osError;
    Verdict verdict;
    std::uint16_t contentsLacking;  // of a title reported without /v
    char reason[OsCryptoReasonRoom];  // the cryptography library's, when it failed
};

// A file of the run as its load left it: loaded on a pool thread ahead of
// its report, or just before it on this one.
struct LoadedFile {
    LoadedTitle title;
    Failure failure;
};

// Reports currentFileName's file as its load left it: decodes the title,
// renders it in the output form the options chose and releases it. Prints
// nothing on failure, but says why in `*failure`, and there too the
// verdict on a file reported under /v.
Failure loadAndReport(LoadedFile* file, LoadFailure* failure);
