// SPDX-License-Identifier: MIT
// An OS layer with one file in memory and standard output captured, for the
// fuzzer and the in-process tests. It stands in front of the system's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os.h"

// From now on every open returns this file: `size` bytes of contents, a
// length query answering `length` (negative: the query fails), and, when
// `sparse`, zeros for the bytes between the contents and the length.
void setMemoryFile(const std::uint8_t* bytes, std::size_t size, std::int64_t length, bool sparse);

// The same bytes as a stream without a length, handed out at most `chunk`
// bytes a read, as a pipe does.
void setMemoryStream(const std::uint8_t* bytes, std::size_t size, std::size_t chunk);

// Files opened and not yet closed.
int memoryFilesOpen();

// Buffers handed out by osAlloc and not yet released.
int memoryBlocksLive();

// Everything written to standard output so far, and forgetting it.
const std::string& memoryOutput();
void clearMemoryOutput();
