// SPDX-License-Identifier: MIT
// Running the whole tool in this process over the in-memory OS layer: a
// file of any bytes, as a regular file or as a stream read in pieces of
// any size, and a key folder of the generator's made-up keys.
#pragma once

#include <string>
#include <vector>

#include "titlecraft.h"

// How the file is handed to the tool.
struct MemoryForm {
    std::size_t chunk = 0;       // 0: a regular file; else a stream read this much at a time
    std::size_t firstChunk = 0;  // a stream's first read, when not `chunk`
};

struct MemoryRun {
    int exitCode;
    std::string out;
    bool clean;  // every file closed, every buffer released, every library state ended
};

// Runs the tool over `args`, every file name among them naming `file`.
MemoryRun runInMemory(const std::vector<std::string>& args, const titlecraft::Bytes& file, MemoryForm form = {});

// The key folder every run sees: the made-up standard key as digits with
// CR LF, the Korean one as raw bytes, the made-up root as digits (all of
// them unless told otherwise), and no vWii key.
struct MemoryKeys {
    bool standard = true;
    bool korean = true;
    bool root = true;
    titlecraft::Bytes standardKey;  // when not empty: this file as standard.key
    titlecraft::Bytes rootKey;      // when not empty: this file as root.key
};
void useMemoryKeys(const MemoryKeys& keys);
