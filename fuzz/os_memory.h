// SPDX-License-Identifier: MIT
// An OS layer with one file in memory and standard output captured, for the
// fuzzer and the in-process tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os.h"

// Every open returns this file: `size` bytes of contents, a length query
// answering `length` (negative: the query fails), and, when `sparse`, zeros
// for the bytes between the contents and the length.
void setMemoryFile(const std::uint8_t* bytes, std::size_t size, std::int64_t length, bool sparse);

// Files opened and not yet closed.
int memoryFilesOpen();

// Buffers handed out by osAlloc and not yet released.
int memoryBlocksLive();

// Everything written to standard output so far, and forgetting it.
const std::string& memoryOutput();
void clearMemoryOutput();
