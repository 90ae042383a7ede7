// SPDX-License-Identifier: MIT
// The process-wide run state: the option flags and the name of the file
// being reported. Written by the option parser and the run driver (the
// name only by the thread that writes the reports), read by the reports.
#pragma once

#include <cstdint>

#include "platform/os.h"

struct RunOptions {
    std::uint16_t waitForKey;
    std::uint16_t helpRequested;
    std::uint16_t filesGiven;
    std::uint16_t versionRequested;
    std::uint16_t keepGoing;   // a failing file does not end the run
    std::uint16_t jsonOutput;  // one JSON object a line per file
    std::uint16_t verify;      // check signatures, the ticket and the contents
    std::uint16_t lineOutput;  // one line a file instead of its report
    std::uint16_t recursive;   // walk the folders named that are no title folders
};

inline constexpr RunOptions DefaultRunOptions = {1, 0, 0, 0, 0, 0, 0, 0, 0};

extern RunOptions runOptions;

// Points into the argument vector, which outlives the run; owns nothing.
extern const PathChar* currentFileName;

// The key folder --keys named, or null; points into the argument vector.
extern const PathChar* keyFolder;

// What --jobs gave, or null; points into the argument vector.
extern const PathChar* jobsValue;

// The argument the options could not read, or null; points into the
// argument vector.
extern const PathChar* unknownArgument;
