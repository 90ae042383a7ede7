// The process-wide run state: the option flags and the name of the file
// being processed. Written by the run driver, read by the loader and the
// reports.
#pragma once

#include <cstdint>

#include "platform/os.h"

struct RunOptions {
    std::uint16_t waitForKey;
    std::uint16_t helpRequested;
    std::uint16_t filesGiven;
};

inline constexpr RunOptions DefaultRunOptions = {1, 0, 0};

extern RunOptions runOptions;

// Points into the argument vector, which outlives the run; owns nothing.
extern const PathChar* currentFileName;
